#include "engine/segments.h"

#include <cctype>
#include <charconv>

#include "engine/header.h"
#include "platform/os.h"

namespace pz {

std::string Segment_Endung(std::uint16_t nummer) {
  std::string out = "PZX";
  if (nummer < 10)
    out += "00";
  else if (nummer < 100)
    out += "0";
  return out + std::to_string(nummer);
}

std::string SegmentDateiPfad(const std::string& folder, const std::string& name,
                             std::uint16_t nummer) {
  return JoinPath(folder, name) + "." + Segment_Endung(nummer);
}

namespace {

// Where the extension of a path's file name begins (after its last dot); npos for none.
std::size_t ExtensionStart(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  const bool hasDot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return hasDot ? dot + 1 : std::string::npos;
}

}  // namespace

std::string SegmentPfadAusVorgaenger(const std::string& path, std::uint16_t nummer) {
  const std::size_t ext = ExtensionStart(path);
  const std::string stem = ext != std::string::npos ? path.substr(0, ext - 1) : path;
  std::string endung = Segment_Endung(nummer);
  if (ext != std::string::npos && path.compare(ext, 3, "pzx") == 0) {
    for (char& c : endung) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return stem + "." + endung;
}

std::string SegmentFinden(const std::string& path) {
  const std::size_t ext = ExtensionStart(path);
  if (ext == std::string::npos) return path;
  return ExistingInAnyCase(path, FileNamePart(path).size() - (path.size() - ext));
}

std::string SegmentNameWieGeschrieben(const std::string& fileName) {
  std::string name = fileName;
  const std::size_t ext = ExtensionStart(name);
  if (ext == std::string::npos) return name;
  for (std::size_t i = ext; i < name.size(); ++i)
    name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
  return name;
}

std::int64_t Anzahl_Trennungen_Berechnen(std::int64_t trennGroesse, std::int64_t datenGroesse) {
  if (trennGroesse <= 0) return 0;
  const std::int64_t total = datenGroesse + static_cast<std::int64_t>(kHeaderSize);
  return total / trennGroesse + (total % trennGroesse != 0 ? 1 : 0);
}

std::int64_t PresetBytes(SizePreset preset) {
  for (const auto& p : kPresets) {
    if (p.preset == preset) return p.bytes;
  }
  return 0;
}

std::optional<std::int64_t> HandGroesse(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;  // too large
  if (value < kMinSegmentSize || value > kMaxSegmentSize) return std::nullopt;
  return value;
}

}  // namespace pz
