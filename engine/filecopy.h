// Copying a run of bytes between two open files: in the kernel where it can, else through one
// buffer of 61440 bytes, so memory stays the same whatever the size.
#pragma once

#include <cstdint>
#include <functional>

namespace pz {

inline constexpr std::size_t kCopyBufferSize = 61440;

struct CopyResult {
  enum class Status { Ok, ReadError, ShortSource, WriteError };
  Status status = Status::Ok;
  std::int64_t copied = 0;
  int error = 0;  // errno of a read or write error
};

// Copies count bytes from inFd at *inOffset (advanced by what was copied) to the current
// position of outFd. progress receives the bytes copied so far by this call.
CopyResult CopyBytes(int inFd, std::int64_t* inOffset, int outFd, std::int64_t count,
                     const std::function<void(std::int64_t)>& progress);

// Writes all of data; false with errno set when that fails.
bool WriteAll(int fd, const void* data, std::size_t size);

// Owns a file descriptor; closes it on every path.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  FileHandle& operator=(FileHandle&& o) noexcept;
  ~FileHandle();

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now; false (errno set) when the close reported an error, which can mean lost data.
  bool Close();

 private:
  int fd_ = -1;
};

}  // namespace pz
