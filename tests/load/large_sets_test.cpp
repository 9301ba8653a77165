// Sets past the 2 GiB and 4 GiB bounds: round trips through the command line and the engine,
// with the memory the command line needs measured. The sources are sparse, with random runs
// wherever an offset error would show, so a misplaced byte cannot hide in zeros.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>

#include "crypt/age.h"
#include "engine/engine.h"
#include "engine/filecopy.h"
#include "engine/header.h"
#include "engine/segments.h"
#include "lang/textblocks.h"
#include "load_support.h"
#include "test_support.h"

namespace pz {
namespace {

using test::PatternBytes;
using test::SizeOf;

constexpr std::int64_t kMiB = std::int64_t{1} << 20;
constexpr std::int64_t kGiB = std::int64_t{1} << 30;
constexpr std::int64_t k2G = std::int64_t{1} << 31;
constexpr std::int64_t k4G = std::int64_t{1} << 32;

using test::FreeBytes;
using test::kMemoryLimitKb;

// Segments and the joined copy are written out in full: room for two copies and some to spare.
bool RoomForRoundTrip(const std::string& folder, std::int64_t size) {
  const std::int64_t free = FreeBytes(folder);
  if (free >= 2 * size + kGiB) return true;
  std::cout << "skipped: a round trip of " << size << " bytes needs " << 2 * size + kGiB
            << " bytes free, the disk has " << free << "\n";
  return false;
}

// A sparse file of the given size with random runs over the first and last MiB, 64 KiB on either
// side of 2^31 and 2^32, and 4 KiB on either side of every payload boundary of the segment size.
void WriteSparseSource(const std::string& path, std::int64_t size, std::int64_t segment) {
  FileHandle f(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  ASSERT_TRUE(f.valid());
  ASSERT_EQ(::ftruncate(f.get(), size), 0);
  auto put = [&](std::int64_t from, std::int64_t to) {
    from = std::max<std::int64_t>(from, 0);
    to = std::min(to, size);
    if (from >= to) return;
    const std::string bytes = PatternBytes(static_cast<std::size_t>(to - from),
                                           static_cast<std::uint32_t>(from ^ (from >> 32)));
    ASSERT_EQ(::pwrite(f.get(), bytes.data(), bytes.size(), from),
              static_cast<ssize_t>(bytes.size()));
  };
  put(0, kMiB);
  put(size - kMiB, size);
  for (std::int64_t bound : {k2G, k4G}) put(bound - 64 * 1024, bound + 64 * 1024);
  for (std::int64_t b = segment - 1024; segment > 0 && b < size; b += segment)
    put(b - 4096, b + 4096);
}

test::ProcessResult RunCli(const std::vector<std::string>& args) {
  test::ProcessOptions o;
  o.env = {{"LANG", "C"}, {"LC_ALL", ""}};
  return test::RunProcess(PZ_CLI, args, o);
}

void ExpectSameFile(const std::string& a, const std::string& b) {
  const auto r = test::RunProcess("/usr/bin/cmp", {a, b}, {});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

std::string SizeField(const std::string& first) {
  FileHandle f(::open(first.c_str(), O_RDONLY | O_CLOEXEC));
  char b[24] = {};
  if (::pread(f.get(), b, sizeof b, 350) != static_cast<ssize_t>(sizeof b)) return "";
  return std::string(b, sizeof b);
}

// Hand sizes chosen so that a segment boundary falls exactly on 2^31 or 2^32 bytes of data.
TEST(LargeSets, CommandLineRoundTripsAtTwoAndPastFourGibibytesInConstantMemory) {
  struct Case {
    std::int64_t size;
    std::int64_t segment;
  };
  for (const Case c : {Case{k2G, (k2G + 1024) / 2}, Case{k4G + 4099, (k4G + 1024) / 4}}) {
    SCOPED_TRACE(c.size);
    test::TempDir dir;
    if (!RoomForRoundTrip(dir.path(), c.size)) GTEST_SKIP() << "not enough disk space";
    const std::string source = dir / "big.bin";
    WriteSparseSource(source, c.size, c.segment);
    const std::string out = dir.Sub("out"), back = dir.Sub("back");

    auto r = RunCli({"split", source, "--to", out, "--size", std::to_string(c.segment), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(r.maxRssKb, kMemoryLimitKb);
    std::cout << c.size << " bytes: split peak memory " << r.maxRssKb << " KiB\n";
    const std::string digits = std::to_string(c.size);
    EXPECT_EQ(SizeField(out + "/big.bin.PZX000").substr(0, 2 + digits.size()),
              std::to_string(digits.size()) + digits);
    const std::int64_t count = Anzahl_Trennungen_Berechnen(c.segment, c.size);
    const auto last = static_cast<std::uint16_t>(count - 1);
    EXPECT_EQ(SizeOf(out + "/big.bin." + Segment_Endung(last)),
              c.size + 1024 - (count - 1) * c.segment);
    EXPECT_EQ(SizeOf(out + "/big.bin." + Segment_Endung(last + 1)), -1);

    r = RunCli({"info", out + "/big.bin.PZX000"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(digits + " / " + digits), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Parzello 1.2 or later"), std::string::npos) << r.out;

    r = RunCli({"join", out + "/big.bin.PZX000", "--to", back, "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(r.maxRssKb, kMemoryLimitKb);
    std::cout << c.size << " bytes: join peak memory " << r.maxRssKb << " KiB\n";
    std::filesystem::remove_all(out);
    ExpectSameFile(source, back + "/big.bin");
  }
}

// One byte past 2^32, encrypted with a password, each volume filled as far as it has room: the
// age file's chunk counter, offsets and sizes past 32 bits.
TEST(LargeSets, EngineRoundTripPastFourGibibytesEncryptedInAutomaticMode) {
  test::TempDir dir;
  const std::int64_t size = k4G + 1;
  if (!RoomForRoundTrip(dir.path(), size)) GTEST_SKIP() << "not enough disk space";
  const std::int64_t volume = (k4G + 1024) / 4;
  const std::string source = dir / "big.bin";
  WriteSparseSource(source, size, volume);

  test::ScriptedInteraction ui;
  test::BlockNumbers texts;
  EngineContext ctx(ui, texts, dir.Sub("program"));
  dir.Sub("program/temp_parzello");
  ctx.freeSpace = [&](const std::string&) { return volume; };
  const std::string out = dir.Sub("out"), back = dir.Sub("back");
  ui.passwords = {"geheim"};
  ui.volumes.resize(4);  // OK after each of the first four volumes
  SplitJob job;
  job.quelle = job.quellName = source;
  job.passwort = true;
  job.zielPfad = out;
  job.zielName = "big.bin";
  job.automatisch = true;
  ASSERT_TRUE(Datei_Trennen(job, ctx));
  EXPECT_EQ(ui.volumePrompts.size(), 4u);
  for (std::uint16_t n = 0; n < 4; ++n)
    EXPECT_EQ(SizeOf(SegmentDateiPfad(out, "big.bin", n)), volume);
  // The age file is the data, 16 bytes for each of its 65537 chunks and the header longer.
  EXPECT_EQ(SizeOf(SegmentDateiPfad(out, "big.bin", 4)),
            age::EncryptedSize(size) + 1024 - 4 * volume);
  EXPECT_EQ(age::EncryptedSize(size), size + 166 + 65537 * 16);

  // A wrong password writes nothing; the right one rebuilds the file.
  ui.passwords2 = {"falsch", "geheim"};
  EXPECT_FALSE(
      Trennsegmente_Zusammenfuehren({SegmentDateiPfad(out, "big.bin", 0), back, "big.bin"}, ctx));
  EXPECT_EQ(SizeOf(back + "/big.bin"), -1);
  ASSERT_TRUE(
      Trennsegmente_Zusammenfuehren({SegmentDateiPfad(out, "big.bin", 0), back, "big.bin"}, ctx));
  std::filesystem::remove_all(out);
  ExpectSameFile(source, back + "/big.bin");
}

// Packing a source of more than 4 GiB needs ZIP64 records in the archive, and the join must read
// them back to unpack.
TEST(LargeSets, PackedRoundTripPastFourGibibytes) {
  test::TempDir dir;
  const std::int64_t size = k4G + 4099;
  // The joined copy is written out; the archive of a mostly sparse file is small.
  if (!RoomForRoundTrip(dir.path(), size / 2)) GTEST_SKIP() << "not enough disk space";
  const std::string source = dir / "big.bin";
  WriteSparseSource(source, size, 0);
  const std::string out = dir.Sub("out"), back = dir.Sub("back");

  auto r =
      RunCli({"split", source, "--to", out, "--size", "100M", "--compress", "weak", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::cout << "packed split peak memory " << r.maxRssKb << " KiB\n";
  r = RunCli({"info", out + "/big.bin.PZX000"});
  EXPECT_EQ(r.status, 0) << r.err;
  r = RunCli({"join", out + "/big.bin.PZX000", "--to", back, "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::cout << "packed join peak memory " << r.maxRssKb << " KiB\n";
  EXPECT_EQ(SizeOf(back + "/big.bin"), size);
  ExpectSameFile(source, back + "/big.bin");
}

// 65536 segment files: the name chain ends at the last number the format has. A first segment
// recording 1024 bytes and holding none, then empty segments up to .PZX65535: wrapping round
// would take the first segment's header as the data.
TEST(LargeSets, TheJoinEndsAtTheLastSegmentNumber) {
  test::TempDir dir;
  test::BlockNumbers texts;
  test::ScriptedInteraction ui;
  EngineContext ctx(ui, texts, dir.Sub("program"));
  const std::string out = dir.Sub("out");
  HeaderBytes h;
  Header_Aufbauen(h, 1024, {"wrap.bin", false, false}, ui);
  test::WriteFile(out + "/wrap.PZX000",
                  std::string(reinterpret_cast<const char*>(h.data()), h.size()));
  for (std::uint32_t n = 1; n <= kLastSegmentNumber; ++n)
    test::WriteFile(SegmentDateiPfad(out, "wrap", static_cast<std::uint16_t>(n)), "");
  EXPECT_FALSE(Trennsegmente_Zusammenfuehren({out + "/wrap.PZX000", dir.Sub("back"), "w"}, ctx));
  EXPECT_TRUE(
      ui.Showed("[" + std::to_string(tb::kPastLastSegment) + "] \"" + out + "/wrap.PZX65535\""));
  EXPECT_TRUE(ui.volumePrompts.empty());
  EXPECT_FALSE(test::Exists(dir / "back/w"));
}

}  // namespace
}  // namespace pz
