#include "engine/segments.h"

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

std::string SegmentPfadAusVorgaenger(const std::string& path, std::uint16_t nummer) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  const bool hasDot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasDot ? path.substr(0, dot) : path;
  return stem + "." + Segment_Endung(nummer);
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

std::int64_t HandGroesse(std::string_view text) {
  // Delphi's StrToInt, which the size field follows, allows blanks before the number.
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    return kHandGroesseFallback;
  }
  return value;
}

}  // namespace pz
