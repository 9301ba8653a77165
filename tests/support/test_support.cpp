#include "test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pz::test {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "pz-test-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Sub(const std::string& name) const {
  const std::string p = path_ + "/" + name;
  std::filesystem::create_directories(p);
  return p;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::int64_t SizeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

std::string PatternBytes(std::size_t n, std::uint32_t seed) {
  std::string s(n, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x & 0xFF);
  }
  return s;
}

std::string ScriptedInteraction::Passwort_Abfragen() {
  ++passwordPrompts;
  if (passwords.empty()) return "";
  std::string p = passwords.front();
  passwords.pop_front();
  return p;
}

std::string ScriptedInteraction::Passwort2_Abfragen() {
  ++passwordPrompts;
  if (passwords2.empty()) return "";
  std::string p = passwords2.front();
  passwords2.pop_front();
  return p;
}

int ScriptedInteraction::Datentraeger_Anfordern(std::string& pfad) {
  volumePrompts.push_back(pfad);
  if (volumes.empty()) return kCancel;
  VolumeAnswer a = volumes.front();
  volumes.pop_front();
  if (a.before) a.before();
  if (!a.ok) return kCancel;
  if (!a.path.empty()) pfad = a.path;
  return kOk;
}

bool ScriptedInteraction::Showed(const std::string& part) const {
  for (const auto& m : messages) {
    if (m.text.find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace pz::test
