// Splits and joins that end early: a bad disk, a full volume, a missing or unreadable segment, a
// cancelled prompt, a killed process. The source is never lost or changed, no failure is
// reported as success, and what ended early can be done again.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "lang/language.h"
#include "lang/textblocks.h"
#include "test_support.h"

namespace pz {
namespace {

using test::Exists;
using test::PatternBytes;
using test::ReadFile;
using test::SizeOf;
using test::WriteFile;

class Faults : public ::testing::Test {
 protected:
  void SetUp() override { WriteFile(source, data); }

  // Runs parzello-cli with the fault layer: op on paths containing path.
  test::ProcessResult Run(const std::vector<std::string>& args, const std::string& op = "",
                          const std::string& path = "", const std::string& after = "0",
                          const std::string& err = "EIO", const std::string& input = "",
                          int killAfterMs = 0) {
    test::ProcessOptions o;
    o.input = input;
    o.cwd = dir.path();
    o.killAfterMs = killAfterMs;
    o.env = {{"LANG", "C"}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}};
    if (!op.empty()) {
      o.env.push_back({"LD_PRELOAD", PZ_FAULTFS});
      o.env.push_back({"ASAN_OPTIONS", "verify_asan_link_order=0"});
      o.env.push_back({"PZ_FAULT_OP", op});
      o.env.push_back({"PZ_FAULT_PATH", path});
      o.env.push_back({"PZ_FAULT_AFTER", after});
      o.env.push_back({"PZ_FAULT_ERRNO", err});
      o.env.push_back({"PZ_FAULT_DELAY_US", "3000"});
    }
    return test::RunProcess(PZ_CLI, args, o);
  }

  std::string Text(tb::Block block) {
    TPXLanguage lang;
    lang.SetPath(std::string(PZ_PROGRAM_DIR) + "/language_parzello");
    lang.SetFileName("English.lng");
    return lang.GetText(block);
  }

  bool Says(const test::ProcessResult& r, tb::Block block) {
    return r.err.find(Text(block)) != std::string::npos;
  }

  void ExpectSourceIntact() {
    ASSERT_TRUE(Exists(source));
    EXPECT_EQ(ReadFile(source), data);
  }

  test::TempDir dir;
  std::string data = PatternBytes(1000000);
  std::string source = dir / "film.avi";
  std::string stick = dir.Sub("stick");
  std::string home = dir.Sub("home");
  std::string first = stick + "/film.avi.PZX000";
};

TEST_F(Faults, ReadErrorInTheMiddleOfTheSource) {
  const auto r = Run({"split", source, "--to", stick, "--size", "360K", "--delete-source"}, "read",
                     "film.avi", "500000");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Says(r, tb::kReadFailed));
  EXPECT_FALSE(Says(r, tb::kSplitDone));
  ExpectSourceIntact();
  // Segments written whole stay; the one under way at the failure went with it.
  for (const char* n : {"0", "1", "2"}) {
    const std::string segment = stick + "/film.avi.PZX00" + n;
    if (Exists(segment)) {
      EXPECT_EQ(SizeOf(segment), 362496) << segment;
    }
  }
  // Done again on a good disk, the split completes and joins back.
  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "360K"}).status, 0);
  ASSERT_EQ(Run({"join", first, "--to", home}).status, 0);
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
}

