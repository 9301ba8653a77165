#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <limits>
#include <map>
#include <string>

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

class SplitJoin : public test::EngineFixture {
 protected:
  // Splits a file of the given bytes named "source.bin" into folder "out".
  bool Split(const std::string& bytes, std::int64_t segmentSize, bool automatic = false,
             const std::string& name = "source.bin") {
    source = dir / name;
    WriteFile(source, bytes);
    SplitJob job;
    job.quelle = source;
    job.quellName = source;
    job.zielPfad = out;
    job.zielName = name;
    job.trennGroesse = segmentSize;
    job.automatisch = automatic;
    job.passwort = !ui.passwords.empty();
    return Datei_Trennen(job, ctx);
  }

  bool Join(const std::string& first, const std::string& name = "joined.bin") {
    return Trennsegmente_Zusammenfuehren({first, back, name}, ctx);
  }

  std::string Segment(int n, const std::string& folder = "") const {
    return SegmentDateiPfad(folder.empty() ? out : folder, "source.bin",
                            static_cast<std::uint16_t>(n));
  }

  std::string source;
};

TEST_F(SplitJoin, RoundTripsAtTheSegmentBoundaries) {
  const std::int64_t s = PresetBytes(SizePreset::Floppy360);
  const std::int64_t firstPayload = s - 1024;
  for (std::int64_t size : {std::int64_t{1}, firstPayload - 1, firstPayload, firstPayload + 1,
                            firstPayload + s, firstPayload + s + 1}) {
    SCOPED_TRACE(size);
    const std::string data =
        PatternBytes(static_cast<std::size_t>(size), static_cast<std::uint32_t>(size));
    ASSERT_TRUE(Split(data, s));
    const std::int64_t count = Anzahl_Trennungen_Berechnen(s, size);
    for (int n = 0; n < count; ++n) ASSERT_TRUE(Exists(Segment(n))) << n;
    EXPECT_FALSE(Exists(Segment(static_cast<int>(count))));
    for (int n = 0; n + 1 < count; ++n) EXPECT_EQ(SizeOf(Segment(n)), s);
    EXPECT_EQ(SizeOf(Segment(static_cast<int>(count - 1))), size + 1024 - (count - 1) * s);
    ASSERT_TRUE(Join(Segment(0)));
    EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
    EXPECT_TRUE(ui.messages.empty());
    for (int n = 0; n < count; ++n) std::remove(Segment(n).c_str());
    std::remove((back + "/joined.bin").c_str());
  }
}

TEST_F(SplitJoin, ThreeMillionBytesOnFloppies) {
  const std::string data = PatternBytes(3000000);
  ASSERT_TRUE(Split(data, PresetBytes(SizePreset::Floppy144)));
  EXPECT_EQ(SizeOf(Segment(0)), 1457664);
  EXPECT_EQ(SizeOf(Segment(1)), 1457664);
  EXPECT_EQ(SizeOf(Segment(2)), 3000000 + 1024 - 2 * 1457664);
  EXPECT_FALSE(Exists(Segment(3)));
  ASSERT_TRUE(Join(Segment(0)));
  EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
  // The source stays as it was.
  EXPECT_EQ(ReadFile(source), data);
}

TEST_F(SplitJoin, EmptySourceGivesAHeaderOnlySegmentThatJoinsBack) {
  ASSERT_TRUE(Split("", PresetBytes(SizePreset::Floppy144)));
  EXPECT_EQ(SizeOf(Segment(0)), 1024);
  EXPECT_FALSE(Exists(Segment(1)));
  ASSERT_TRUE(Join(Segment(0)));
  EXPECT_EQ(SizeOf(back + "/joined.bin"), 0);
}

