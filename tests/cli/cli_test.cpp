// The command-line program as a user runs it: a child process, scripted standard input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/header.h"
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

using Result = test::ProcessResult;

class Cli : public ::testing::Test {
 protected:
  Result Run(const std::vector<std::string>& args, const std::string& input = "",
             const std::string& lang = "C") {
    test::ProcessOptions o;
    o.input = input;
    o.cwd = dir.path();
    o.env = {{"LANG", lang}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}};
    return test::RunProcess(PZ_CLI, args, o);
  }

  std::string Text(const char* file, tb::Block block) {
    TPXLanguage lang;
    lang.SetPath(std::string(PZ_PROGRAM_DIR) + "/language_parzello");
    lang.SetFileName(file);
    return lang.GetText(block);
  }

  test::TempDir dir;
  std::string data = PatternBytes(1000000);
  std::string source = dir / "film.avi";
  std::string stick = dir.Sub("stick");
  std::string home = dir.Sub("home");
  void SetUp() override { WriteFile(source, data); }
};

// The browser page goes beside the checksum file only when asked for, and info says how a
// recipient without Parzello uses it.
TEST_F(Cli, WithJoinerWritesThePageBesideTheChecksumFile) {
  const std::string page = std::string(PZ_PROGRAM_DIR) + "/web_parzello/parzello-join.html";
  const std::string other = dir.Sub("other");
  for (const bool asked : {false, true}) {
    const std::string to = asked ? stick : other;
    std::vector<std::string> args = {"split", "film.avi", "--to", to, "--size", "360K"};
    if (asked) args.emplace_back("--with-joiner");
    const Result r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Exists(to + "/parzello-join.html"), asked);
    EXPECT_EQ(r.err.find(Text("English.lng", tb::kJoinerWritten)) != std::string::npos, asked);
  }
  EXPECT_EQ(ReadFile(stick + "/parzello-join.html"), ReadFile(page));
  EXPECT_TRUE(Exists(stick + "/film.avi.PZX.sha256"));
  const Result r = Run({"info", stick + "/film.avi.PZX000"});
  EXPECT_NE(r.out.find(Text("English.lng", tb::kInfoJoiner)), std::string::npos);
}

TEST_F(Cli, SplitInfoJoinRoundTrip) {
  Result r = Run({"split", "film.avi", "--to", "stick", "--size", "360K"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(SizeOf(stick + "/film.avi.PZX000"), 362496);
  EXPECT_EQ(SizeOf(stick + "/film.avi.PZX002"), 1000000 + 1024 - 2 * 362496);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kSplitDone)), std::string::npos);

  r = Run({"info", stick + "/film.avi.PZX000"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("film.avi"), std::string::npos);
  EXPECT_NE(r.out.find("1000000 / 1000000"), std::string::npos);
  EXPECT_NE(r.out.find(stick + "/film.avi.PZX002"), std::string::npos);

  r = Run({"join", stick + "/film.avi.PZX000", "--to", home, "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
  EXPECT_TRUE(Exists(source));
}

TEST_F(Cli, DeleteSourceOnlyAfterSuccess) {
  Result r = Run({"split", source, "--to", stick, "--size", "100", "--delete-source"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Exists(source));
  r = Run({"split", source, "--to", stick, "--size", "1.44M", "--delete-source"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(Exists(source));
  r = Run({"join", stick + "/film.avi.PZX000", "--to", home});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
}

TEST_F(Cli, UsageErrorsAndHelp) {
  EXPECT_EQ(Run({}).status, 2);
  EXPECT_EQ(Run({"split"}).status, 2);
  EXPECT_EQ(Run({"split", "a", "b"}).status, 2);
  EXPECT_EQ(Run({"split", source, "--bogus"}).status, 2);
  EXPECT_EQ(Run({"split", source, "--to"}).status, 2);
  EXPECT_EQ(Run({"frobnicate", source}).status, 2);
  // Options of other commands are refused, not ignored.
  const std::vector<std::vector<std::string>> foreign = {
      {"info", "x.PZX000", "--to", stick},        {"info", "x.PZX000", "--password"},
      {"verify", "x.PZX000", "--name", "a"},      {"verify", "x.PZX000", "--password-file", "f"},
      {"verify", "x.PZX000", "--delete-source"},  {"join", "x.PZX000", "--size", "360K"},
      {"join", "x.PZX000", "--compress", "weak"}, {"info", "x.PZX000", "--size=100"},
  };
  for (const auto& args : foreign) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2) << args[0] << " " << args[2];
    EXPECT_NE(r.err.find(args[2].substr(0, args[2].find('=')) + " is not an option of " + args[0]),
              std::string::npos)
        << r.err;
  }
  EXPECT_EQ(Run({"info", "x.PZX000", "--quiet", "--lang", "English.lng"}).status, 1);
  Result r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("parzello-cli split SOURCE"), std::string::npos);
  EXPECT_NE(r.out.find("verify reads every segment"), std::string::npos);
  r = Run({"--version"});
  EXPECT_EQ(r.out, "parzello-cli 1.2\n");
}

TEST_F(Cli, WindowChecksWithTheirMessages) {
  Result r = Run({"split", "missing.bin", "--to", stick});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kSplitSourceMissing)), std::string::npos);
  WriteFile(dir / "big.bin", PatternBytes(1100000));
  r = Run({"split", dir / "big.bin", "--to", stick, "--size", "1025"});  // 1000 at the most
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kTooManySegments)), std::string::npos);
  EXPECT_FALSE(Exists(stick + "/big.bin.PZX000"));
  r = Run({"join", "missing.PZX000"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kJoinSegmentMissing)), std::string::npos);
}

