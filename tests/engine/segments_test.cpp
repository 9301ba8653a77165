#include "engine/segments.h"

#include <gtest/gtest.h>

#include <limits>

#include "engine/progress.h"

namespace pz {
namespace {

TEST(SegmentNames, ExtensionDigits) {
  EXPECT_EQ(Segment_Endung(0), "PZX000");
  EXPECT_EQ(Segment_Endung(9), "PZX009");
  EXPECT_EQ(Segment_Endung(10), "PZX010");
  EXPECT_EQ(Segment_Endung(99), "PZX099");
  EXPECT_EQ(Segment_Endung(100), "PZX100");
  EXPECT_EQ(Segment_Endung(999), "PZX999");
  EXPECT_EQ(Segment_Endung(1000), "PZX1000");
  EXPECT_EQ(Segment_Endung(65535), "PZX65535");
  EXPECT_EQ(SegmentDateiPfad("/media/stick", "film.avi", 1), "/media/stick/film.avi.PZX001");
  EXPECT_EQ(SegmentDateiPfad("", "film.avi", 0), "/film.avi.PZX000");
}

TEST(SegmentNames, ChainReplacesTheLastExtensionOfTheFileName) {
  EXPECT_EQ(SegmentPfadAusVorgaenger("/d/film.avi.PZX000", 1), "/d/film.avi.PZX001");
  EXPECT_EQ(SegmentPfadAusVorgaenger("/d/film.avi.PZX009", 10), "/d/film.avi.PZX010");
  EXPECT_EQ(SegmentPfadAusVorgaenger("/d/first.bin", 0), "/d/first.PZX000");
  // A dot in a folder name is no extension.
  EXPECT_EQ(SegmentPfadAusVorgaenger("/a.b/noext", 2), "/a.b/noext.PZX002");
}

TEST(SegmentCount, IncludesTheHeaderAndRoundsUp) {
  EXPECT_EQ(Anzahl_Trennungen_Berechnen(1457664, 3000000), 3);
  EXPECT_EQ(Anzahl_Trennungen_Berechnen(1457664, 1457664 - 1024), 1);
  EXPECT_EQ(Anzahl_Trennungen_Berechnen(1457664, 1457664 - 1023), 2);
  EXPECT_EQ(Anzahl_Trennungen_Berechnen(0, 100), 0);
  EXPECT_EQ(Anzahl_Trennungen_Berechnen(-5, 100), 0);
  EXPECT_EQ(Anzahl_Trennungen_Berechnen(100, 1000 * 100 - 1024), 1000);
  EXPECT_EQ(Anzahl_Trennungen_Berechnen(100, 1000 * 100 - 1023), 1001);
}

TEST(SegmentSizes, PresetsAreWholeSectorsAndHandSizeRule) {
  for (const auto& p : kPresets) {
    EXPECT_EQ(p.bytes % 512, 0) << p.cliName;
  }
  EXPECT_EQ(PresetBytes(SizePreset::Floppy144), 1457664);
  EXPECT_EQ(PresetBytes(SizePreset::Zip100), 100431872);
  EXPECT_EQ(PresetBytes(SizePreset::Auto), 0);
  // Every size from the first with room for data to the largest the header records; no text
  // that is not one becomes a size.
  const std::pair<const char*, std::optional<std::int64_t>> rows[] = {
      {"350000000", 350000000},
      {"1025", 1025},
      {"2147483648", 2147483648},
      {"3000000000", 3000000000},
      {"4294967295", 4294967295},
      {" 4294967295 ", 4294967295},
      {"9223372036854775807", kMaxSegmentSize},
      {"9223372036854775808", std::nullopt},
      {"1024", std::nullopt},
      {"0", std::nullopt},
      {"-5", std::nullopt},
      {"+2000", std::nullopt},
      {"abc", std::nullopt},
      {"1M", std::nullopt},
      {"12abc", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, size] : rows) EXPECT_EQ(HandGroesse(text), size) << text;
  // A 5 GiB file on FAT-sized segments.
  EXPECT_EQ(Anzahl_Trennungen_Berechnen(4294967295, std::int64_t{5} << 30), 2);
}

// The figures must stay right at any size: a product done * 100 overflows above 92 PB.
TEST(ProgressDisplay, PercentAndGibibytesAtAnySize) {
  constexpr std::int64_t kGiB = std::int64_t{1} << 30;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(ProzentFertig(1, 3), 33);
  EXPECT_EQ(ProzentFertig(0, 0), 100);
  EXPECT_EQ(ProzentFertig(kMax - 1, kMax), 99);
  EXPECT_EQ(ProzentFertig(kMax / 2, kMax), 49);
  EXPECT_EQ(ProzentFertig(kMax, kMax), 100);
  EXPECT_EQ(ProgressFigures(3 * kGiB, 6 * kGiB, 2.0), " 50%  3.00 / 6.00 GiB  1610.6 MB/s");
  EXPECT_EQ(ProgressFigures(500, 1000, 0.0), " 50%  500 / 1000 bytes  0.0 MB/s");
}

}  // namespace
}  // namespace pz
