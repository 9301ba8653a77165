// The packets of PAR2 recovery files: their layouts, named once and checked at compile time,
// and the set they describe. All numbers little-endian; every packet is a multiple of 4 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pz::par2 {

using Hash = std::array<std::uint8_t, 16>;

struct Field {
  std::size_t offset;
  std::size_t width;
  constexpr std::size_t end() const { return offset + width; }
};

// The header every packet starts with.
namespace head {
inline constexpr Field kMagic{0, 8};
inline constexpr Field kLength{8, 8};   // of the whole packet, header included
inline constexpr Field kHash{16, 16};   // MD5 of everything from kSetId to the packet's end
inline constexpr Field kSetId{32, 16};  // MD5 of the main packet's body
inline constexpr Field kType{48, 16};
inline constexpr std::size_t kSize = 64;
inline constexpr std::string_view kMagicBytes{"PAR2\0PKT", 8};
static_assert(kMagic.end() == kLength.offset && kLength.end() == kHash.offset &&
              kHash.end() == kSetId.offset && kSetId.end() == kType.offset && kType.end() == kSize);
static_assert(kMagicBytes.size() == kMagic.width);
}  // namespace head

// Packet types, 16 bytes each.
namespace type {
inline constexpr std::string_view kMain{"PAR 2.0\0Main\0\0\0\0", 16};
inline constexpr std::string_view kFileDesc{"PAR 2.0\0FileDesc", 16};
inline constexpr std::string_view kSliceChecksums{"PAR 2.0\0IFSC\0\0\0\0", 16};
inline constexpr std::string_view kRecoverySlice{"PAR 2.0\0RecvSlic", 16};
inline constexpr std::string_view kCreator{"PAR 2.0\0Creator\0", 16};
static_assert(kMain.size() == head::kType.width && kFileDesc.size() == head::kType.width &&
              kSliceChecksums.size() == head::kType.width &&
              kRecoverySlice.size() == head::kType.width && kCreator.size() == head::kType.width);
}  // namespace type

// Bodies, offsets from the end of the header.
namespace mainp {
inline constexpr Field kSliceSize{0, 8};
inline constexpr Field kFileCount{8, 4};     // files in the recovery set
inline constexpr std::size_t kFileIds = 12;  // 16 bytes each, recovery set then the others
static_assert(kSliceSize.end() == kFileCount.offset && kFileCount.end() == kFileIds);
}  // namespace mainp
namespace filedesc {
inline constexpr Field kFileId{0, 16};
inline constexpr Field kFileHash{16, 16};  // MD5 of the whole file
inline constexpr Field kHash16k{32, 16};   // MD5 of its first 16 KiB
inline constexpr Field kLength{48, 8};
inline constexpr std::size_t kName = 56;  // the name, padded with zeros to a multiple of 4
inline constexpr std::size_t kHashedPrefix = 16384;
static_assert(kFileId.end() == kFileHash.offset && kFileHash.end() == kHash16k.offset &&
              kHash16k.end() == kLength.offset && kLength.end() == kName);
}  // namespace filedesc
namespace ifsc {
inline constexpr Field kFileId{0, 16};
inline constexpr std::size_t kEntries = 16;  // one per slice:
inline constexpr Field kEntryMd5{0, 16};
inline constexpr Field kEntryCrc{16, 4};
inline constexpr std::size_t kEntrySize = 20;
static_assert(kFileId.end() == kEntries && kEntryMd5.end() == kEntryCrc.offset &&
              kEntryCrc.end() == kEntrySize);
}  // namespace ifsc
namespace recv {
inline constexpr Field kExponent{0, 4};
inline constexpr std::size_t kData = 4;
static_assert(kExponent.end() == kData);
}  // namespace recv

// Input slices number at most this many, and recovery exponents stay below 2^16 - 1.
inline constexpr std::uint32_t kMaxSlices = 32768;
inline constexpr std::uint32_t kMaxRecovery = 65535;

struct SliceCheck {
  Hash md5{};
  std::uint32_t crc = 0;
};

struct FileEntry {
  std::string name;
  std::uint64_t length = 0;
  Hash id{};
  Hash hash{};
  Hash hash16k{};
  std::vector<SliceCheck> slices;  // ceil(length / slice size)
};

// What the critical packets say: the slice size and the files, in the main packet's order (by
// file id, read as a little-endian number), which is also the order of the input slices.
struct SetInfo {
  Hash setId{};
  std::uint64_t sliceSize = 0;
  std::vector<FileEntry> files;
  std::uint32_t SliceCount() const;
  // Slice number of the first slice of each file.
  std::vector<std::uint32_t> FirstSlices() const;
};

Hash Md5(const void* data, std::size_t size);
// The id of a file: MD5 of the first 16 KiB's hash, the length and the name.
Hash FileId(const Hash& hash16k, std::uint64_t length, const std::string& name);
// Sorts the files by id and derives the set id from the main packet's body.
void Seal(SetInfo& set);

// The constant of input slice i: 2 to the power of the i-th number that shares no factor with
// 65535 (none divisible by 3, 5, 17 or 257).
std::vector<std::uint16_t> InputConstants(std::uint32_t count);

// Packets as bytes.
std::vector<std::uint8_t> MainPacket(const SetInfo& set);
std::vector<std::uint8_t> FileDescPacket(const SetInfo& set, const FileEntry& f);
std::vector<std::uint8_t> SliceChecksumPacket(const SetInfo& set, const FileEntry& f);
std::vector<std::uint8_t> CreatorPacket(const SetInfo& set, std::string_view client);
// The header of a recovery slice packet; the packet hash covers the data that follows it.
std::vector<std::uint8_t> RecoveryPacketHead(const SetInfo& set, std::uint32_t exponent,
                                             const Hash& packetHash);
// The packet hash of a recovery slice: MD5 over set id, type, exponent and data, begun here.
class Md5Stream;
void BeginRecoveryHash(Md5Stream& md5, const Hash& setId, std::uint32_t exponent);

class Md5Stream {
 public:
  Md5Stream();
  ~Md5Stream();
  Md5Stream(const Md5Stream&) = delete;
  Md5Stream& operator=(const Md5Stream&) = delete;
  Md5Stream(Md5Stream&& o) noexcept;
  Md5Stream& operator=(Md5Stream&& o) noexcept;
  void Update(const void* data, std::size_t size);
  Hash Final();

 private:
  void* ctx_;
};

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);

// Where a recovery slice's data lies.
struct RecoverySliceRef {
  std::uint32_t exponent = 0;
  std::string path;
  std::uint64_t offset = 0;
};

// What the packets of some files tell: the set (when its main packet and every file's
// description and checksums were found intact) and the recovery slices, of that set only.
struct ScanResult {
  std::optional<SetInfo> set;
  std::vector<RecoverySliceRef> recovery;  // one per exponent
  std::size_t damagedPackets = 0;
};
ScanResult ScanFiles(const std::vector<std::string>& paths);

}  // namespace pz::par2
