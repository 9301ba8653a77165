// What the load tests share: the memory bound of a run and the room left on the disk.
#pragma once

#include <sys/statvfs.h>

#include <cstdint>
#include <string>

namespace pz::test {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr long kMemoryLimitKb = 64 * 1024;  // the sanitizer's own shadow memory comes on top
#else
inline constexpr long kMemoryLimitKb = 16 * 1024;
#endif

inline std::int64_t FreeBytes(const std::string& folder) {
  struct statvfs v {};
  return statvfs(folder.c_str(), &v) == 0 ? static_cast<std::int64_t>(v.f_bavail) * v.f_frsize : 0;
}

}  // namespace pz::test