TEST_F(Faults, FullVolumeThenAnotherFolderOrCancel) {
  const std::string stick2 = dir.Sub("stick2");
  auto r = Run({"split", source, "--to", stick, "--size", "720K"}, "write", "stick/", "200000",
               "ENOSPC", stick2 + "\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Says(r, tb::kSegmentWriteFailed1));
  EXPECT_EQ(SizeOf(stick2 + "/film.avi.PZX000"), 730112);
  // The part on the full volume went: a join started there would read it.
  EXPECT_FALSE(Exists(first));
  EXPECT_FALSE(Says(r, tb::kPartSegmentKept));
  ASSERT_EQ(Run({"join", stick2 + "/film.avi.PZX000", "--to", home}).status, 0);
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
  // The segment written twice counts once in the whole file's line too, as coreutils sees it.
  test::ProcessOptions o;
  o.cwd = home;
  const test::ProcessResult sums =
      test::RunProcess("/usr/bin/sha256sum", {"-c", stick2 + "/film.avi.PZX.sha256"}, o);
  EXPECT_NE(sums.out.find("film.avi: OK"), std::string::npos) << sums.out << sums.err;

  // Cancelled at the prompt: the partly written segment goes, the source stays.
  const std::string stick3 = dir.Sub("stick3");
  r = Run({"split", source, "--to", stick3, "--size", "720K", "--delete-source"}, "write",
          "stick3/", "200000", "ENOSPC", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Says(r, tb::kSplitCancelled));
  EXPECT_TRUE(Says(r, tb::kSplitFailed));
  EXPECT_FALSE(Exists(stick3 + "/film.avi.PZX000"));
  ExpectSourceIntact();
}

// A part that cannot be removed from the full volume is named in the closing message.
TEST_F(Faults, PartSegmentThatCannotBeRemovedIsNamed) {
  const std::string stick2 = dir.Sub("stick2");
  const auto r = Run({"split", source, "--to", stick, "--size", "720K"}, "write+unlink", "stick/",
                     "200000", "ENOSPC", stick2 + "\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Says(r, tb::kSplitDone));
  EXPECT_NE(r.err.find(Text(tb::kPartSegmentKept) + " \"" + first + "\""), std::string::npos)
      << r.err;
}

TEST_F(Faults, DiskErrorWhileWritingASegmentIsNotAFullVolumeButStillAsks) {
  // A failed header write ends the split; end of input cancels.
  auto r =
      Run({"split", source, "--to", stick, "--size", "720K"}, "write", "stick/", "1000", "EIO", "");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(Says(r, tb::kSplitDone));
  ExpectSourceIntact();

  // Any failed write of segment data leads to the volume prompt: the segment is written again
  // in full on the volume given there, and the set joins.
  const std::string stick2 = dir.Sub("stick2");
  r = Run({"split", source, "--to", stick, "--size", "720K"}, "write", "stick/", "200000", "EIO",
          stick2 + "\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Says(r, tb::kSegmentWriteFailed1));
  EXPECT_EQ(SizeOf(stick2 + "/film.avi.PZX000"), 730112);
  ASSERT_EQ(Run({"join", stick2 + "/film.avi.PZX000", "--to", home}).status, 0);
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
}

TEST_F(Faults, UnreadableFilesAreSaidOnceAndNotAsSomethingElse) {
  auto r =
      Run({"split", source, "--to", stick, "--size", "360K"}, "open", "film.avi", "0", "EACCES");
  EXPECT_EQ(r.status, 1);
  const std::string unreadable = Text(tb::kReadFailed);
  ASSERT_TRUE(Says(r, tb::kReadFailed)) << r.err;
  EXPECT_EQ(r.err.find(unreadable), r.err.rfind(unreadable));
  EXPECT_FALSE(Says(r, tb::kSizeUnreadable1));
  EXPECT_FALSE(Exists(first));

  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "360K"}).status, 0);
  for (const char* command : {"info", "join"}) {
    r = Run({command, first}, "open", ".PZX000", "0", "EACCES");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Says(r, tb::kReadFailed)) << command;
    EXPECT_FALSE(Says(r, tb::kNotAFirstSegment)) << command;
  }
}

TEST_F(Faults, SourceThatCannotBeDeletedIsReported) {
  const auto r = Run({"split", source, "--to", stick, "--size", "360K", "--delete-source"},
                     "unlink", "film.avi", "0", "EROFS");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Says(r, tb::kSplitDone));
  EXPECT_TRUE(Says(r, tb::kSourceNotDeleted));
  EXPECT_NE(r.err.find("Read-only file system"), std::string::npos) << r.err;
  ExpectSourceIntact();
  ASSERT_EQ(Run({"join", first, "--to", home}).status, 0);
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
}

TEST_F(Faults, UnreadableOrMissingSegments) {
  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "360K"}).status, 0);
  WriteFile(home + "/film.avi", "an older file of that name");
  // Replacing allowed: what is checked is that a failed join keeps the file it would replace.
  auto r = Run({"join", first, "--to", home, "--overwrite"}, "open", ".PZX001", "0", "EACCES");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Says(r, tb::kReadFailed));
  EXPECT_FALSE(Says(r, tb::kJoinDone));

  r = Run({"join", first, "--to", home, "--overwrite"}, "read", ".PZX002", "1000");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Says(r, tb::kReadFailed));
  // The failed joins kept nothing of their own and left the older file as it was.
  EXPECT_TRUE(Says(r, tb::kJoinResultRemoved));
  EXPECT_EQ(ReadFile(home + "/film.avi"), "an older file of that name");
  EXPECT_EQ(std::filesystem::directory_iterator(home)->path(), home + "/film.avi");
  std::remove((home + "/film.avi").c_str());

  r = Run({"join", first, "--to", home}, "open", ".PZX000", "0", "EACCES");
  EXPECT_EQ(r.status, 1);

  // Nothing was lost: the segments join once they can be read.
  ASSERT_EQ(Run({"join", first, "--to", home}).status, 0);
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
}