TEST_F(SplitJoin, PasswordGuardsTheJoin) {
  ui.passwords.push_back("Geheim");
  const std::string data = PatternBytes(5000);
  ASSERT_TRUE(Split(data, 4096));
  EXPECT_EQ(ui.passwordPrompts, 1);

  ui.passwords2.push_back("geheim");  // case counts
  EXPECT_FALSE(Join(Segment(0)));
  EXPECT_TRUE(ui.Showed(Block(tb::kWrongPassword)));
  EXPECT_FALSE(Exists(back + "/joined.bin"));

  ui.messages.clear();
  EXPECT_FALSE(Join(Segment(0)));  // Cancel in the query gives an empty answer
  EXPECT_TRUE(ui.Showed(Block(tb::kWrongPassword)));

  ui.passwords2.push_back("Geheim");
  ASSERT_TRUE(Join(Segment(0)));
  EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
}

TEST_F(SplitJoin, UnprotectedJoinAsksNoPassword) {
  ASSERT_TRUE(Split(PatternBytes(10), 4096));
  ASSERT_TRUE(Join(Segment(0)));
  EXPECT_EQ(ui.passwordPrompts, 0);
}

TEST_F(SplitJoin, MissingSegmentIsAskedForAndTheChainFollowsTheConfirmedPath) {
  const std::string data = PatternBytes(10000);
  ASSERT_TRUE(Split(data, 3000));
  const std::string elsewhere = dir.Sub("stick2");
  // Segments 1 to 3 move to another volume; the join must look for 2 and 3 beside 1. The
  // answer names the segment, or the folder to look for it in.
  for (int n : {1, 2, 3})
    ASSERT_EQ(std::rename(Segment(n).c_str(), Segment(n, elsewhere).c_str()), 0);
  for (const std::string& answer : {Segment(1, elsewhere), elsewhere, elsewhere + "/"}) {
    SCOPED_TRACE(answer);
    ui.volumePrompts.clear();
    ui.volumes.push_back({true, answer, nullptr});
    ASSERT_TRUE(Join(Segment(0))) << (ui.messages.empty() ? "" : ui.messages[0].text);
    ASSERT_EQ(ui.volumePrompts.size(), 1u);
    EXPECT_EQ(ui.volumePrompts[0], Segment(1));
    EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
    std::remove((back + "/joined.bin").c_str());
  }
  // verify follows the set the same way, and finds the checksum file beside a later segment.
  ASSERT_EQ(std::rename((out + "/source.bin.PZX.sha256").c_str(),
                        (elsewhere + "/source.bin.PZX.sha256").c_str()),
            0);
  ui.volumes.push_back({true, elsewhere, nullptr});
  const VerifyReport report = Trennsegmente_Pruefen(Segment(0), ctx);
  EXPECT_TRUE(report.allGood);
  EXPECT_TRUE(report.complete);
  EXPECT_EQ(report.checksumPath, elsewhere + "/source.bin.PZX.sha256");
}

TEST_F(SplitJoin, CancelAtAMissingSegmentFails) {
  ASSERT_TRUE(Split(PatternBytes(10000), 3000));
  std::remove(Segment(2).c_str());
  ui.volumes.push_back({false, "", nullptr});
  EXPECT_FALSE(Join(Segment(0)));
  EXPECT_TRUE(ui.Showed(Block(tb::kJoinCancelled)));
}

TEST_F(SplitJoin, NoFirstSegmentWritesNothing) {
  const std::string notSegment = dir / "plain.PZX000";
  WriteFile(notSegment, PatternBytes(2048));
  EXPECT_FALSE(Join(notSegment));
  EXPECT_FALSE(Exists(back + "/joined.bin"));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SplitJoin, ShortOrDamagedFirstSegmentIsAnError) {
  const std::string shortFile = dir / "short.PZX000";
  WriteFile(shortFile, "PX");
  EXPECT_THROW(Join(shortFile), EngineError);

  ASSERT_TRUE(Split(PatternBytes(100), 4096));
  std::string bytes = ReadFile(Segment(0));
  bytes[351] = 'z';
  WriteFile(Segment(0), bytes);
  EXPECT_THROW(Join(Segment(0)), EngineError);
  EXPECT_FALSE(Exists(back + "/joined.bin"));
}

