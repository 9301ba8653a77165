#include "screens/inifile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>

#include "lang/codepage.h"

namespace pz {

namespace {

// A description file is a few kilobytes; anything far larger is not one.
constexpr std::streamsize kMaxIniBytes = 4 * 1024 * 1024;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Trim(const std::string& s) {
  const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
  auto b = std::find_if(s.begin(), s.end(), notSpace);
  auto e = std::find_if(s.rbegin(), s.rend(), notSpace).base();
  return b < e ? std::string(b, e) : std::string();
}

}  // namespace

IniFile::IniFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  std::string bytes;
  bytes.resize(static_cast<std::size_t>(kMaxIniBytes));
  in.read(bytes.data(), kMaxIniBytes);
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  Parse(bytes);
}

IniFile IniFile::FromText(const std::string& bytes) {
  IniFile ini;
  ini.Parse(bytes);
  return ini;
}

void IniFile::Parse(const std::string& bytes) {
  loaded_ = true;
  const std::string text = EightBitToUtf8(bytes);
  std::string section;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const std::size_t close = line.find(']');
      section =
          Lower(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    auto& keys = sections_[section];
    // The first occurrence of a key wins, as with the classic INI reader.
    keys.emplace(Lower(Trim(line.substr(0, eq))), Trim(line.substr(eq + 1)));
  }
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& fallback) const {
  const auto s = sections_.find(Lower(section));
  if (s == sections_.end()) return fallback;
  const auto k = s->second.find(Lower(key));
  return k == s->second.end() ? fallback : k->second;
}

int IniFile::ReadInteger(const std::string& section, const std::string& key, int fallback) const {
  const std::string v = ReadString(section, key);
  int value = 0;
  const char* first = v.data();
  if (!v.empty() && v[0] == '+') ++first;
  const auto [ptr, ec] = std::from_chars(first, v.data() + v.size(), value);
  if (ec != std::errc() || ptr != v.data() + v.size() || first == v.data() + v.size())
    return fallback;
  return value;
}

}  // namespace pz
