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
    r = Run({command, first, "--to", home}, "open", ".PZX000", "0", "EACCES");
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

TEST_F(Faults, WriteErrorOnTheJoinedFile) {
  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "360K"}).status, 0);
  const auto r = Run({"join", first, "--to", home}, "write", "home/", "100000", "ENOSPC");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Says(r, tb::kOutputWriteFailed));
  EXPECT_FALSE(Says(r, tb::kJoinDone));
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
                 const std::function<std::string(int)>& prefix) {
    test::ProcessOptions o;
    o.cwd = dir.path();
    o.env = {{"LANG", "C"},
             {"LC_ALL", ""},
             {"LC_MESSAGES", ""},
             {"LD_PRELOAD", PZ_FAULTFS},
             {"PZ_FAULT_OP", op},
             {"PZ_FAULT_PATH", path},
             {"PZ_FAULT_DELAY_US", "2000"},
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