TEST_F(SplitJoin, SurplusDataIsReportedAndNeverWritten) {
  // Surplus in the last segment, in a first segment that holds the whole set, and after the
  // header of a set of no data.
  struct Case {
    std::int64_t size;
    int segment;
  };
  for (const Case c : {Case{5000, 2}, Case{500, 0}, Case{0, 0}}) {
    SCOPED_TRACE(c.segment);
    ui.messages.clear();
    for (int n = 0; n < 4; ++n) std::remove(Segment(n).c_str());
    ASSERT_TRUE(Split(PatternBytes(static_cast<std::size_t>(c.size)), 3000));
    ASSERT_FALSE(Exists(Segment(c.segment + 1)));
    WriteFile(Segment(c.segment), ReadFile(Segment(c.segment)) + "extra");
    EXPECT_FALSE(Join(Segment(0)));
    EXPECT_TRUE(ui.Showed(Block(tb::kSegmentsTooLong) + " \"" + Segment(c.segment) + "\""));
    EXPECT_FALSE(Exists(back + "/joined.bin"));
  }
}

TEST_F(SplitJoin, HeaderOnlyFirstSegmentContributesNothing) {
  const std::string data = PatternBytes(2000);
  ASSERT_TRUE(Split(data, 3000));
  // Move the first segment's payload into a segment of its own after a header-only first one,
  // as another writer of the format may cut it (and without a checksum file).
  std::remove((out + "/source.bin.PZX.sha256").c_str());
  const std::string seg0 = ReadFile(Segment(0));
  const std::string seg1 = ReadFile(Segment(1));
  WriteFile(Segment(0), seg0.substr(0, 1024));
  WriteFile(Segment(1), seg0.substr(1024) + seg1);
  ASSERT_TRUE(Join(Segment(0)));
  EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
}

TEST_F(SplitJoin, RefusesWhatTheFormatCannotHoldBeforeWritingAnything) {
  for (std::int64_t size :
       {std::int64_t{1024}, std::int64_t{100}, std::int64_t{0}, std::int64_t{-7}}) {
    ui.messages.clear();
    EXPECT_FALSE(Split(PatternBytes(10), size));
    EXPECT_TRUE(ui.Showed(Block(tb::kSegmentSizeTooSmall)));
    EXPECT_FALSE(Exists(Segment(0)));
  }

  // The recorded name is the chosen file's, also when an archive of it is cut.
  ui.messages.clear();
  source = dir / "data.bin";
  WriteFile(source, PatternBytes(10));
  SplitJob named{source, dir / std::string(297, 'n'), false, false, out, "x", 4096, false};
  EXPECT_FALSE(Datei_Trennen(named, ctx));
  EXPECT_TRUE(ui.Showed(Block(tb::kNameTooLong)));
  EXPECT_FALSE(Exists(out + "/x.PZX000"));
}

TEST_F(SplitJoin, SegmentThatIsTheSourceIsRefused) {
  // Splitting x.PZX000 into its own folder under the name "x" would truncate the source.
  source = out + "/x.PZX000";
  const std::string data = PatternBytes(5000);
  WriteFile(source, data);
  SplitJob job{source, source, false, false, out, "x", 3000, false};
  EXPECT_FALSE(Datei_Trennen(job, ctx));
  EXPECT_TRUE(ui.Showed(Block(tb::kSegmentIsSource)));
  EXPECT_EQ(ReadFile(source), data);
}

TEST_F(SplitJoin, OutputThatIsASegmentIsRefused) {
  const std::string data = PatternBytes(10000);
  ASSERT_TRUE(Split(data, 3000));
  const std::string seg2 = ReadFile(Segment(2));
  // Even when replacing is allowed.
  EXPECT_FALSE(Trennsegmente_Zusammenfuehren({Segment(0), out, "source.bin.PZX002", true}, ctx));
  EXPECT_TRUE(ui.Showed(Block(tb::kOutputIsSegment)));
  EXPECT_EQ(ReadFile(Segment(2)), seg2);
  EXPECT_FALSE(Trennsegmente_Zusammenfuehren({Segment(0), out, "source.bin.PZX000", true}, ctx));
  EXPECT_EQ(SizeOf(Segment(0)), 3000);

  // A segment found only at the volume prompt may be the file to be replaced, too.
  ui.messages.clear();
  const std::string elsewhere = dir.Sub("elsewhere");
  WriteFile(back + "/joined.bin", seg2);
  std::filesystem::create_hard_link(back + "/joined.bin", elsewhere + "/source.bin.PZX002");
  std::filesystem::remove(Segment(2));
  ui.volumes.push_back({true, elsewhere, nullptr});
  EXPECT_FALSE(Trennsegmente_Zusammenfuehren({Segment(0), back, "joined.bin", true}, ctx));
  EXPECT_TRUE(ui.Showed(Block(tb::kOutputIsSegment) + " \"" + elsewhere + "/source.bin.PZX002\""));
  EXPECT_EQ(ReadFile(back + "/joined.bin"), seg2);
}