// Every size from 1025 bytes to the largest the format holds; no false "more than 1000
// segments" past 2 GiB, and no text that is not a size becomes one.
TEST_F(Cli, EverySegmentSizeTheFormatHolds) {
  for (const char* size : {"3000000000", "4294967295", "9223372036854775807"}) {
    const Result r = Run({"split", source, "--to", stick, "--size", size});
    ASSERT_EQ(r.status, 0) << size << r.err;
    EXPECT_EQ(SizeOf(stick + "/film.avi.PZX000"), 1000000 + 1024) << size;
    EXPECT_FALSE(Exists(stick + "/film.avi.PZX001")) << size;
  }
  for (const char* size : {"1024", "0", "-5", "1M", "abc", "9223372036854775808", ""}) {
    const Result r = Run({"split", source, "--to", home, "--size", size});
    EXPECT_EQ(r.status, 2) << size;
    EXPECT_NE(r.err.find("from 1025 to 9223372036854775807"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Run({"split", source, "--to", home, "--size", "1025"}).status, 0);
  EXPECT_EQ(SizeOf(home + "/film.avi.PZX000"), 1025);
}

// A join never replaces a file without --overwrite; lower-case sets join and are listed, also
// when one piece kept its upper case.
TEST_F(Cli, JoinReplacesOnlyWhenAskedAndFindsLowerCaseSegments) {
  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "360K"}).status, 0);
  for (const char* n : {"0", "2"}) {
    std::filesystem::rename(stick + "/film.avi.PZX00" + n, stick + "/film.avi.pzx00" + n);
  }
  std::filesystem::rename(stick + "/film.avi.PZX.sha256", stick + "/film.avi.pzx.sha256");
  const std::string first = stick + "/film.avi.pzx000";
  WriteFile(home + "/film.avi", "older");
  Result r = Run({"join", first, "--to", home});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kTargetExists) + " \"" + home + "/film.avi\"\n" +
                       Text("English.lng", tb::kOverwriteHint)),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFile(home + "/film.avi"), "older");

  r = Run({"join", first, "--to", home, "--overwrite"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(Text("English.lng", tb::kJoinVerified)), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);

  r = Run({"info", first});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(stick + "/film.avi.PZX001"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(stick + "/film.avi.pzx002"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(stick + "/film.avi.pzx.sha256"), std::string::npos) << r.out;
  EXPECT_EQ(Run({"verify", first}).status, 0);
}

TEST_F(Cli, GermanMessagesFromTheEnvironmentOrOption) {
  Result r = Run({"split", source, "--to", stick}, "", "de_DE.UTF-8");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.err.find(Text("Deutsch.lng", tb::kSplitDone)), std::string::npos);
  r = Run({"info", stick + "/film.avi.PZX000", "--lang", "English.lng"}, "", "de_DE.UTF-8");
  EXPECT_NE(r.out.find(Text("English.lng", tb::kInfoDataSize)), std::string::npos);
}

