// The owners of the system's handles (file descriptor, folder listing, loaded library) and the
// one scope guard. Header-only and free of Qt, so the engines loaded with dlopen and the
// self-extractor use them as the program does.
#pragma once

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <memory>
#include <utility>

namespace pz {

// Owns a file descriptor; closes it on every path. Move-only.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& o) noexcept : fd_(o.release()) {}
  FileHandle& operator=(FileHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~FileHandle() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int release() { return std::exchange(fd_, -1); }
  // Closes the descriptor held, if any, and takes fd.
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now; false (errno set) when the close reported an error, which can mean lost data.
  bool Close() {
    if (fd_ < 0) return true;
    return ::close(release()) == 0;
  }

 private:
  int fd_ = -1;
};

// Owns a folder listing from opendir.
struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Owns a library loaded with dlopen.
struct LibraryCloser {
  void operator()(void* library) const { ::dlclose(library); }
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

// Runs an action when the scope ends, on every path, unless dismissed first.
template <typename F>
class ScopeGuard {
 public:
  explicit ScopeGuard(F action) : action_(std::move(action)) {}
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  ~ScopeGuard() {
    if (armed_) action_();
  }
  void Dismiss() { armed_ = false; }

 private:
  F action_;
  bool armed_ = true;
};

}  // namespace pz