TEST_F(SplitJoin, AutomaticModeFillsEachVolumeAndAsksForTheNext) {
  // Three simulated volumes with 5000, 3000 and plenty of bytes free.
  const std::string v1 = dir.Sub("v1"), v2 = dir.Sub("v2"), v3 = dir.Sub("v3");
  std::map<std::string, std::int64_t> free{{v1, 5000}, {v2, 3000}, {v3, 1 << 20}};
  ctx.freeSpace = [&](const std::string& f) { return free.count(f) ? free[f] : -1; };
  out = v1;
  ui.volumes.push_back({true, v2, nullptr});
  ui.volumes.push_back({true, v3, nullptr});
  const std::string data = PatternBytes(10000);
  ASSERT_TRUE(Split(data, 0, /*automatic=*/true));
  EXPECT_EQ(SizeOf(Segment(0, v1)), 5000);  // header + 3976 bytes
  EXPECT_EQ(SizeOf(Segment(1, v2)), 3000);
  EXPECT_EQ(SizeOf(Segment(2, v3)), 10000 - 3976 - 3000);
  EXPECT_EQ(ui.volumePrompts, (std::vector<std::string>{v1, v2}));

  // Join with the segments gathered in one folder.
  for (auto& [from, n] : std::map<std::string, int>{{v2, 1}, {v3, 2}}) {
    ASSERT_EQ(std::rename(Segment(n, from).c_str(), Segment(n, v1).c_str()), 0);
  }
  ASSERT_TRUE(Join(Segment(0, v1)));
  EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
}

// A FAT stick with gigabytes free still takes no file of 4 GiB: filling it by its free space alone
// would fail the same segment on every volume the user offers.
TEST_F(SplitJoin, AutomaticSegmentsStopAtTheVolumesLargestFile) {
  ctx.freeSpace = [](const std::string&) { return std::int64_t{1} << 20; };
  ctx.largestFile = [](const std::string&) { return std::int64_t{3000}; };
  ui.volumes.resize(3);
  const std::string data = PatternBytes(10000);
  ASSERT_TRUE(Split(data, 0, /*automatic=*/true));
  for (int n = 0; n < 3; ++n) EXPECT_EQ(SizeOf(Segment(n)), 3000) << n;
  EXPECT_EQ(SizeOf(Segment(3)), 10000 - 1976 - 2 * 3000);
  ASSERT_TRUE(Join(Segment(0)));
  EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
  EXPECT_EQ(LargestFileSize(dir.path()), std::numeric_limits<std::int64_t>::max());  // not FAT
}

TEST_F(SplitJoin, AutomaticModeWithoutRoomGoesToTheFailedCopyPrompt) {
  const std::string v1 = dir.Sub("v1"), v2 = dir.Sub("v2");
  std::map<std::string, std::int64_t> free{{v1, 1024}, {v2, 1 << 20}};
  ctx.freeSpace = [&](const std::string& f) { return free.count(f) ? free[f] : -1; };
  out = v1;
  ui.volumes.push_back({true, v2, nullptr});
  const std::string data = PatternBytes(700);
  ASSERT_TRUE(Split(data, 0, true));
  EXPECT_TRUE(ui.Showed(Block(tb::kSegmentWriteFailed1) + "\n" + Block(tb::kSegmentWriteFailed2)));
  EXPECT_FALSE(Exists(Segment(0, v1)));  // the header alone did not stay behind
  EXPECT_EQ(SizeOf(Segment(0, v2)), 1024 + 700);
  ASSERT_TRUE(Join(Segment(0, v2)));
  EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
}

