// Protected sets: split encrypted, joined decrypted, and every way a set can be damaged or mixed
// up refused with nothing left under the target's name. Older gated sets still join.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "crypt/age.h"
#include "engine/engine.h"
#include "engine/header.h"
#include "engine/segments.h"
#include "engine_fixture.h"
#include "lang/textblocks.h"
#include "platform/os.h"
#include "test_support.h"

namespace pz {
namespace {

using test::Exists;
using test::PatternBytes;
using test::ReadFile;
using test::SizeOf;
using test::WriteFile;

std::string Block(tb::Block b) {
  return "[" + std::to_string(b) + "]";
}

class Encrypted : public test::EngineFixture {
 protected:
  Encrypted() { ctx.workFactor = 10; }  // cheap; the format is the same at every work factor

  bool Split(const std::string& bytes, std::int64_t segmentSize, const std::string& folder = "",
             const std::string& password = "Geheim") {
    WriteFile(dir / "source.bin", bytes);
    ui.passwords.push_back(password);
    SplitJob job;
    job.quelle = job.quellName = dir / "source.bin";
    job.zielPfad = folder.empty() ? out : folder;
    job.zielName = "source.bin";
    job.trennGroesse = segmentSize;
    job.passwort = true;
    return Datei_Trennen(job, ctx);
  }
  bool Join(const std::string& password = "Geheim") {
    ui.passwords2.push_back(password);
    return Trennsegmente_Zusammenfuehren({Segment(0), back, "joined.bin"}, ctx, &report);
  }
  std::string Segment(int n, const std::string& folder = "") const {
    return SegmentDateiPfad(folder.empty() ? out : folder, "source.bin",
                            static_cast<std::uint16_t>(n));
  }
  int Count(const std::string& folder = "") const {
    int n = 0;
    while (Exists(Segment(n, folder))) ++n;
    return n;
  }
  // Nothing under the target name, no partial file beside it.
  bool NothingJoined() const { return std::filesystem::is_empty(back); }

