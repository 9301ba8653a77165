// Segment names, the size presets and the segment count: the rules that split, join, the
// window and the command line share.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace pz {

// "PZX" and the segment number, with leading zeros to three digits (PZX000, PZX042, PZX1000).
std::string Segment_Endung(std::uint16_t nummer);

// folder + "/" + name + "." + Segment_Endung(nummer): the segment files of a split.
std::string SegmentDateiPfad(const std::string& folder, const std::string& name,
                             std::uint16_t nummer);

// The join's name chain: the path with the extension of its file name (after the last dot)
// replaced by Segment_Endung(nummer); a file name without a dot gets one appended. A set whose
// names went through a system that lower-cases them continues in lower case ("pzx001").
std::string SegmentPfadAusVorgaenger(const std::string& path, std::uint16_t nummer);

// The segment file at path, or the one whose extension differs from it only in case; path
// itself when there is neither.
std::string SegmentFinden(const std::string& path);

// A segment's file name as the split wrote it (its extension in upper case), as the checksum
// file lists it.
std::string SegmentNameWieGeschrieben(const std::string& fileName);

// Segment numbers are 16 bits wide: PZX000 to PZX65535.
inline constexpr std::uint32_t kLastSegmentNumber = 0xFFFF;

// Segments a fixed-size split may produce at most.
inline constexpr std::int64_t kMaxSegments = 1000;

// Number of segments for a segment size and a data size, the one header included; 0 for a
// segment size of 0 or less.
std::int64_t Anzahl_Trennungen_Berechnen(std::int64_t trennGroesse, std::int64_t datenGroesse);

// Segment size presets, bytes per segment file.
enum class SizePreset { Floppy144, Floppy12, Floppy720, Floppy360, Zip100, Auto, Hand };

struct PresetInfo {
  SizePreset preset;
  const char* cliName;  // as the command line takes it
  std::int64_t bytes;   // 0 for automatic; unused for a size by hand
};

inline constexpr PresetInfo kPresets[] = {
    {SizePreset::Floppy144, "1.44M", 1457664}, {SizePreset::Floppy12, "1.2M", 1213952},
    {SizePreset::Floppy720, "720K", 730112},   {SizePreset::Floppy360, "360K", 362496},
    {SizePreset::Zip100, "100M", 100431872},   {SizePreset::Auto, "auto", 0},
};

std::int64_t PresetBytes(SizePreset preset);

// Segment sizes either front end takes: the first segment must hold the header and data, and
// no size is larger than the largest data size the header records.
inline constexpr std::int64_t kMinSegmentSize = 1025;
inline constexpr std::int64_t kMaxSegmentSize = std::numeric_limits<std::int64_t>::max();

// A size typed by hand: decimal digits only (blanks around them allowed), from kMinSegmentSize to
// kMaxSegmentSize; nothing for any other text, so no typo becomes a size.
std::optional<std::int64_t> HandGroesse(std::string_view text);

}  // namespace pz