TEST_F(SplitJoin, CancelAtTheFailedCopyPromptDeletesThePartSegment) {
  ctx.freeSpace = [](const std::string&) { return std::int64_t{100}; };
  ui.volumes.push_back({false, "", nullptr});
  EXPECT_FALSE(Split(PatternBytes(700), 0, true));
  EXPECT_TRUE(ui.Showed(Block(tb::kSplitCancelled)));
  EXPECT_FALSE(Exists(Segment(0)));
  EXPECT_EQ(ReadFile(source), PatternBytes(700));
}

TEST_F(SplitJoin, CancelAtTheNextVolumePromptKeepsWrittenSegments) {
  ctx.freeSpace = [](const std::string&) { return std::int64_t{2000}; };
  ui.volumes.push_back({false, "", nullptr});
  EXPECT_FALSE(Split(PatternBytes(5000), 0, true));
  EXPECT_TRUE(ui.Showed(Block(tb::kSplitCancelled)));
  EXPECT_EQ(SizeOf(Segment(0)), 2000);
}

// What someone else may have put under a segment's name in a shared folder is never written
// through: the file behind it stays as it was, and the segment stands there on its own.
TEST_F(SplitJoin, NothingPlantedUnderASegmentNameIsWrittenThrough) {
  struct Case {
    const char* what;
    int segment;
    bool victimExists;
    bool hardLink;
  };
  const Case cases[] = {
      {"link to a file, first segment", 0, true, false},
      {"link to a file, later segment", 2, true, false},
      {"link to where no file is yet", 1, false, false},
      {"second name of another file", 1, true, true},
  };
  const std::string bytes = PatternBytes(5000);
  const std::string victim = dir / "victim";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui.messages.clear();
    std::remove(victim.c_str());
    if (c.victimExists) WriteFile(victim, "not yours");
    const std::string planted = Segment(c.segment);
    std::remove(planted.c_str());
    ASSERT_EQ(c.hardLink ? ::link(victim.c_str(), planted.c_str())
                         : ::symlink(victim.c_str(), planted.c_str()),
              0);
    ASSERT_TRUE(Split(bytes, 2000));
    if (c.victimExists)
      EXPECT_EQ(ReadFile(victim), "not yours");
    else
      EXPECT_FALSE(Exists(victim));
    struct stat st {};
    ASSERT_EQ(::lstat(planted.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_nlink, 1u);
    // A replaced link is said, with the segment's name.
    EXPECT_EQ(ui.Showed(Block(tb::kSegmentLinkReplaced) + " \"" + planted + "\""), !c.hardLink);
    std::remove((back + "/joined.bin").c_str());  // joins replace only when asked
    ASSERT_TRUE(Join(Segment(0)));
    EXPECT_EQ(ReadFile(back + "/joined.bin"), bytes);
  }
}

TEST_F(SplitJoin, LinkThatCannotBeRemovedStopsTheSplit) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser may remove anything";
  // A folder where nothing can be removed: the first segment's file of an earlier split is
  // written again in place, the link after it stays and is not followed.
  const std::string victim = dir / "victim";
  WriteFile(victim, "not yours");
  WriteFile(Segment(0), "an earlier first segment");
  ASSERT_EQ(::symlink(victim.c_str(), Segment(1).c_str()), 0);
  ASSERT_EQ(::chmod(out.c_str(), 0555), 0);
  try {
    Split(PatternBytes(5000), 2000);
    ADD_FAILURE() << "the split went on";
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(Block(tb::kSegmentLinkKept) + " \"" + Segment(1), 0), 0u)
        << e.what();
  }
  ::chmod(out.c_str(), 0755);
  EXPECT_EQ(ReadFile(victim), "not yours");
}