TEST_F(Cli, PasswordFromFileAndFromTheTerminal) {
  WriteFile(dir / "pw.txt", "Geheim\n");
  Result r = Run({"split", source, "--to", stick, "--password-file", dir / "pw.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run({"join", stick + "/film.avi.PZX000", "--to", home}, "geheim\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kWrongPassword)), std::string::npos);
  EXPECT_FALSE(Exists(home + "/film.avi"));
  r = Run({"join", stick + "/film.avi.PZX000", "--to", home}, "Geheim\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);

  // Typed twice; a mismatch is asked again; the end of the input cancels before writing.
  const std::string other = dir.Sub("other");
  r = Run({"split", source, "--to", other, "--password"}, "one\ntwo\nzwei\nzwei\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(Text("English.lng", tb::kPasswordsDiffer)), std::string::npos);
  r = Run({"info", other + "/film.avi.PZX000"});
  EXPECT_NE(
      r.out.find(Text("English.lng", tb::kInfoPassword) + ": " + Text("English.lng", tb::kYes)),
      std::string::npos);
  EXPECT_EQ(r.out.find("zwei"), std::string::npos);  // never the password
  // Encrypted, and what a guess costs.
  EXPECT_NE(
      r.out.find(Text("English.lng", tb::kInfoEncrypted) + ": " + Text("English.lng", tb::kYes) +
                 " (" + Text("English.lng", tb::kInfoEncryptedKind) + ", " +
                 Text("English.lng", tb::kInfoWorkFactor) + " 2^18)"),
      std::string::npos)
      << r.out;
  const std::string third = dir.Sub("third");
  r = Run({"split", source, "--to", third, "--password"}, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(Exists(third + "/film.avi.PZX000"));

  // A password file with an empty first line, or empty altogether, is refused as end of input
  // is, for either command; a file that cannot be read is said to be so.
  WriteFile(dir / "empty.txt", "\nGeheim\n");
  WriteFile(dir / "nothing.txt", "");
  struct PasswordFile {
    std::string path;
    tb::Block said;
    tb::Block notSaid;
  };
  for (const PasswordFile& f :
       {PasswordFile{dir / "empty.txt", tb::kPasswordFileEmpty, tb::kReadFailed},
        PasswordFile{dir / "nothing.txt", tb::kPasswordFileEmpty, tb::kReadFailed},
        PasswordFile{dir.Sub("folder"), tb::kReadFailed, tb::kPasswordFileEmpty}}) {
    r = Run({"split", source, "--to", third, "--password-file", f.path});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(Text("English.lng", f.said)), std::string::npos) << f.path << r.err;
    EXPECT_EQ(r.err.find(Text("English.lng", f.notSaid)), std::string::npos) << f.path << r.err;
    EXPECT_FALSE(Exists(third + "/film.avi.PZX000"));
  }
  r = Run(
      {"join", stick + "/film.avi.PZX000", "--to", third, "--password-file", dir / "empty.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(Exists(third + "/film.avi"));

  // The limit counts UTF-8 bytes: 600 Cyrillic letters take 1200 and are asked again, with the
  // limit in the message; 300 take 600 and are taken.
  std::string cyrillic30, cyrillic15;
  for (int i = 0; i < 600; ++i) cyrillic30 += "\xD0\xB6";
  for (int i = 0; i < 300; ++i) cyrillic15 += "\xD0\xB6";
  r = Run({"split", source, "--to", third, "--password"},
          cyrillic30 + "\n" + cyrillic15 + "\n" + cyrillic15 + "\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(Text("English.lng", tb::kPasswordLimit)), std::string::npos);
  EXPECT_NE(Text("English.lng", tb::kPasswordLimit).find("1024"), std::string::npos);
  r = Run({"join", third + "/film.avi.PZX000", "--to", home, "--name", "cyr.avi"},
          cyrillic15 + "\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(home + "/cyr.avi"), data);
  WriteFile(dir / "long.txt", cyrillic30 + "\n");
  r = Run({"split", source, "--to", dir.Sub("fourth"), "--password-file", dir / "long.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kPasswordLimit)), std::string::npos);
}

// A packed protected split packs first and encrypts the archive; the join decrypts and unpacks.
TEST_F(Cli, PackedProtectedSplitEncryptsTheArchive) {
  WriteFile(dir / "pw.txt", "Geheim\n");
  Result r = Run({"split", source, "--to", stick, "--size", "360K", "--compress", "strong",
                  "--password-file", dir / "pw.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string all;
  for (const char* ext : {".PZX000", ".PZX001"}) all += ReadFile(stick + "/film.avi" + ext);
  EXPECT_EQ(all.find("PK\x03\x04"), std::string::npos);  // no archive to be seen
  EXPECT_EQ(ReadFile(stick + "/film.avi.PZX.sha256").find("  film.avi\n"), std::string::npos);
  r = Run({"join", stick + "/film.avi.PZX000", "--to", home, "--password-file", dir / "pw.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
  EXPECT_EQ(Run({"verify", stick + "/film.avi.PZX000"}).status, 0);
}

TEST_F(Cli, VolumePromptsReadOneLineEach) {
  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "360K"}).status, 0);
  const std::string other = dir.Sub("stick2");
  for (const char* ext : {".PZX001", ".PZX002"}) {
    ASSERT_EQ(rename((stick + "/film.avi" + ext).c_str(), (other + "/film.avi" + ext).c_str()), 0);
  }
  Result r = Run({"info", stick + "/film.avi.PZX000"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(Text("English.lng", tb::kInfoIncomplete)), std::string::npos);

  // An empty line confirms the path shown (still missing), then a new path, relative to here,
  // naming the segment or the folder to look in; the same for verify.
  for (const char* answer : {"stick2/film.avi.PZX001", "stick2", "stick2/", "./stick2"}) {
    SCOPED_TRACE(answer);
    std::remove((home + "/film.avi").c_str());
    r = Run({"join", stick + "/film.avi.PZX000", "--to", home}, "\n" + std::string(answer) + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(home + "/film.avi"), data);
    EXPECT_NE(
        r.err.find(Text("English.lng", tb::kVolumeCaption) + ": " + stick + "/film.avi.PZX001"),
        std::string::npos);
    r = Run({"verify", stick + "/film.avi.PZX000"}, std::string(answer) + "\n");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(other + "/film.avi.PZX002: " + Text("English.lng", tb::kVerifyMatches)),
              std::string::npos)
        << r.out;
  }
  // Without an answer verify names the segment it could not find.
  r = Run({"verify", stick + "/film.avi.PZX000"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(stick + "/film.avi.PZX001: " + Text("English.lng", tb::kVerifyMissing)),
            std::string::npos)
      << r.out;

  std::remove((home + "/film.avi").c_str());
  r = Run({"join", stick + "/film.avi.PZX000", "--to", home}, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kJoinCancelled)), std::string::npos);
}

TEST_F(Cli, RefusalsSayWhatIsWrong) {
  // A size that is no preset, "auto" or number is a usage error, before anything is written.
  Result r = Run({"split", source, "--to", stick, "--size", "1.4M"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("1.4M"), std::string::npos);
  EXPECT_FALSE(Exists(stick + "/film.avi.PZX000"));

  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "360K"}).status, 0);
  const std::string first = stick + "/film.avi.PZX000";
  // Surplus data: named with the segment in which it lies, not reported as a missing segment.
  WriteFile(stick + "/film.avi.PZX002", ReadFile(stick + "/film.avi.PZX002") + "extra");
  r = Run({"info", first});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(Text("English.lng", tb::kInfoSurplus) + " \"" + stick + "/film.avi.PZX002"),
            std::string::npos);
  EXPECT_EQ(r.out.find(Text("English.lng", tb::kInfoIncomplete)), std::string::npos);

  // A damaged digit field is a damaged header, not "not the first segment"; said once.
  std::string bytes = ReadFile(first);
  bytes[351] = 'x';
  WriteFile(dir / "damaged.PZX000", bytes);
  for (const char* command : {"info", "join"}) {
    r = Run({command, dir / "damaged.PZX000"});
    EXPECT_EQ(r.status, 1);
    const std::string damaged = Text("English.lng", tb::kHeaderDamaged);
    EXPECT_NE(r.err.find(damaged), std::string::npos) << command;
    EXPECT_EQ(r.err.find(damaged), r.err.rfind(damaged)) << command;
    EXPECT_EQ(r.err.find(Text("English.lng", tb::kNotAFirstSegment)), std::string::npos);
  }

  // The stored name reaches the terminal with its control characters escaped.
  test::ScriptedInteraction ui;
  HeaderBytes h;
  Header_Aufbauen(h, 0,
                  {"a\x1B]0;owned\x07"
                   "b\xC2\x9B.txt",
                   false, false},
                  ui);
  WriteFile(dir / "crafted.PZX000", std::string(reinterpret_cast<const char*>(h.data()), h.size()));
  r = Run({"info", dir / "crafted.PZX000"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("a\\x1B]0;owned\\x07b\\x9B.txt"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\x1B'), std::string::npos);
  EXPECT_EQ(r.out.find('\x07'), std::string::npos);
}

TEST_F(Cli, LanguageFilesAndTheHomeFolder) {
  // The language is found whatever the case of its name and with or without extension.
  for (const char* name : {"Deutsch", "deutsch.lng", "Deutsch.LNG"}) {
    const Result r = Run({"info", "missing.PZX000", "--lang", name});
    EXPECT_NE(r.err.find(Text("Deutsch.lng", tb::kJoinSegmentMissing)), std::string::npos) << name;
  }
  // A damaged language file of one's own: the message names its folder.
  const std::string mine = dir.Sub("mine");
  WriteFile(mine + "/Eigen.lng", "only one line");
  Result r = Run({"info", "missing.PZX000", "--lang", mine + "/Eigen.lng"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no language file in " + mine), std::string::npos) << r.err;

  // "~" at the volume prompt is the home folder.
  ASSERT_EQ(Run({"split", source, "--to", stick, "--size", "720K"}).status, 0);
  const std::string away = dir.Sub("away");
  ASSERT_EQ(rename((stick + "/film.avi.PZX001").c_str(), (away + "/film.avi.PZX001").c_str()), 0);
  test::ProcessOptions o;
  o.input = "~/away/film.avi.PZX001\n";
  o.cwd = stick;
  o.env = {{"LANG", "C"}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"HOME", dir.path()}};
  r = test::RunProcess(PZ_CLI, {"join", stick + "/film.avi.PZX000", "--to", home}, o);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(home + "/film.avi"), data);
}

// The name a header records comes back as it was split where the file system takes it; what
// cannot stand as one file name is replaced, said, and never shortened into another file's name.
TEST_F(Cli, StoredNameComesBackWholeOrMarkedNeverCut) {
  test::ScriptedInteraction ui;
  const std::string first = stick + "/crafted.PZX000";
  WriteFile(home + "/slash.bin", "an unrelated file");
  struct Case {
    std::string stored, used, given;  // given: the --name of the join ("" for none)
  };
  const Case cases[] = {
      {"back\\slash.bin", "back\\slash.bin", ""},
      {"tab\there", "tab\there", ""},
      {"cr\rand\nlf", "cr\rand\nlf", ""},
      {"../escape.txt", ".._escape.txt", ""},
      {"..", "__", ""},
      // A name of the user's choice replaces nothing of the stored one: nothing to say.
      {"plain.bin", "chosen.bin", "chosen.bin"},
      {"../escape.txt", "mine.txt", "mine.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored + " " + c.given);
    HeaderBytes h;
    Header_Aufbauen(h, 3, {c.stored, false, false}, ui);
    WriteFile(first, std::string(reinterpret_cast<const char*>(h.data()), h.size()) + "abc");
    std::vector<std::string> args{"join", first, "--to", home};
    if (!c.given.empty()) args.insert(args.end(), {"--name", c.given});
    const Result r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(home + "/" + c.used), "abc");
    EXPECT_EQ(r.err.find(Text("English.lng", tb::kStoredNameReplaced)) != std::string::npos,
              c.given.empty() && c.stored != c.used)
        << r.err;
  }
  EXPECT_EQ(ReadFile(home + "/slash.bin"), "an unrelated file");
  EXPECT_FALSE(Exists(dir / "escape.txt"));
}

TEST_F(Cli, CompressedRoundTrips) {
  const std::string zeros(3000000, '\0');
  const std::vector<std::pair<std::string, std::string>> files{{"empty.bin", ""},
                                                               {"small.txt", "hello"},
                                                               {"random.bin", PatternBytes(700000)},
                                                               {"zeros.bin", zeros}};
  for (const auto& [name, bytes] : files) {
    for (const char* level : {"strong", "weak"}) {
      SCOPED_TRACE(name + " " + level);
      const std::string out = dir.Sub(std::string("c-") + level + "-" + name);
      const std::string back = dir.Sub(std::string("b-") + level + "-" + name);
      WriteFile(dir / name, bytes);
      Result r = Run({"split", name, "--to", out, "--size", "360K", "--compress", level});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_NE(r.err.find(Text("English.lng", tb::kPackBusy)), std::string::npos);
      r = Run({"info", out + "/" + name + ".PZX000"});
      EXPECT_NE(r.out.find(Text("English.lng", tb::kInfoCompressed) + ": " +
                           Text("English.lng", tb::kYes)),
                std::string::npos);
      r = Run({"join", out + "/" + name + ".PZX000", "--to", back});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(ReadFile(back + "/" + name), bytes);
    }
  }
  // Highly compressible data takes one segment instead of nine.
  EXPECT_TRUE(Exists(dir / "c-strong-zeros.bin/zeros.bin.PZX000"));
  EXPECT_FALSE(Exists(dir / "c-strong-zeros.bin/zeros.bin.PZX001"));
  // The temporary archives do not outlive their commands.
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(PZ_PROGRAM_DIR) + "/temp_parzello")) {
    EXPECT_EQ(entry.path().filename().string().rfind("temp-", 0), std::string::npos)
        << entry.path();
  }
}

TEST_F(Cli, CompressedJoinRefusesToReplaceAFile) {
  ASSERT_EQ(Run({"split", source, "--to", stick, "--compress", "weak"}).status, 0);
  WriteFile(home + "/film.avi", "precious");
  Result r = Run({"join", stick + "/film.avi.PZX000", "--to", home});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kUnpackTargetExists)), std::string::npos);
  EXPECT_EQ(ReadFile(home + "/film.avi"), "precious");
  // The same answer with the stored name given; another name is a usage error for a packed set.
  const Result same = Run({"join", stick + "/film.avi.PZX000", "--to", home, "--name", "film.avi"});
  EXPECT_EQ(same.status, 1);
  EXPECT_EQ(same.err, r.err);
  r = Run({"join", stick + "/film.avi.PZX000", "--to", home, "--name", "other.avi"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kNameWithPackedSet) + " \"film.avi\""),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(Exists(home + "/other.avi"));
  EXPECT_EQ(ReadFile(home + "/film.avi"), "precious");
  EXPECT_EQ(Run({"split", source, "--compress", "medium"}).status, 2);
}

// A packing engine that reports success without writing a usable archive: the split reads the
// archive back, fails and keeps the source.
TEST_F(Cli, PackedSplitFailsWhenTheArchiveDoesNotReadBack) {
  const std::string program = dir.Sub("program");
  namespace fs = std::filesystem;
  fs::copy_file(PZ_CLI, program + "/parzello-cli");
  fs::permissions(program + "/parzello-cli", fs::perms::owner_all);
  fs::create_directory_symlink(std::string(PZ_PROGRAM_DIR) + "/language_parzello",
                               program + "/language_parzello");
  fs::create_directory(program + "/temp_parzello");
  fs::create_directory(program + "/dll_parzello");
  fs::copy_file(PZ_FAKE_ZIPENG, program + "/dll_parzello/ZIPENG.DLL");
  test::ProcessOptions o;
  o.cwd = dir.path();
  o.env = {{"LANG", "C"}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}};
  const Result r = test::RunProcess(
      program + "/parzello-cli",
      {"split", "film.avi", "--to", stick, "--compress", "strong", "--delete-source"}, o);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Text("English.lng", tb::kTempArchiveInvalid)), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(source), data);
  EXPECT_FALSE(Exists(stick + "/film.avi.PZX000"));
}

