#include "lang/language.h"

#include <dirent.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "lang/codepage.h"
#include "platform/filehandle.h"
#include "platform/os.h"
#include "platform/settings.h"

namespace pz {

namespace {

constexpr size_t kMaxNameChars = 255;

// Cuts a UTF-8 string to at most n code points.
std::string CutCodePoints(const std::string& s, size_t n) {
  size_t count = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (count == n) return s.substr(0, i);
      ++count;
    }
  }
  return s;
}

bool ReadAll(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  bytes = ss.str();
  return true;
}

// The integer before the first comma, as the 16-bit key of a text block line.
bool LineKey(const std::string& line, std::uint16_t& key) {
  const auto comma = line.find(',');
  if (comma == std::string::npos) return false;
  size_t i = 0;
  while (i < comma && line[i] == ' ') ++i;
  bool negative = false;
  if (i < comma && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  if (i == comma) return false;
  long long value = 0;
  for (; i < comma; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
    value = value * 10 + (line[i] - '0');
    if (value > 0xFFFFFFFFLL) return false;
  }
  if (negative) value = -value;
  key = static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFF);
  return true;
}

bool ParseInt(const std::string& s, int& out) {
  std::string t = s;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  if (i == t.size()) return false;
  try {
    size_t used = 0;
    const long v = std::stol(t.substr(i), &used, 10);
    if (used != t.size() - i || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int>(v);
    return true;
  } catch (...) {
    return false;
  }
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The name of the file in the folder that matches name, the exact one first, else one that
// differs only in case ("deutsch.lng" finds "Deutsch.lng", as on the system the language files
// come from; of several such the first by byte order); "" when there is none.
std::string FindFile(const std::string& folder, const std::string& name) {
  if (FileExists(JoinPath(folder, name))) return name;
  const DirHandle dir(::opendir(folder.empty() ? "/" : folder.c_str()));
  if (dir == nullptr) return "";
  std::string found;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string candidate = entry->d_name;
    if (SameIgnoringCase(candidate, name) && (found.empty() || candidate < found) &&
        FileExists(JoinPath(folder, candidate))) {
      found = candidate;
    }
  }
  return found;
}

std::string WithoutTrailingSlash(const std::string& path) {
  if (path.size() > 1 && path.back() == '/') return path.substr(0, path.size() - 1);
  return path;
}

}  // namespace

std::vector<std::string> SplitLanguageLines(const std::string& raw) {
  std::string bytes = raw.substr(0, raw.find('\x1A'));
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
  const bool utf8 = IsValidUtf8(bytes);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    lines.push_back(utf8 ? line : Cp1252ToUtf8(line));
    if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() &&
        bytes[end + 1] == '\n')
      start = end + 2;
    else
      start = end + 1;
  }
  return lines;
}

std::string ReadLanguageName(const std::string& path) {
  std::string bytes;
  if (!ReadAll(path, bytes)) return "";
  auto lines = SplitLanguageLines(bytes);
  return lines.empty() ? "" : CutCodePoints(lines[0], kMaxNameChars);
}

std::string NormalizeCodeLetter(const std::string& letter) {
  return (letter == "d" || letter == "D") ? "D" : "E";
}

std::string TPXLanguage::FullPath() const {
  return JoinPath(path_, fileName_);
}

std::string TPXLanguage::NotFoundMessage() const {
  return languageOfDialog_ == TLangDialog::Deutsch ? "Sprachdatei nicht gefunden !"
                                                   : "Language-file not found !";
}

std::string TPXLanguage::CorruptMessage() const {
  return languageOfDialog_ == TLangDialog::Deutsch
             ? "Datei ist fehlerhaft oder keine g\xC3\xBCltige Sprachdatei !"
             : "File is corrupt or no valid language-file !";
}

void TPXLanguage::Error(const std::string& text) const {
  if (ui_ != nullptr) ui_->LanguageError(text);
}

void TPXLanguage::SetPath(const std::string& path) {
  path_ = WithoutTrailingSlash(path);
  if (fileName_.empty()) return;
  if (!FileExists(FullPath())) Error(NotFoundMessage());
  LoadFile();
}

void TPXLanguage::SetFileName(const std::string& name) {
  if (name.empty()) {
    fileName_.clear();
  } else {
    std::string candidate = name;
    const auto dot = candidate.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : candidate.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext != ".LNG") {
      if (dot != std::string::npos) candidate.erase(dot);
      candidate += ".LNG";
    }
    const std::string found = FindFile(path_, candidate);
    if (!found.empty()) {
      fileName_ = found;
    } else {
      Error(NotFoundMessage());
    }
  }
  LoadFile();
}

void TPXLanguage::LoadFile() {
  texts_.clear();
  if (fileName_.empty() || !FileExists(FullPath())) return;
  if (ui_ != nullptr) ui_->LanguageBusy(true);
  std::string bytes;
  if (!ReadAll(FullPath(), bytes)) {
    if (ui_ != nullptr) ui_->LanguageBusy(false);
    Error(CorruptMessage());
    return;
  }
  const bool ok = LoadFromBytes(bytes);
  if (ui_ != nullptr) ui_->LanguageBusy(false);
  if (!ok) Error(CorruptMessage());
}

bool TPXLanguage::LoadFromBytes(const std::string& bytes) {
  texts_.clear();
  const auto lines = SplitLanguageLines(bytes);
  // A file needs its four header lines; the fourth must be an integer.
  int line4 = 0;
  const bool ok = lines.size() >= 4 && ParseInt(lines[3], line4);
  if (!lines.empty()) languageName_ = CutCodePoints(lines[0], kMaxNameChars);
  if (lines.size() > 1) codeLetter_ = lines[1];
  if (lines.size() > 2) headerLine3_ = lines[2];
  if (ok) {
    headerLine4_ = line4;
    texts_.assign(lines.begin() + 4, lines.end());
    if (texts_.size() > 65535) texts_.resize(65535);
  }
  return ok;
}

std::string TPXLanguage::GetText(std::uint16_t block) const {
  if (texts_.empty()) return "";
  int low = 0;
  int high = static_cast<int>(texts_.size()) - 1;
  while (low <= high) {
    const int middle = (low + high) / 2;
    const std::string& line = texts_[static_cast<size_t>(middle)];
    std::uint16_t key = 0;
    if (!LineKey(line, key)) return "";
    if (key == block) return line.substr(line.find(',') + 1);
    if (key < block)
      low = middle + 1;
    else
      high = middle - 1;
  }
  return "";
}

bool TPXLanguage::Execute() {
  return ui_ != nullptr && ui_->RunLanguageDialog(*this);
}

void TPXLanguage::WriteComponentInfo(const std::string& keyPath) const {
  pz::WriteComponentInfo(keyPath, kClassName, kVersion, kLastCompile);
}

}  // namespace pz
