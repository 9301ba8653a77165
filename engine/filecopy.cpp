#include "engine/filecopy.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace pz {

namespace {

// Large enough to keep the kernel busy, small enough for a smooth progress display.
constexpr std::int64_t kKernelChunk = 8 * 1024 * 1024;

}  // namespace

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

CopyResult CopyBytes(int inFd, std::int64_t* inOffset, int outFd, std::int64_t count,
                     const std::function<void(std::int64_t)>& progress) {
  CopyResult r;
  bool kernel = true;
  while (kernel && r.copied < count) {
    loff_t off = *inOffset;
    const auto want = static_cast<std::size_t>(std::min(kKernelChunk, count - r.copied));
    const ssize_t n = ::copy_file_range(inFd, &off, outFd, nullptr, want, 0);
    if (n > 0) {
      r.copied += n;
      *inOffset += n;
      if (progress) progress(r.copied);
    } else if (n == 0) {
      r.status = CopyResult::Status::ShortSource;
      return r;
    } else if (errno == EINTR) {
      continue;
    } else {
      // Unsupported here, or an error whose side (read or write) the buffered copy tells.
      kernel = false;
    }
  }

  std::vector<char> buffer;
  std::int64_t sinceReport = 0;
  while (r.copied < count) {
    if (buffer.empty()) buffer.resize(kCopyBufferSize);
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), count - r.copied));
    const ssize_t n = ::pread(inFd, buffer.data(), want, *inOffset);
    if (n < 0) {
      if (errno == EINTR) continue;
      r.status = CopyResult::Status::ReadError;
      r.error = errno;
      return r;
    }
    if (n == 0) {
      r.status = CopyResult::Status::ShortSource;
      return r;
    }
    if (!WriteAll(outFd, buffer.data(), static_cast<std::size_t>(n))) {
      r.status = CopyResult::Status::WriteError;
      r.error = errno;
      return r;
    }
    r.copied += n;
    *inOffset += n;
    sinceReport += n;
    if (progress && sinceReport >= (1 << 20)) {
      progress(r.copied);
      sinceReport = 0;
    }
  }
  if (progress && sinceReport > 0) progress(r.copied);
  return r;
}

}  // namespace pz
