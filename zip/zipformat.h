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
inline constexpr int kDataDescriptorSize = 16;  // with its signature (the spanning signature)
inline constexpr int kSignatureSize = 4;
inline constexpr int kMaxCommentLength = 65535;
// A 32-bit size or offset holding this stands for a value kept in a ZIP64 record or field.
inline constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;
inline constexpr std::uint32_t kLargestOffset32 = kSaturated32 - 1;

// Field offsets, counted from the start of each record (its signature). The checks at the end
// of this header tie every record's fields, with their widths (the numbers in the comments),
// to the record's size.

// End of central directory, kEndRecordSize bytes and then its comment
namespace endrec {
inline constexpr int kDisk = 4;            // 2: number of this disk
inline constexpr int kCentralDisk = 6;     // 2: disk on which the directory starts
inline constexpr int kDiskEntries = 8;     // 2: directory entries on this disk
inline constexpr int kEntries = 10;        // 2: directory entries in all
inline constexpr int kCentralSize = 12;    // 4
inline constexpr int kCentralOffset = 16;  // 4: on the disk where the directory starts
inline constexpr int kCommentLength = 20;  // 2
}  // namespace endrec

// ZIP64 end of central directory, kZip64EndSize bytes
namespace zip64end {
inline constexpr int kRecordSize = 4;      // 8: size of the record after this field
inline constexpr int kMadeBy = 12;         // 2
inline constexpr int kNeeded = 14;         // 2
inline constexpr int kDisk = 16;           // 4
inline constexpr int kCentralDisk = 20;    // 4
inline constexpr int kDiskEntries = 24;    // 8
inline constexpr int kEntries = 32;        // 8
inline constexpr int kCentralSize = 40;    // 8
inline constexpr int kCentralOffset = 48;  // 8
}  // namespace zip64end

// ZIP64 end locator, kZip64LocatorSize bytes, right before the end record
namespace zip64loc {
inline constexpr int kEndDisk = 4;    // 4: disk holding the ZIP64 end record
inline constexpr int kEndOffset = 8;  // 8: its position
inline constexpr int kDisks = 16;     // 4
}  // namespace zip64loc

// Central header, kCentralHeaderSize bytes, then name, extra, comment
namespace centralhdr {
inline constexpr int kMadeBy = 4;          // 1: format version
inline constexpr int kHost = 5;            // 1: host system
inline constexpr int kNeeded = 6;          // 2
inline constexpr int kFlags = 8;           // 2
inline constexpr int kMethod = 10;         // 2
inline constexpr int kTime = 12;           // 2
inline constexpr int kDate = 14;           // 2
inline constexpr int kCrc = 16;            // 4
inline constexpr int kComprSize = 20;      // 4
inline constexpr int kSize = 24;           // 4
inline constexpr int kNameLength = 28;     // 2
inline constexpr int kExtraLength = 30;    // 2
inline constexpr int kCommentLength = 32;  // 2
inline constexpr int kStartDisk = 34;      // 2
inline constexpr int kIntAttrib = 36;      // 2
inline constexpr int kExtAttrib = 38;      // 4
inline constexpr int kLocalOffset = 42;    // 4: on the disk where the entry starts
}  // namespace centralhdr

// Local header, kLocalHeaderSize bytes, then name and extra
namespace localhdr {
inline constexpr int kNeeded = 4;        // 2
inline constexpr int kFlags = 6;         // 2
inline constexpr int kMethod = 8;        // 2
inline constexpr int kTime = 10;         // 2
inline constexpr int kDate = 12;         // 2
inline constexpr int kCrc = 14;          // 4
inline constexpr int kComprSize = 18;    // 4
inline constexpr int kSize = 22;         // 4
inline constexpr int kNameLength = 26;   // 2
inline constexpr int kExtraLength = 28;  // 2
}  // namespace localhdr

// Data descriptor, kDataDescriptorSize bytes
namespace descriptor {
inline constexpr int kCrc = 4;        // 4
inline constexpr int kComprSize = 8;  // 4
inline constexpr int kSize = 12;      // 4
}  // namespace descriptor

