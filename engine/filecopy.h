// Copying a run of bytes between two open files: in the kernel where it can, else through one
// buffer of 61440 bytes, so memory stays the same whatever the size.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>

#include "platform/filehandle.h"

namespace pz {

inline constexpr std::size_t kCopyBufferSize = 61440;
// A copy through a buffer reports its progress after about this much.
inline constexpr std::int64_t kProgressStep = 1 << 20;

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

// Reads up to size bytes at offset, again when a signal interrupts; as pread otherwise.
ssize_t ReadAt(int fd, void* data, std::size_t size, std::int64_t offset);

// Writes all of data; false with errno set when that fails.
bool WriteAll(int fd, const void* data, std::size_t size);

}  // namespace pz