  JoinReport report;
};

TEST_F(Encrypted, RoundTripsAtTheChunkBoundsAcrossSegments) {
  // 1100-byte segments leave 76 bytes in the first: the age header itself spans segments.
  for (std::int64_t segment : {std::int64_t{1100}, std::int64_t{40000}, std::int64_t{1} << 20}) {
    for (std::size_t size : {0, 1, 65535, 65536, 65537}) {
      SCOPED_TRACE(std::to_string(segment) + "/" + std::to_string(size));
      for (const std::string& folder : {out, back}) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directory(folder);
      }
      const std::string data = PatternBytes(size, static_cast<std::uint32_t>(size + 1));
      ASSERT_TRUE(Split(data, segment));
      const std::int64_t stored = age::EncryptedSize(static_cast<std::int64_t>(size), 10);
      EXPECT_EQ(Count(), Anzahl_Trennungen_Berechnen(segment, stored));
      ASSERT_TRUE(Join());
      EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
      EXPECT_FALSE(report.gated);
      EXPECT_EQ(report.verdict, Verdict::Verified);
    }
  }
}

TEST_F(Encrypted, SegmentsHoldNoPlaintextAndTheChecksumFileOnlySegments) {
  const std::string data = PatternBytes(300000);
  ASSERT_TRUE(Split(data, 100000));
  std::string all;
  for (int n = 0; n < Count(); ++n) all += ReadFile(Segment(n));
  EXPECT_EQ(all.find(data.substr(150000, 32)), std::string::npos);
  EXPECT_EQ(all.find("Geheim"), std::string::npos);
  const auto list = ReadChecksumFile(out + "/source.bin.PZX.sha256");
  ASSERT_TRUE(list);
  EXPECT_EQ(list->hashes.size(), static_cast<std::size_t>(Count()));
  EXPECT_FALSE(list->hashes.count("source.bin"));
  // Verifying the segments alone is a full check of an encrypted set.
  EXPECT_TRUE(Trennsegmente_Pruefen(Segment(0), ctx).allGood);
}

TEST_F(Encrypted, AWrongPasswordWritesNothing) {
  ASSERT_TRUE(Split(PatternBytes(5000), 4096));
  for (const char* typed : {"geheim", ""}) {  // case counts; "" is Cancel
    ui.messages.clear();
    EXPECT_FALSE(Join(typed));
    EXPECT_TRUE(ui.Showed(Block(tb::kWrongPassword)));
    EXPECT_TRUE(NothingJoined());
  }
  ASSERT_TRUE(Join());
}

// Each case damages the set after the split; the join must fail, name the segment where it
// can, and leave nothing under the target's name.
TEST_F(Encrypted, EveryTamperingFailsTheJoin) {
  const std::string data = PatternBytes(5 * 65536);
  ASSERT_TRUE(Split(data, 100000));
  ASSERT_TRUE(Split(data, 100000, dir.Sub("other")));  // the same data, another set
  const int count = Count();
  ASSERT_EQ(count, 4);
  const std::string pristine = dir.Sub("pristine");
  for (int n = 0; n < count; ++n) std::filesystem::copy(Segment(n), pristine);
  std::filesystem::remove(out + "/source.bin.PZX.sha256");  // the chunks alone must tell

  struct Case {
    const char* what;
    std::function<void()> damage;
    std::string shown;  // a message part the join shows (or throws)
  };
  auto flipByte = [&](int n, std::int64_t at) {
    std::string s = ReadFile(Segment(n));
    s[static_cast<std::size_t>(at)] ^= 0x20;
    WriteFile(Segment(n), s);
  };
  const std::vector<Case> cases = {
      {"flipped byte", [&] { flipByte(2, 500); },
       Block(tb::kChunkDamaged) + " \"" + Segment(2) + "\""},
      // The MAC: the stanza still opens, the header does not authenticate.
      {"age header", [&] { flipByte(0, 1024 + 110); }, Block(tb::kEncryptionHeaderDamaged)},
      {"reordered",
       [&] {
         std::filesystem::rename(Segment(1), dir / "tmp");
         std::filesystem::rename(Segment(2), Segment(1));
         std::filesystem::rename(dir / "tmp", Segment(2));
       },
       Block(tb::kChunkDamaged) + " \"" + Segment(1) + "\""},
      {"from another set",
       [&] {
         std::filesystem::copy(Segment(2, dir / "other"), Segment(2),
                               std::filesystem::copy_options::overwrite_existing);
       },
       Block(tb::kChunkDamaged) + " \"" + Segment(2) + "\""},
      {"appended", [&] { WriteFile(Segment(3), ReadFile(Segment(3)) + "x"); },
       Block(tb::kSegmentsTooLong)},
      {"truncated",
       [&] {
         std::filesystem::resize_file(Segment(3),
                                      static_cast<std::uintmax_t>(SizeOf(Segment(3)) - 1));
       },
       Block(tb::kJoinCancelled)},  // the data runs short: the next volume is asked for
      {"dropped", [&] { std::filesystem::remove(Segment(3)); }, Block(tb::kJoinCancelled)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int n = 0; n < count; ++n)
      std::filesystem::copy(pristine + "/" + FileNamePart(Segment(n)), out,
                            std::filesystem::copy_options::overwrite_existing);
    c.damage();
    ui.messages.clear();
    ui.volumes.clear();
    ui.volumes.push_back({false, "", nullptr});  // Cancel when a segment is missing
    std::string thrown;
    try {
      EXPECT_FALSE(Join());
    } catch (const EngineError& e) {
      thrown = e.what();
    }
    EXPECT_TRUE(ui.Showed(c.shown) || thrown.find(c.shown) != std::string::npos) << thrown;
    EXPECT_TRUE(NothingJoined());
  }
}

// Each segment is checked against its line, also when its chunks authenticate: a line that
// differs names its segment, whichever segment it is, and nothing is kept.
TEST_F(Encrypted, ASegmentThatDiffersFromItsLineFailsTheJoin) {
  ASSERT_TRUE(Split(PatternBytes(5 * 65536), 100000));
  const std::string sums = out + "/source.bin.PZX.sha256";
  const std::string pristine = ReadFile(sums);
  for (int n : {0, 2, 3}) {
    SCOPED_TRACE(n);
    std::string text = pristine;
    const std::size_t at = text.find("  " + FileNamePart(Segment(n)));
    ASSERT_NE(at, std::string::npos);
    const std::size_t line =
        text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
    text[line] = text[line] == '0' ? '1' : '0';
    WriteFile(sums, text);
    ui.messages.clear();
    EXPECT_FALSE(Join());
    EXPECT_EQ(report.verdict, Verdict::SegmentDiffers);
    EXPECT_EQ(report.bad, FileNamePart(Segment(n)));
    EXPECT_TRUE(NothingJoined());
  }
  WriteFile(sums, pristine);
  EXPECT_TRUE(Join());
}

// A protected set made by the version before encryption, kept as it was written.
TEST_F(Encrypted, OlderGatedSetsStillJoinAndSaySo) {
  const std::string fixture = std::string(PZ_SOURCE_DIR) + "/tests/engine/data/gated";
  const HeaderRead read = ReadSegmentHeader(fixture + "/gated.txt.PZX000");
  ASSERT_EQ(read.status, HeaderRead::Status::Valid);
  EXPECT_TRUE(read.info.password);
  EXPECT_FALSE(read.info.encrypted);

  ui.passwords2 = {"alt-geheim", "Alt-Geheim"};
  const JoinJob job{fixture + "/gated.txt.PZX000", back, "gated.txt"};
  EXPECT_FALSE(Trennsegmente_Zusammenfuehren(job, ctx, &report));
  EXPECT_TRUE(ui.Showed(Block(tb::kWrongPassword)));
  ASSERT_TRUE(Trennsegmente_Zusammenfuehren(job, ctx, &report));
  EXPECT_EQ(ReadFile(back + "/gated.txt"), ReadFile(fixture + "/gated.txt"));
  EXPECT_TRUE(report.gated);
  EXPECT_EQ(report.verdict, Verdict::Verified);
  EXPECT_NE(JoinReportText(report, true, texts).find(Block(tb::kGatedOnly)), std::string::npos);
}

}  // namespace
}  // namespace pz
