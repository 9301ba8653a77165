// Helpers shared by the ZIP tests: scratch folders and file contents.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pztest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
std::string RandomBytes(std::size_t n, unsigned seed);
bool Exists(const std::string& path);                          // anything, links included
std::vector<std::string> ListTree(const std::string& folder);  // relative paths, sorted
int Run(const std::string& shellCommand);                      // exit status

// Restores the current folder when it goes out of scope (ExtractFiles changes it).
class CwdGuard {
 public:
  CwdGuard();
  ~CwdGuard();
  CwdGuard(const CwdGuard&) = delete;
  CwdGuard& operator=(const CwdGuard&) = delete;

 private:
  std::string cwd_;
};

}  // namespace pztest
