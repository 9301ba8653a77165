#include "engine/progress.h"

#include <algorithm>
#include <cstdio>

namespace pz {

namespace {

constexpr std::int64_t kGiB = std::int64_t{1} << 30;
__extension__ typedef __int128 Int128;  // a compiler extension, named once

}  // namespace

int ProzentFertig(std::int64_t done, std::int64_t total) {
  if (total <= 0 || done >= total) return 100;
  if (done <= 0) return 0;
  // done * 100 overflows above 92 PB; the 128-bit product does not.
  return static_cast<int>(static_cast<Int128>(done) * 100 / total);
}

std::string ProgressFigures(std::int64_t done, std::int64_t total, double seconds) {
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds / 1e6 : 0.0;
  char line[160];
  if (total >= kGiB) {
    std::snprintf(line, sizeof line, "%3d%%  %.2f / %.2f GiB  %.1f MB/s",
                  ProzentFertig(done, total), static_cast<double>(done) / kGiB,
                  static_cast<double>(total) / kGiB, rate);
  } else {
    std::snprintf(line, sizeof line, "%3d%%  %lld / %lld bytes  %.1f MB/s",
                  ProzentFertig(done, total), static_cast<long long>(done),
                  static_cast<long long>(total), rate);
  }
  return line;
}

}  // namespace pz