// Segments rebuilt from the recovery files go beside the target when their own folder is
// read-only, and the join takes them from there.
TEST_F(Faults, SegmentRebuiltBesideTheTargetWhenItsFolderIsReadOnly) {
  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "360K", "--recovery", "40"}).status, 0);
  ASSERT_EQ(std::remove((stick + "/film.avi.PZX001").c_str()), 0);
  const auto r = Run({"join", first, "--to", home}, "access", "stick", "0", "EROFS");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
  EXPECT_TRUE(Exists(home + "/film.avi.PZX001"));
  EXPECT_FALSE(Exists(stick + "/film.avi.PZX001"));
  EXPECT_TRUE(Says(r, tb::kJoinVerified)) << r.err;
}

// Plain and encrypted: an encrypted set is decrypted and written on a thread of its own, which
// must hand its failures back.
TEST_F(Faults, WriteOrReadErrorWhileJoining) {
  WriteFile(dir / "pw", "secret\n");
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "encrypted" : "plain");
    std::filesystem::remove_all(stick);
    std::filesystem::create_directory(stick);
    std::vector<std::string> pass;
    if (encrypted) pass = {"--password-file", dir / "pw"};
    auto with = [&](std::vector<std::string> args) {
      args.insert(args.end(), pass.begin(), pass.end());
      return args;
    };
    ASSERT_EQ(Run(with({"split", source, "--to", stick, "--size", "360K"})).status, 0);
    auto r = Run(with({"join", first, "--to", home}), "write", "home/", "100000", "ENOSPC");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Says(r, tb::kOutputWriteFailed)) << r.err;
    EXPECT_FALSE(Says(r, tb::kJoinDone));
    r = Run(with({"join", first, "--to", home}), "read", ".PZX002", "1000");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Says(r, tb::kReadFailed)) << r.err;
    EXPECT_FALSE(Exists(home + "/film.avi"));
    ASSERT_EQ(Run(with({"join", first, "--to", home})).status, 0);
    EXPECT_EQ(ReadFile(home + "/film.avi"), data);
    std::filesystem::remove(home + "/film.avi");
  }
}

TEST_F(Faults, DataThatLandsOutOfPlaceInTheJoinedFileIsCaught) {
  // Every segment is sound and matches its line; only the copy puts bytes at the wrong place.
  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "360K"}).status, 0);
  const std::int64_t firstData = 362496 - 1024;
  for (const std::int64_t at : {firstData, firstData / 3, firstData + 362496 + 5}) {
    SCOPED_TRACE(at);
    const auto r = Run({"join", first, "--to", home}, "skip", "home/", std::to_string(at));
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Says(r, tb::kWholeHashDiffers)) << r.err;
    EXPECT_FALSE(Says(r, tb::kJoinDone));
    EXPECT_FALSE(Exists(home + "/film.avi"));
  }
  ASSERT_EQ(Run({"join", first, "--to", home}).status, 0);
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
}

TEST_F(Faults, KilledInTheMiddleOfASplitAndOfAJoin) {
  data = PatternBytes(30 * 1000 * 1000);
  WriteFile(source, data);
  auto r = Run({"split", source, "--to", stick, "--size", "100M"}, "slow", "stick/", "0", "EIO", "",
               300);
  EXPECT_EQ(r.signal, SIGKILL);
  ExpectSourceIntact();
  // The interrupted set shows as incomplete, never as a whole file.
  EXPECT_EQ(Run({"info", first}).status, 1);
  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "100M"}).status, 0);
  EXPECT_EQ(Run({"info", first}).status, 0);

  r = Run({"join", first, "--to", home}, "slow", "home/", "0", "EIO", "", 300);
  EXPECT_EQ(r.signal, SIGKILL);
  EXPECT_FALSE(Exists(home + "/film.avi"));  // the unfinished file never has the final name
  ASSERT_EQ(Run({"join", first, "--to", home}).status, 0);
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
}

