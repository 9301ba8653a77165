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
    if (::pread(in, buf.data(), c, from) != static_cast<ssize_t>(c)) return kCopyReadFailed;
    if (!WriteAll(out, buf.data(), c)) return kCopyWriteFailed;
    from += static_cast<std::int64_t>(c);
    n -= static_cast<std::int64_t>(c);
    if (tick) tick();
  }
  return kCopyDone;
}

// Copies the central headers from pos up to endPos with their local header offsets moved;
// pos ends behind the last one.
int CopyMovedHeaders(int in, int out, std::int64_t& pos, std::int64_t endPos, int count,
                     std::int64_t delta, const std::function<void()>& tick) {
  for (int i = 0; i < count; ++i) {
    std::uint8_t h[kCentralHeaderSize];
    if (pos + kCentralHeaderSize > endPos || ::pread(in, h, sizeof h, pos) != sizeof h)
      return kCopyReadFailed;
    const std::uint32_t local = Le32(h + centralhdr::kLocalOffset);
    const std::int64_t moved = static_cast<std::int64_t>(local) + delta;
    if (Le32(h) != kCentralSig || local == kSaturated32 || moved > kLargestOffset32)
      return kCopyFailed;
    Put32(h + centralhdr::kLocalOffset, static_cast<std::uint32_t>(moved));
    if (!WriteAll(out, h, sizeof h)) return kCopyWriteFailed;
    const std::int64_t rest = CentralVariableSize(h);
    if (int r = CopyRange(in, pos + kCentralHeaderSize, rest, out, tick); r != kCopyDone) return r;
    pos += kCentralHeaderSize + rest;
  }
  return kCopyDone;
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
  if (::fstat(in, &st) != 0) return kCopyReadFailed;
  std::uint8_t end[kEndRecordSize];
  const std::int64_t endPos = LocateEndRecord(in, end);
  if (endPos < 0) return kCopyFailed;
  const std::int64_t cdOffset = Le32(end + endrec::kCentralOffset);
  const std::int64_t cdSize = Le32(end + endrec::kCentralSize);
  // Offsets kept in ZIP64 records, or a directory not where the end record says, stay put.
  if (cdOffset == kSaturated32 || cdOffset + cdSize != endPos || Le16(end + endrec::kDisk) != 0)
    return kCopyFailed;
  if (int r = CopyRange(in, 0, cdOffset, out, tick); r != kCopyDone) return r;
  std::int64_t pos = cdOffset;
  if (int r = CopyMovedHeaders(in, out, pos, endPos, Le16(end + endrec::kEntries), delta, tick);
      r != kCopyDone)
    return r;
  if (pos > endPos) return kCopyFailed;
  if (int r = CopyRange(in, pos, endPos - pos, out, tick); r != kCopyDone) return r;
  const std::int64_t moved = cdOffset + delta;
  if (moved > kLargestOffset32) return kCopyFailed;
  Put32(end + endrec::kCentralOffset, static_cast<std::uint32_t>(moved));
  if (!WriteAll(out, end, sizeof end)) return kCopyWriteFailed;
  return CopyRange(in, endPos + kEndRecordSize, st.st_size - endPos - kEndRecordSize, out, tick);
}

std::int64_t FirstEntryPosition(int fd) {
  std::uint8_t end[kEndRecordSize];
  if (LocateEndRecord(fd, end) < 0) return -1;
  std::int64_t first = Le32(end + endrec::kCentralOffset);
  std::int64_t pos = first;
  for (int k = 0, count = Le16(end + endrec::kEntries); k < count; ++k) {
    std::uint8_t h[kCentralHeaderSize];
    if (::pread(fd, h, sizeof h, pos) != sizeof h || Le32(h) != kCentralSig) return -1;
    first = std::min<std::int64_t>(first, Le32(h + centralhdr::kLocalOffset));
    pos += kCentralHeaderSize + CentralVariableSize(h);
  }
  return first;
}

}  // namespace pz::zipfmt