// One field of an extra field block: id, data length, data
namespace extrafield {
inline constexpr int kId = 0;          // 2
inline constexpr int kLength = 2;      // 2
inline constexpr int kHeaderSize = 4;  // the data follows
// The ZIP64 field's data: 8-byte values for exactly the saturated fields, in the order
// size, compressed size, local header offset.
inline constexpr int kZip64ValueSize = 8;
}  // namespace extrafield

// Results of the archive copies (self-extractor, spanned sets); 0 is success.
enum CopyResult : int {
  kCopyDone = 0,
  kCopyNotCreated = -1,  // the target file could not be created
  kCopyWriteFailed = -2,
  kCopyReadFailed = -3,
  kSpanCancelled = -7,    // a disk prompt was cancelled
  kSpanWriteFailed = -8,  // a part of a spanned set, or the copy gathered from one, not written
  // Anything else: no archive, offsets that cannot be moved (ZIP64 records, a damaged or
  // inconsistent directory), sizes that do not add up, a refusal already reported.
  kCopyFailed = -9,
};

// Extended timestamp as Info-ZIP writes it: a flag byte (bit 0: modification time follows),
// then the times as 32-bit Unix seconds.
inline constexpr std::uint16_t kTimestampExtraId = 0x5455;
inline constexpr std::uint8_t kTimestampHasMtime = 1;
inline constexpr std::uint8_t kTimestampHasAtime = 2;
inline constexpr std::size_t kTimestampTimeSize = sizeof(std::uint32_t);
inline constexpr std::size_t kTimestampTimesAt = 1;  // after the flag byte
// A Unix host's mode sits in the high half of a member's external attributes.
inline constexpr int kUnixModeShift = 16;

// Host systems in the high byte of "version made by".
inline constexpr int kHostFat = 0;
inline constexpr int kHostUnix = 3;
inline constexpr int kHostHpfs = 6;
inline constexpr int kHostNtfs = 11;

// The block between a self-extractor stub and its archive: the magic, a flag byte, the lengths
// of the three texts (caption, default folder, command line), then the texts.
inline constexpr int kSfxBlockSize = 256;
inline constexpr std::uint8_t kSfxMagic[3] = {80, 90, 83};  // "PZS"
inline constexpr int kSfxFlagsAt = 3;
inline constexpr int kSfxLengthsAt = 4;  // one byte per text
inline constexpr int kSfxTextsAt = 7;
inline constexpr int kSfxTextRoom = kSfxBlockSize - kSfxTextsAt;  // 249 bytes for the three texts
static_assert(kSfxFlagsAt == sizeof kSfxMagic && kSfxLengthsAt == kSfxFlagsAt + 1 &&
              kSfxTextsAt == kSfxLengthsAt + 3);
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

// Bytes of a central header's name, extra field and comment, which follow its fixed part.
inline std::int64_t CentralVariableSize(const std::uint8_t* h) {
  return std::int64_t{Le16(h + centralhdr::kNameLength)} + Le16(h + centralhdr::kExtraLength) +
         Le16(h + centralhdr::kCommentLength);
}

// The data of the first extra field with this id in an extra field block; nullptr when none.
inline const std::uint8_t* FindExtra(const std::uint8_t* extra, std::size_t len, std::uint16_t id,
                                     std::uint16_t& dataLen) {
  std::size_t pos = 0;
  while (pos + extrafield::kHeaderSize <= len) {
    const std::uint16_t fieldId = Le16(extra + pos + extrafield::kId);
    const std::uint16_t n = Le16(extra + pos + extrafield::kLength);
    if (pos + extrafield::kHeaderSize + n > len) return nullptr;
    if (fieldId == id) {
      dataLen = n;
      return extra + pos + extrafield::kHeaderSize;
    }
    pos += extrafield::kHeaderSize + n;
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
    if (*v != kSaturated32) continue;
    if (at + extrafield::kZip64ValueSize > n) return;
    *v = Le64(p + at);
    at += extrafield::kZip64ValueSize;
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
// the last kEndRecordSize + kMaxCommentLength bytes; the record is copied to rec. -1 when
// there is none.
inline std::int64_t LocateEndRecord(int fd, std::uint8_t (&rec)[kEndRecordSize]) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  const std::int64_t size = st.st_size;
  const std::int64_t n = std::min<std::int64_t>(size, kEndRecordSize + kMaxCommentLength);
  if (n < kEndRecordSize) return -1;
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(n));
  if (::pread(fd, tail.data(), tail.size(), size - n) != static_cast<ssize_t>(n)) return -1;
  for (std::int64_t i = n - kEndRecordSize; i >= 0; --i) {
    const std::uint8_t* e = tail.data() + i;
    if (Le32(e) != kEndSig || i + kEndRecordSize + Le16(e + endrec::kCommentLength) > n) continue;
    std::copy(e, e + kEndRecordSize, rec);
    return size - n + i;
  }
  return -1;
}

