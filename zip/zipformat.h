// Record layouts of the ZIP file format (PKWARE application note) that Parzello reads itself,
// and the conventions of spanned sets on folders that stand in for removable disks.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace pz::zipfmt {

inline constexpr std::uint32_t kEndSig = 0x06054b50;
inline constexpr std::uint32_t kCentralSig = 0x02014b50;
inline constexpr std::uint32_t kLocalSig = 0x04034b50;
inline constexpr std::uint32_t kSpanSig = 0x08074b50;
inline constexpr std::uint32_t kZip64EndSig = 0x06064b50;
inline constexpr std::uint32_t kZip64LocatorSig = 0x07064b50;
inline constexpr int kZip64EndSize = 56;  // without its extensible data
inline constexpr int kZip64LocatorSize = 20;
inline constexpr int kEndRecordSize = 22;
inline constexpr int kCentralHeaderSize = 46;
inline constexpr int kLocalHeaderSize = 30;
inline constexpr std::uint16_t kZip64ExtraId = 0x0001;
// Extended timestamp as Info-ZIP writes it: a flag byte (bit 0: modification time follows),
// then the times as 32-bit Unix seconds.
inline constexpr std::uint16_t kTimestampExtraId = 0x5455;
inline constexpr std::uint8_t kTimestampHasMtime = 1;

// Host systems in the high byte of "version made by".
inline constexpr int kHostFat = 0;
inline constexpr int kHostUnix = 3;
inline constexpr int kHostHpfs = 6;
inline constexpr int kHostNtfs = 11;

// The block between a self-extractor stub and its archive.
inline constexpr int kSfxBlockSize = 256;
inline constexpr std::uint8_t kSfxMagic[3] = {80, 90, 83};  // "PZS"
inline constexpr int kSfxTextRoom = kSfxBlockSize - 7;      // 249 bytes for the three texts
enum SfxFlag : std::uint8_t {
  kSfxAskCmdLine = 1,
  kSfxAskFiles = 2,
  kSfxHideOverwriteBox = 4,
  kSfxOverwriteAlways = 8,
  kSfxOverwriteNever = 16,
  kSfxNoCheckSize = 32,
  kSfxAutoRun = 64,
};

// Spanned sets: each disk is labelled "PKBACK# " and its number in three digits. A folder
// standing in for a disk keeps its label in this file.
inline constexpr const char* kSpanLabelPrefix = "PKBACK# ";
inline constexpr const char* kVolumeLabelFile = ".volume_label";

inline std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Le64(const std::uint8_t* p) {
  return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}
inline void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// The data of the first extra field with this id in an extra field block; nullptr when none.
inline const std::uint8_t* FindExtra(const std::uint8_t* extra, std::size_t len, std::uint16_t id,
                                     std::uint16_t& dataLen) {
  std::size_t pos = 0;
  while (pos + 4 <= len) {
    const std::uint16_t fieldId = Le16(extra + pos);
    const std::uint16_t n = Le16(extra + pos + 2);
    if (pos + 4 + n > len) return nullptr;
    if (fieldId == id) {
      dataLen = n;
      return extra + pos + 4;
    }
    pos += 4 + n;
  }
  return nullptr;
}

// Replaces the saturated sizes and offset of a central header by the ZIP64 extra field's
// values, which stand in this order for exactly the saturated fields.
inline void ApplyZip64Extra(const std::uint8_t* extra, std::size_t len, std::uint64_t& size,
                            std::uint64_t& comprSize, std::uint64_t& offset) {
  std::uint16_t n = 0;
  const std::uint8_t* p = FindExtra(extra, len, kZip64ExtraId, n);
  if (p == nullptr) return;
  std::size_t at = 0;
  for (std::uint64_t* v : {&size, &comprSize, &offset}) {
    if (*v != 0xFFFFFFFF) continue;
    if (at + 8 > n) return;
    *v = Le64(p + at);
    at += 8;
  }
}

// The disk number of a "PKBACK# nnn" label; 0 when the three characters are no number.
inline int LabelDiskNumber(const std::string& label) {
  if (label.size() < 11) return 0;
  int n = 0;
  for (int i = 8; i < 11; ++i) {
    char c = label[static_cast<std::size_t>(i)];
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n;
}

inline std::string ReadVolumeLabel(const std::string& folder) {
  std::ifstream in(folder + "/" + kVolumeLabelFile);
  std::string label;
  if (in) std::getline(in, label);
  return label.substr(0, 32);
}

// Position of the end record whose comment ends within the file, searched from the end over
// the last 22 + 65535 bytes; the record is copied to rec. -1 when there is none.
inline std::int64_t LocateEndRecord(int fd, std::uint8_t (&rec)[kEndRecordSize]) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  const std::int64_t size = st.st_size;
  const std::int64_t n = std::min<std::int64_t>(size, kEndRecordSize + 65535);
  if (n < kEndRecordSize) return -1;
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(n));
  if (::pread(fd, tail.data(), tail.size(), size - n) != static_cast<ssize_t>(n)) return -1;
  for (std::int64_t i = n - kEndRecordSize; i >= 0; --i) {
    const std::uint8_t* e = tail.data() + i;
    if (Le32(e) != kEndSig || i + kEndRecordSize + Le16(e + 20) > n) continue;
    std::copy(e, e + kEndRecordSize, rec);
    return size - n + i;
  }
  return -1;
}

bool WriteAll(int fd, const void* data, std::size_t n);

// Copies the archive in `in` to `out` with every local-header offset and the directory offset
// moved by delta (data placed in front of it). 0, or -2 write failed, -3 read failed,
// -9 the offsets cannot be moved (ZIP64 records, damaged or inconsistent directory).
int CopyWithMovedOffsets(int in, int out, std::int64_t delta, const std::function<void()>& tick);

// Position of the first entry's local header as the directory records it (the directory's
// position for an empty archive); -1 when the file holds no archive.
std::int64_t FirstEntryPosition(int fd);

}  // namespace pz::zipfmt
