// Helpers shared by the ZIP tests: scratch folders and file contents.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"

namespace pztest {

// A fresh folder under the system's temporary folder, removed with everything in it.
using ScratchDir = pz::test::TempDir;
using pz::test::Exists;  // anything, links included
using pz::test::ReadFile;
using pz::test::WriteFile;
std::string RandomBytes(std::size_t n, unsigned seed);
std::string TextBytes(std::size_t n, unsigned seed);  // words and lines, never quite repeating
// Text and random data taking turns every `run` bytes, text first.
std::string MixedBytes(std::size_t n, std::size_t run, unsigned seed);
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