// Packing and unpacking that fail say why, as the copy does: a full disk, a folder that cannot
// be written, a disk that cannot keep the data, a source that cannot be read.
TEST_F(Faults, PackingAndUnpackingFailuresNameTheCause) {
  ASSERT_EQ(Run({"split", source, "--to", stick, "--compress", "weak"}).status, 0);
  struct Case {
    std::vector<std::string> args;
    const char* op;
    const char* path;
    const char* err;
    tb::Block said;
    std::string cause;
  };
  const std::vector<Case> cases = {
      {{"join", first, "--to", home},
       "write",
       ".pzx-unpack-",
       "ENOSPC",
       tb::kUnpackFailed,
       "Cannot write: film.avi: No space left on device"},
      {{"join", first, "--to", home},
       "open",
       ".pzx-unpack-",
       "EACCES",
       tb::kUnpackFailed,
       "Cannot create: film.avi: Permission denied"},
      {{"join", first, "--to", home},
       "fsync",
       ".pzx-unpack-",
       "EIO",
       tb::kUnpackFailed,
       "Cannot write: film.avi: Input/output error"},
      {{"split", source, "--to", dir.Sub("packed"), "--compress", "weak"},
       "write",
       "temp-",
       "ENOSPC",
       tb::kPackFailed,
       "No space left on device"},
      {{"split", source, "--to", dir.Sub("packed"), "--compress", "strong", "--delete-source"},
       "read",
       "film.avi",
       "EIO",
       tb::kPackFailed,
       "Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + c.path);
    std::remove((dir / "packed/film.avi.PZX000").c_str());
    const auto r = Run(c.args, c.op, c.path, "1000", c.err);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(Text(c.said) + "\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.cause), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(home + "/film.avi"));
    EXPECT_FALSE(Exists(dir / "packed/film.avi.PZX000"));
    ExpectSourceIntact();
  }
}

// Files in folder whose names start with prefix.
std::vector<std::string> Named(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(prefix, 0) == 0) found.push_back(name);
  }
  return found;
}

