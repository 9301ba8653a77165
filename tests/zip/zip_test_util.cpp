#include "tests/zip/zip_test_util.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pztest {

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

std::string TextBytes(std::size_t n, unsigned seed) {
  static const char* const kWords[] = {"split",  "join", "segment", "volume",   "archive",
                                       "the",    "of",   "deflate", "window",   "block",
                                       "header", "a",    "disk",    "password", "file"};
  std::mt19937 gen(seed);
  std::string s;
  while (s.size() < n) {
    s += kWords[gen() % std::size(kWords)];
    s += gen() % 11 == 0 ? ".\n" : gen() % 5 == 0 ? std::to_string(gen() % 1000) + " " : " ";
  }
  s.resize(n);
  return s;
}

std::string MixedBytes(std::size_t n, std::size_t run, unsigned seed) {
  std::string s = TextBytes(n, seed);
  const std::string random = RandomBytes(n, seed + 1);
  for (std::size_t at = run; at < n; at += 2 * run)
    s.replace(at, std::min(run, n - at), random, at, std::min(run, n - at));
  return s;
}

std::vector<std::string> ListTree(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    out.push_back(fs::relative(e.path(), folder).string());
  std::sort(out.begin(), out.end());
  return out;
}

int Run(const std::string& cmd) {
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

CwdGuard::CwdGuard() : cwd_(fs::current_path().string()) {}
CwdGuard::~CwdGuard() {
  std::error_code ec;
  fs::current_path(cwd_, ec);
}

}  // namespace pztest
