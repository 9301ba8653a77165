// A read-only INI file as the awards description uses it: "[section]" lines and "key=value"
// lines, names matched without regard to case, ";" and "#" lines are comments. The bytes are
// 8-bit text (Windows-1252) or UTF-8. Qt-free.
#pragma once

#include <map>
#include <string>

namespace pz {

class IniFile {
 public:
  IniFile() = default;
  // Reads the file; a missing or unreadable file reads as empty.
  explicit IniFile(const std::string& path);

  static IniFile FromText(const std::string& bytes);

  bool Loaded() const { return loaded_; }
  // The value (UTF-8, trimmed), or fallback when the section or key is missing.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback = "") const;
  // A decimal integer value, or fallback when missing or not a number in the int range.
  int ReadInteger(const std::string& section, const std::string& key, int fallback) const;

 private:
  void Parse(const std::string& bytes);

  bool loaded_ = false;
  std::map<std::string, std::map<std::string, std::string>> sections_;  // lower-cased names
};

}  // namespace pz
