#include "zip/zipformat.h"

#include <array>
#include <cerrno>

namespace pz::zipfmt {

namespace {

int CopyRange(int in, std::int64_t from, std::int64_t n, int out,
              const std::function<void()>& tick) {
  std::array<std::uint8_t, 8192> buf;
  while (n > 0) {
    const auto c = static_cast<std::size_t>(std::min<std::int64_t>(n, buf.size()));
    if (::pread(in, buf.data(), c, from) != static_cast<ssize_t>(c)) return -3;
    if (!WriteAll(out, buf.data(), c)) return -2;
    from += static_cast<std::int64_t>(c);
    n -= static_cast<std::int64_t>(c);
    if (tick) tick();
  }
  return 0;
}

}  // namespace

bool WriteAll(int fd, const void* data, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

int CopyWithMovedOffsets(int in, int out, std::int64_t delta, const std::function<void()>& tick) {
  struct stat st {};
  if (::fstat(in, &st) != 0) return -3;
  std::uint8_t end[kEndRecordSize];
  const std::int64_t endPos = LocateEndRecord(in, end);
  if (endPos < 0) return -9;
  const std::int64_t cdOffset = Le32(end + 16);
  const std::int64_t cdSize = Le32(end + 12);
  // Offsets kept in ZIP64 records, or a directory not where the end record says, stay put.
  if (cdOffset == 0xFFFFFFFF || cdOffset + cdSize != endPos || Le16(end + 4) != 0) return -9;
  if (int r = CopyRange(in, 0, cdOffset, out, tick); r != 0) return r;
  std::int64_t pos = cdOffset;
  for (int i = 0, n = Le16(end + 10); i < n; ++i) {
    std::uint8_t h[kCentralHeaderSize];
    if (pos + kCentralHeaderSize > endPos || ::pread(in, h, sizeof h, pos) != sizeof h) return -3;
    const std::int64_t moved = static_cast<std::int64_t>(Le32(h + 42)) + delta;
    if (Le32(h) != kCentralSig || Le32(h + 42) == 0xFFFFFFFF || moved > 0xFFFFFFFE) return -9;
    Put32(h + 42, static_cast<std::uint32_t>(moved));
    if (!WriteAll(out, h, sizeof h)) return -2;
    const std::int64_t rest = std::int64_t{Le16(h + 28)} + Le16(h + 30) + Le16(h + 32);
    if (int r = CopyRange(in, pos + kCentralHeaderSize, rest, out, tick); r != 0) return r;
    pos += kCentralHeaderSize + rest;
  }
  if (pos > endPos) return -9;
  if (int r = CopyRange(in, pos, endPos - pos, out, tick); r != 0) return r;
  const std::int64_t moved = cdOffset + delta;
  if (moved > 0xFFFFFFFE) return -9;
  Put32(end + 16, static_cast<std::uint32_t>(moved));
  if (!WriteAll(out, end, sizeof end)) return -2;
  return CopyRange(in, endPos + kEndRecordSize, st.st_size - endPos - kEndRecordSize, out, tick);
}

std::int64_t FirstEntryPosition(int fd) {
  std::uint8_t end[kEndRecordSize];
  if (LocateEndRecord(fd, end) < 0) return -1;
  std::int64_t first = Le32(end + 16);
  std::int64_t pos = first;
  for (int k = 0, count = Le16(end + 10); k < count; ++k) {
    std::uint8_t h[kCentralHeaderSize];
    if (::pread(fd, h, sizeof h, pos) != sizeof h || Le32(h) != kCentralSig) return -1;
    first = std::min<std::int64_t>(first, Le32(h + 42));
    pos += kCentralHeaderSize + Le16(h + 28) + Le16(h + 30) + Le16(h + 32);
  }
  return first;
}

}  // namespace pz::zipfmt