TEST_F(Cli, VerifyNamesBadAndMissingSegmentsAndInfoShowsTheChecksumFile) {
  ASSERT_EQ(Run({"split", "film.avi", "--to", "stick", "--size", "360K"}).status, 0);
  Result r = Run({"info", stick + "/film.avi.PZX000"});
  EXPECT_NE(
      r.out.find(Text("English.lng", tb::kInfoChecksumFile) + ": " + Text("English.lng", tb::kYes)),
      std::string::npos)
      << r.out;
  r = Run({"verify", stick + "/film.avi.PZX000"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find(Text("English.lng", tb::kVerifyAllGood)), std::string::npos);

  const std::string ok = Text("English.lng", tb::kVerifyMatches);
  const std::string bad = Text("English.lng", tb::kVerifyDiffers);
  std::string middle = ReadFile(stick + "/film.avi.PZX001");
  middle[5] ^= 1;
  WriteFile(stick + "/film.avi.PZX001", middle);
  r = Run({"verify", stick + "/film.avi.PZX000"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("film.avi.PZX000: " + ok), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("film.avi.PZX001: " + bad), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("film.avi (" + Text("English.lng", tb::kVerifyWholeFile) + "): " + bad),
            std::string::npos)
      << r.out;

  std::remove((stick + "/film.avi.PZX002").c_str());
  r = Run({"verify", stick + "/film.avi.PZX000"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("film.avi.PZX002: " + Text("English.lng", tb::kVerifyMissing)),
            std::string::npos)
      << r.out;

  std::remove((stick + "/film.avi.PZX.sha256").c_str());
  EXPECT_NE(Run({"info", stick + "/film.avi.PZX000"})
                .out.find(Text("English.lng", tb::kInfoChecksumFile) + ": " +
                          Text("English.lng", tb::kNo)),
            std::string::npos);
  EXPECT_EQ(Run({"verify", stick + "/film.avi.PZX000"}).status, 1);
}

// The checksum file with the line of one name taken out.
std::string WithoutLine(const std::string& sums, const std::string& name) {
  const std::size_t at = sums.find("  " + name + "\n");
  const std::size_t start = sums.rfind('\n', at);
  const std::size_t from = start == std::string::npos ? 0 : start + 1;
  return sums.substr(0, from) + sums.substr(at + name.size() + 3);
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// How far a join was verified shows in its exit status, also with --quiet; verify says the same
// of the same set, in the same words.
TEST_F(Cli, JoinAndVerifyAgreeOnHowFarTheChecksumFileConfirmedTheSet) {
  ASSERT_EQ(Run({"split", "film.avi", "--to", "stick", "--size", "360K"}).status, 0);
  const std::string first = stick + "/film.avi.PZX000";
  const std::string sumsPath = stick + "/film.avi.PZX.sha256";
  const std::string good = ReadFile(sumsPath);
  const std::string segment1 = ReadFile(stick + "/film.avi.PZX001");
  const std::string zero(64, '0');
  using B = std::vector<tb::Block>;
  struct Case {
    const char* what;
    std::function<void(std::string& sums, std::string& segment1)> change;
    int join;
    int verify;
    B says;   // join and verify alike
    B never;  // neither of them
  };
  const Case cases[] = {
      {"as written", [](std::string&, std::string&) {}, 0, 0, {}, {tb::kJoinPartlyVerified}},
      {"CRLF line ends, a segment damaged",
       [](std::string& s, std::string& seg) {
         s = WithCrLf(s);
         seg[5] ^= 1;
       },
       1,
       1,
       {},
       {tb::kJoinPartlyVerified}},
      {"CRLF line ends", [](std::string& s, std::string&) { s = WithCrLf(s); }, 0, 0, {}, {}},
      {"no line for the whole file, which the segments prove",
       [](std::string& s, std::string&) { s = WithoutLine(s, "film.avi"); },
       0,
       0,
       {},
       {tb::kJoinPartlyVerified, tb::kCheckWholeNotListed}},
      {"no line for a segment",
       [](std::string& s, std::string&) { s = WithoutLine(s, "film.avi.PZX001"); },
       3,
       3,
       {tb::kJoinPartlyVerified, tb::kCheckMatchedCount, tb::kCheckNotListed},
       {tb::kCheckWholeNotListed}},
      {"a segment listed twice",
       [&](std::string& s, std::string&) { s += zero + "  film.avi.PZX001\n"; },
       3,
       3,
       {tb::kJoinPartlyVerified, tb::kCheckConflicting},
       {}},
      {"no line can be read",
       [](std::string& s, std::string&) { s = "garbage\nmore garbage\n"; },
       3,
       3,
       {tb::kJoinPartlyVerified, tb::kCheckNoLineUsable, tb::kCheckLinesUnreadable},
       {tb::kCheckMatchedCount, tb::kVerifyAllGood}},
      {"a line beyond the set",
       [&](std::string& s, std::string&) { s += zero + "  film.avi.PZX003\n"; },
       0,
       0,
       {tb::kCheckBeyond},
       {tb::kJoinPartlyVerified, tb::kVerifyMissing}},
      {"no checksum file", nullptr, 0, 3, {tb::kJoinNotVerified}, {tb::kJoinPartlyVerified}},
      {"a checksum file that cannot be read",
       nullptr,
       3,
       3,
       {tb::kJoinPartlyVerified, tb::kCheckFileUnreadable},
       {tb::kCheckNoLineUsable}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string sums = good, seg = segment1;
    std::remove(sumsPath.c_str());
    if (c.change) {
      c.change(sums, seg);
      WriteFile(sumsPath, sums);
    } else if (c.join == 3) {
      ASSERT_EQ(::mkfifo(sumsPath.c_str(), 0600), 0);
    }
    WriteFile(stick + "/film.avi.PZX001", seg);
    std::remove((home + "/film.avi").c_str());
    // Not verified is said even with --quiet; the rest is said without it.
    const Result join = c.join == 3 ? Run({"join", first, "--to", home, "--quiet"})
                                    : Run({"join", first, "--to", home});
    const Result verify = Run({"verify", first});
    EXPECT_EQ(join.status, c.join) << join.err;
    EXPECT_EQ(verify.status, c.verify) << verify.out << verify.err;
    for (const tb::Block b : c.says) {
      EXPECT_NE(join.err.find(Text("English.lng", b)), std::string::npos) << b << join.err;
      EXPECT_NE((verify.out + verify.err).find(Text("English.lng", b)), std::string::npos)
          << b << verify.out << verify.err;
    }
    for (const tb::Block b : c.never) {
      EXPECT_EQ(join.err.find(Text("English.lng", b)), std::string::npos) << b << join.err;
      EXPECT_EQ((verify.out + verify.err).find(Text("English.lng", b)), std::string::npos)
          << b << verify.out << verify.err;
    }
  }
  std::remove(sumsPath.c_str());
}

// verify does not blame a missing segment on the checksum file.
TEST_F(Cli, VerifySaysAMissingSegmentIsMissing) {
  ASSERT_EQ(Run({"split", "film.avi", "--to", "stick", "--size", "360K"}).status, 0);
  std::remove((stick + "/film.avi.PZX001").c_str());
  const Result r = Run({"verify", stick + "/film.avi.PZX000"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("film.avi.PZX001: " + Text("English.lng", tb::kVerifyMissing)),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find(Text("English.lng", tb::kInfoIncomplete)), std::string::npos) << r.err;
  for (const tb::Block b : {tb::kJoinPartlyVerified, tb::kCheckNoLineUsable, tb::kCheckNotListed,
                            tb::kCheckWholeUnreadable})
    EXPECT_EQ(r.err.find(Text("English.lng", b)), std::string::npos) << b << r.err;
}

}  // namespace
}  // namespace pz
