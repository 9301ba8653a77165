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

ssize_t ReadAt(int fd, void* data, std::size_t size, std::int64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, data, size, offset);
    if (n >= 0 || errno != EINTR) return n;
  }
}

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

namespace {

// The kernel copies as much as it will. True when the copy has ended here (all copied, or the
// source ended); false leaves the rest to the buffered copy.
bool CopyInKernel(int inFd, std::int64_t* inOffset, int outFd, std::int64_t count, CopyResult& r,
                  const std::function<void(std::int64_t)>& progress) {
  while (r.copied < count) {
    loff_t off = *inOffset;
    const auto want = static_cast<std::size_t>(std::min(kKernelChunk, count - r.copied));
    const ssize_t n = ::copy_file_range(inFd, &off, outFd, nullptr, want, 0);
    if (n > 0) {
      r.copied += n;
      *inOffset += n;
      if (progress) progress(r.copied);
    } else if (n == 0) {
      r.status = CopyResult::Status::ShortSource;
      return true;
    } else if (errno != EINTR) {
      // Unsupported here, or an error whose side (read or write) the buffered copy tells.
      return false;
    }
  }
  return true;
}

// Copies the rest through one buffer, reporting progress about once a megabyte.
void CopyThroughBuffer(int inFd, std::int64_t* inOffset, int outFd, std::int64_t count,
                       CopyResult& r, const std::function<void(std::int64_t)>& progress) {
  std::vector<char> buffer(kCopyBufferSize);
  std::int64_t sinceReport = 0;
  while (r.copied < count) {
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), count - r.copied));
    const ssize_t n = ReadAt(inFd, buffer.data(), want, *inOffset);
    if (n < 0) {
      r.status = CopyResult::Status::ReadError;
      r.error = errno;
      return;
    }
    if (n == 0) {
      r.status = CopyResult::Status::ShortSource;
      return;
    }
    if (!WriteAll(outFd, buffer.data(), static_cast<std::size_t>(n))) {
      r.status = CopyResult::Status::WriteError;
      r.error = errno;
      return;
    }
    r.copied += n;
    *inOffset += n;
    sinceReport += n;
    if (progress && sinceReport >= kProgressStep) {
      progress(r.copied);
      sinceReport = 0;
    }
  }
  if (progress && sinceReport > 0) progress(r.copied);
}

}  // namespace

CopyResult CopyBytes(int inFd, std::int64_t* inOffset, int outFd, std::int64_t count,
                     const std::function<void(std::int64_t)>& progress) {
  CopyResult r;
  if (!CopyInKernel(inFd, inOffset, outFd, count, r, progress))
    CopyThroughBuffer(inFd, inOffset, outFd, count, r, progress);
  return r;
}

}  // namespace pz