TEST_F(SplitJoin, ThousandAndFirstAutomaticSegmentGetsFourDigits) {
  // One byte of room on every volume: 1001 segments for 1001 bytes.
  int calls = 0;
  ctx.freeSpace = [&](const std::string&) { return std::int64_t{calls++ == 0 ? 1025 : 1}; };
  for (int i = 0; i < 1000; ++i) ui.volumes.push_back({true, "", nullptr});
  const std::string data = PatternBytes(1001);
  ASSERT_TRUE(Split(data, 0, true));
  EXPECT_TRUE(Exists(out + "/source.bin.PZX1000"));
  EXPECT_EQ(SizeOf(out + "/source.bin.PZX1000"), 1);
  EXPECT_FALSE(Exists(out + "/source.bin.PZX1001"));
}

TEST_F(SplitJoin, SizeOfAnUnreadableFileIsReportedAsZero) {
  EXPECT_EQ(Dateigroesse_Ermitteln(dir / "missing.bin", ctx), 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, Block(73) + " \"missing.bin\" " + Block(74) + Block(75));
  EXPECT_EQ(ui.messages[0].icon, MsgIcon::Error);
}

TEST_F(SplitJoin, CompressedSplitWithoutUnpackerFailsAfterJoiningTheArchive) {
  source = dir / "packed.bin";
  const std::string data = PatternBytes(3000);
  WriteFile(source, data);
  SplitJob job{source, source, true, false, out, "packed.bin", 2048, false};
  ASSERT_TRUE(Datei_Trennen(job, ctx));
  // An archive left readable by others is made the owner's alone before the data goes in.
  const std::string archive = ctx.programmPfad + "/temp_parzello/temp.pzx";
  WriteFile(archive, "older");
  ASSERT_EQ(::chmod(archive.c_str(), 0644), 0);
  // The file unpacking would make exists, under the target name or under the stored name only.
  for (const std::string& target : {std::string("packed.bin"), std::string("other.bin")}) {
    SCOPED_TRACE(target);
    ui.messages.clear();
    WriteFile(back + "/packed.bin", "exists");
    EXPECT_FALSE(Trennsegmente_Zusammenfuehren({out + "/packed.bin.PZX000", back, target}, ctx));
    EXPECT_TRUE(ui.Showed(Block(tb::kUnpackTargetExists) + " \"" + back + "/packed.bin\""));
    EXPECT_EQ(ReadFile(back + "/packed.bin"), "exists");
    // The whole split was joined into the temporary archive first.
    EXPECT_EQ(ReadFile(archive), data);
    struct stat st {};
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
}

// A full volume for real: a file-size limit in a child process. After the failed copy the
// script lifts the limit and names another folder; the same segment is written there in full.
TEST_F(SplitJoin, FullVolumeRewritesTheSegmentOnTheNextVolume) {
  const std::string data = PatternBytes(1000000);
  source = dir / "source.bin";
  WriteFile(source, data);
  const std::string v2 = dir.Sub("v2");
  const std::int64_t segment = PresetBytes(SizePreset::Floppy720);

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    IgnoreFileSizeSignal();
    rlimit lim{};
    getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = 500000;
    setrlimit(RLIMIT_FSIZE, &lim);
    test::ScriptedInteraction childUi;
    childUi.volumes.push_back({true, v2, [] {
                                 rlimit l{};
                                 getrlimit(RLIMIT_FSIZE, &l);
                                 l.rlim_cur = l.rlim_max;
                                 setrlimit(RLIMIT_FSIZE, &l);
                               }});
    EngineContext childCtx(childUi, texts, ctx.programmPfad);
    SplitJob job{source, source, false, false, out, "source.bin", segment, false};
    const bool ok = Datei_Trennen(job, childCtx);
    const bool prompted = childUi.Showed(Block(tb::kSegmentWriteFailed1));
    _exit(ok && prompted ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);

  // The part written on the full volume went, so a join started there cannot read it.
  EXPECT_FALSE(Exists(Segment(0)));
  EXPECT_EQ(SizeOf(Segment(0, v2)), segment);
  EXPECT_EQ(SizeOf(Segment(1, v2)), 1000000 + 1024 - segment);
  ASSERT_TRUE(Join(Segment(0, v2)));
  EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
}

// Sets that passed through systems that change case: found in any case, asked for by the name
// that exists, checked against the checksum file the split wrote.
TEST_F(SplitJoin, LowerCaseSetJoinsAndIsAskedForInItsOwnCase) {
  const std::string data = PatternBytes(10000);
  ASSERT_TRUE(Split(data, 3000));
  const auto lower = [](std::string path) {
    for (std::size_t i = path.size() - 6; i < path.size(); ++i)
      path[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(path[i])));
    return path;
  };
  for (int n = 0; n < 4; ++n)
    ASSERT_EQ(std::rename(Segment(n).c_str(), lower(Segment(n)).c_str()), 0);
  ASSERT_EQ(std::rename((out + "/source.bin.PZX.sha256").c_str(),
                        (out + "/source.bin.pzx.sha256").c_str()),
            0);
  JoinReport report;
  ASSERT_TRUE(Trennsegmente_Zusammenfuehren({lower(Segment(0)), back, "joined.bin"}, ctx, &report));
  EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
  EXPECT_EQ(report.verdict, Verdict::Verified);
  EXPECT_TRUE(Trennsegmente_Pruefen(lower(Segment(0)), ctx).allGood);

  // The last segments on another volume: the prompt names the missing one as the set does.
  const std::string elsewhere = dir.Sub("stick2");
  for (int n : {2, 3})
    ASSERT_EQ(std::rename(lower(Segment(n)).c_str(), lower(Segment(n, elsewhere)).c_str()), 0);
  ui.volumes.push_back({true, lower(Segment(2, elsewhere)), nullptr});
  ASSERT_TRUE(Join(lower(Segment(0)), "again.bin"));
  ASSERT_EQ(ui.volumePrompts.size(), 1u);
  EXPECT_EQ(ui.volumePrompts[0], lower(Segment(2)));
  EXPECT_EQ(ReadFile(back + "/again.bin"), data);
}