bool WriteAll(int fd, const void* data, std::size_t n);

// Copies the archive in `in` to `out` with every local-header offset and the directory offset
// moved by delta (data placed in front of it): kCopyDone, kCopyWriteFailed, kCopyReadFailed,
// or kCopyFailed when the offsets cannot be moved.
int CopyWithMovedOffsets(int in, int out, std::int64_t delta, const std::function<void()>& tick);

// Position of the first entry's local header as the directory records it (the directory's
// position for an empty archive); -1 when the file holds no archive.
std::int64_t FirstEntryPosition(int fd);

namespace layout_check {
struct Field {
  int at;
  int width;
};
// True when the fields follow the signature (or start at `from`) without gap or overlap and
// end at the record's end.
template <std::size_t N>
constexpr bool Tiles(const Field (&fields)[N], int recordSize, int from = kSignatureSize) {
  int next = from;
  for (const Field& f : fields) {
    if (f.at != next) return false;
    next += f.width;
  }
  return next == recordSize;
}
static_assert(Tiles({{endrec::kDisk, 2},
                     {endrec::kCentralDisk, 2},
                     {endrec::kDiskEntries, 2},
                     {endrec::kEntries, 2},
                     {endrec::kCentralSize, 4},
                     {endrec::kCentralOffset, 4},
                     {endrec::kCommentLength, 2}},
                    kEndRecordSize));
static_assert(Tiles({{zip64end::kRecordSize, 8},
                     {zip64end::kMadeBy, 2},
                     {zip64end::kNeeded, 2},
                     {zip64end::kDisk, 4},
                     {zip64end::kCentralDisk, 4},
                     {zip64end::kDiskEntries, 8},
                     {zip64end::kEntries, 8},
                     {zip64end::kCentralSize, 8},
                     {zip64end::kCentralOffset, 8}},
                    kZip64EndSize));
static_assert(Tiles({{zip64loc::kEndDisk, 4}, {zip64loc::kEndOffset, 8}, {zip64loc::kDisks, 4}},
                    kZip64LocatorSize));
static_assert(Tiles({{centralhdr::kMadeBy, 1},
                     {centralhdr::kHost, 1},
                     {centralhdr::kNeeded, 2},
                     {centralhdr::kFlags, 2},
                     {centralhdr::kMethod, 2},
                     {centralhdr::kTime, 2},
                     {centralhdr::kDate, 2},
                     {centralhdr::kCrc, 4},
                     {centralhdr::kComprSize, 4},
                     {centralhdr::kSize, 4},
                     {centralhdr::kNameLength, 2},
                     {centralhdr::kExtraLength, 2},
                     {centralhdr::kCommentLength, 2},
                     {centralhdr::kStartDisk, 2},
                     {centralhdr::kIntAttrib, 2},
                     {centralhdr::kExtAttrib, 4},
                     {centralhdr::kLocalOffset, 4}},
                    kCentralHeaderSize));
static_assert(Tiles({{localhdr::kNeeded, 2},
                     {localhdr::kFlags, 2},
                     {localhdr::kMethod, 2},
                     {localhdr::kTime, 2},
                     {localhdr::kDate, 2},
                     {localhdr::kCrc, 4},
                     {localhdr::kComprSize, 4},
                     {localhdr::kSize, 4},
                     {localhdr::kNameLength, 2},
                     {localhdr::kExtraLength, 2}},
                    kLocalHeaderSize));
static_assert(Tiles({{descriptor::kCrc, 4}, {descriptor::kComprSize, 4}, {descriptor::kSize, 4}},
                    kDataDescriptorSize));
static_assert(Tiles({{extrafield::kId, 2}, {extrafield::kLength, 2}}, extrafield::kHeaderSize, 0));
}  // namespace layout_check

}  // namespace pz::zipfmt
