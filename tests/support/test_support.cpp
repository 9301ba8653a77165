#include "test_support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace pz::test {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "pz-test-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  // Canonical, so tests can compare it with paths the programs resolve.
  path_ = std::filesystem::canonical(templ).string();
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

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
  TempDir io;
  const std::string in = io / "stdin", out = io / "stdout", err = io / "stderr";
  WriteFile(in, options.input);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fdIn = open(in.c_str(), O_RDONLY);
    const int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fdIn, 0);
    dup2(fdOut, 1);
    dup2(fdErr, 2);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : options.env) {
      if (value.empty())
        unsetenv(name.c_str());
      else
        setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (options.killAfterMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(options.killAfterMs));
    kill(pid, SIGKILL);
  }
  ProcessResult r;
  int status = 0;
  rusage usage{};
  bool ended = false;
  while (options.killWhen && !ended) {
    ended = waitpid(pid, &status, WNOHANG) == pid;
    if (!ended && options.killWhen(pid)) {
      kill(pid, options.killSignal);
      if (options.thenSignal != 0) kill(pid, options.thenSignal);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!ended) wait4(pid, &status, 0, &usage);
  r.maxRssKb = usage.ru_maxrss;
  if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
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