// A stop asked for in the middle of a segment (Ctrl-C, Cancel in the window) leaves the segments
// written whole and no part of the one under way.
TEST_F(SplitJoin, StopInTheMiddleOfASegmentLeavesNoPartOfIt) {
  struct Stopping : test::ScriptedInteraction {
    void Progress(std::int64_t done, std::int64_t) override {
      if (done > 5000) throw EngineError("stopped");
    }
  } stopping;
  EngineContext stopCtx(stopping, texts, ctx.programmPfad);
  source = dir / "source.bin";
  WriteFile(source, PatternBytes(20000));
  const SplitJob job{source, source, false, false, out, "source.bin", 4000, false};
  EXPECT_THROW(Datei_Trennen(job, stopCtx), EngineError);
  EXPECT_EQ(SizeOf(Segment(0)), 4000);  // 2976 bytes of data: written whole before the stop
  EXPECT_FALSE(Exists(Segment(1)));     // under way when the data passed 5000 bytes
  EXPECT_EQ(ReadFile(source), PatternBytes(20000));
}

// A join never replaces a file unless asked to; the refusal comes before the password.
TEST_F(SplitJoin, ExistingTargetIsReplacedOnlyWhenAsked) {
  const std::string data = PatternBytes(5000);
  ui.passwords.push_back("pw");
  ASSERT_TRUE(Split(data, 3000));
  WriteFile(back + "/joined.bin", "older");
  const int prompts = ui.passwordPrompts;
  EXPECT_FALSE(Join(Segment(0)));
  EXPECT_TRUE(ui.Showed(Block(tb::kTargetExists) + " \"" + back + "/joined.bin\""));
  EXPECT_EQ(ui.passwordPrompts, prompts);
  EXPECT_EQ(ReadFile(back + "/joined.bin"), "older");

  ui.passwords2.push_back("pw");
  JoinJob job{Segment(0), back, "joined.bin", true};
  ASSERT_TRUE(Trennsegmente_Zusammenfuehren(job, ctx));
  EXPECT_EQ(ReadFile(back + "/joined.bin"), data);
}

}  // namespace
}  // namespace pz