// SIGTERM while packing and while unpacking: the command fails and leaves none of its files;
// files of runs that were killed outright go with the next run.
TEST_F(Faults, SignalsEndTheRunWithoutLeftovers) {
  const std::string temp = std::string(PZ_PROGRAM_DIR) + "/temp_parzello";
  data = PatternBytes(6 * 1000 * 1000);
  WriteFile(source, data);
  auto run = [&](const std::vector<std::string>& args, const std::string& op,
                 const std::string& path, const std::string& watched,
                 const std::function<std::string(int)>& prefix,
                 const std::string& delayUs = "2000") {
    test::ProcessOptions o;
    o.cwd = dir.path();
    o.env = {{"LANG", "C"},
             {"LC_ALL", ""},
             {"LC_MESSAGES", ""},
             {"LD_PRELOAD", PZ_FAULTFS},
             {"PZ_FAULT_OP", op},
             {"PZ_FAULT_PATH", path},
             {"PZ_FAULT_DELAY_US", delayUs},
             {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
    o.killSignal = SIGTERM;
    // Stopped while its partial file exists: certainly in the middle of the work.
    int child = 0;
    o.killWhen = [&](int pid) {
      child = pid;
      return !Named(watched, prefix(pid)).empty();
    };
    auto r = test::RunProcess(PZ_CLI, args, o);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Says(r, tb::kCancelledBySignal)) << r.err;
    return "temp-" + std::to_string(child) + ".pzx";
  };
  // The archive library's partial archive appears once packing writes.
  auto pid = [](const char* before, const char* after) {
    return [=](int p) { return before + std::to_string(p) + after; };
  };
  std::string own = run({"split", source, "--to", stick, "--compress", "weak", "--delete-source"},
                        "slowread", "film.avi", temp, pid("temp-", ".pzx."));
  EXPECT_TRUE(Named(temp, own).empty());
  EXPECT_FALSE(Exists(first));
  ExpectSourceIntact();

  // Stopped after the last segment, while the checksum file is written: the split is not
  // counted as done, so the source stays.
  run(
      {"split", source, "--to", dir.Sub("late"), "--size", "1.44M", "--delete-source"}, "slow",
      ".PZX.sha256.partial-", dir / "late",
      [](int) { return std::string("film.avi.PZX.sha256.partial-"); }, "400000");
  ExpectSourceIntact();

  ASSERT_EQ(Run({"split", source, "--to", stick, "--compress", "weak"}).status, 0);
  own = run({"join", first, "--to", home}, "slow", ".pzx-unpack-", home, pid(".pzx-unpack-", "-"));
  EXPECT_TRUE(Named(home, "").empty());
  EXPECT_TRUE(Named(temp, own).empty());

  // A run killed outright: its files carry a process id that no longer runs.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string dead = temp + "/temp-" + std::to_string(gone) + ".pzx";
  const std::string alive = temp + "/temp-" + std::to_string(getpid()) + ".pzx";
  for (const auto& f : {dead, dead + ".x7Yq2B", alive}) WriteFile(f, "left over");
  EXPECT_EQ(Run({"split", source, "--to", home}).status, 0);
  EXPECT_FALSE(Exists(dead));
  EXPECT_FALSE(Exists(dead + ".x7Yq2B"));
  EXPECT_TRUE(Exists(alive));  // its process still runs
  std::remove(alive.c_str());

  // The unpacking engine's hidden file in the target folder goes the same way.
  const std::string target = dir.Sub("target");
  const std::string deadUnpack = target + "/.pzx-unpack-" + std::to_string(gone) + "-1";
  const std::string liveUnpack = target + "/.pzx-unpack-" + std::to_string(getpid()) + "-1";
  const std::string notOurs = target + "/.pzx-unpack-notes";
  for (const auto& f : {deadUnpack, liveUnpack, notOurs}) WriteFile(f, "left over");
  ASSERT_EQ(Run({"join", first, "--to", target}).status, 0);
  EXPECT_EQ(ReadFile(target + "/film.avi"), data);
  EXPECT_FALSE(Exists(deadUnpack));
  EXPECT_TRUE(Exists(liveUnpack));
  EXPECT_TRUE(Exists(notOurs));
}

// A split stopped by a signal leaves no part of a set: the segments it wrote go, by name. A
// second signal right after the first ends the run at once, and still leaves no part of the
// temporary archive behind.
TEST_F(Faults, StoppedSplitRemovesItsSegmentsAndTwoSignalsLeaveNoArchive) {
  const std::string temp = std::string(PZ_PROGRAM_DIR) + "/temp_parzello";
  data = PatternBytes(6 * 1000 * 1000);
  WriteFile(source, data);
  WriteFile(stick + "/film.avi.PZX005", "a segment of an earlier split, not of this run");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string op;
    std::function<bool(int pid)> when;
    int second;  // a second signal right after SIGTERM
  };
  const Case cases[] = {
      {"one signal while cutting",
       {"split", source, "--to", stick, "--size", "1.44M"},
       "slow",
       [&](int) { return Exists(stick + "/film.avi.PZX001"); },
       0},
      {"two signals while packing",
       {"split", source, "--to", stick, "--compress", "weak"},
       "slowread",
       [&](int pid) { return !Named(temp, "temp-" + std::to_string(pid) + ".pzx.").empty(); },
       SIGINT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ProcessOptions o;
    o.cwd = dir.path();
    o.env = {{"LANG", "C"},
             {"LC_ALL", ""},
             {"LC_MESSAGES", ""},
             {"LD_PRELOAD", PZ_FAULTFS},
             {"PZ_FAULT_OP", c.op},
             {"PZ_FAULT_PATH", c.op == "slow" ? "stick/" : "film.avi"},
             {"PZ_FAULT_DELAY_US", "2000"},
             {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
    o.killSignal = SIGTERM;
    o.thenSignal = c.second;
    int child = 0;
    o.killWhen = [&](int pid) {
      child = pid;
      return c.when(pid);
    };
    const auto r = test::RunProcess(PZ_CLI, c.args, o);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(Named(stick, "film.avi.PZX"), std::vector<std::string>{"film.avi.PZX005"});
    EXPECT_TRUE(Named(temp, "temp-" + std::to_string(child) + ".pzx").empty());
    if (c.second == 0) {
      EXPECT_NE(r.err.find(Text(tb::kSplitSegmentsRemoved) + " \"" + stick + "/film.avi.PZX000\""),
                std::string::npos)
          << r.err;
    }
    ExpectSourceIntact();
  }
}

TEST_F(Faults, ExistingFilesBesideTheTargetAreNotTouched) {
  WriteFile(stick + "/notes.txt", "keep me");
  WriteFile(stick + "/film.avi.PZX000.bak", "keep me too");
  const auto r = Run({"split", source, "--to", stick, "--size", "360K"}, "read", "film.avi", "100");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ReadFile(stick + "/notes.txt"), "keep me");
  EXPECT_EQ(ReadFile(stick + "/film.avi.PZX000.bak"), "keep me too");
}

}  // namespace
}  // namespace pz
