// Unpacking hostile archives with the real engine, self-extracting archives, spanned sets on
// folders and deleting archive files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "tests/zip/zip_test_util.h"
#include "zip/engines/unpack.h"
#include "zip/ziparchiver.h"

namespace {

using namespace pz;
using pztest::Exists;
using pztest::ReadFile;
using pztest::WriteFile;
namespace up = pz::unpack;

TEST(SanitizeMemberName, NamesStayInsideTheFolder) {
  struct Case {
    const char* raw;
    bool dirNames;
    up::Verdict verdict;
    std::vector<std::string> parts;
  };
  using V = up::Verdict;
  const Case cases[] = {
      {"a/b/c.txt", true, V::Ok, {"a", "b", "c.txt"}},
      {"a/b/c.txt", false, V::Ok, {"c.txt"}},
      {"./a//b.txt", true, V::Ok, {"a", "b.txt"}},
      {"../evil.txt", true, V::Reduced, {"evil.txt"}},
      {"a/../../evil.txt", true, V::Reduced, {"evil.txt"}},
      {"../evil.txt", false, V::Ok, {"evil.txt"}},
      {"/etc/passwd", true, V::Reduced, {"passwd"}},
      {"C:\\Windows\\x.dll", true, V::Reduced, {"x.dll"}},
      {"..\\..\\x.txt", true, V::Reduced, {"x.txt"}},
      {"a/..", true, V::Refused, {}},
      {"..", false, V::Refused, {}},
      {"", true, V::Refused, {}},
      {"/", true, V::Refused, {}},
      {"dir/sub/", true, V::Ok, {"dir", "sub"}},
      {"../dir/", true, V::Refused, {}},
  };
  for (const Case& c : cases) {
    up::SafeName s = up::SanitizeMemberName(c.raw, c.dirNames);
    EXPECT_EQ(s.verdict, c.verdict) << c.raw;
    if (s.verdict != V::Refused) {
      EXPECT_EQ(s.parts, c.parts) << c.raw;
    }
  }
}

// Builds an archive with libzip; a member with a link target becomes a symbolic link entry.
struct Member {
  std::string name;
  std::string data;
  std::string linkTarget;
};

void MakeArchive(const std::string& path, const std::vector<Member>& members) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(za, nullptr);
  for (const auto& m : members) {
    const std::string& bytes = m.linkTarget.empty() ? m.data : m.linkTarget;
    char* copy = static_cast<char*>(std::malloc(bytes.size() + 1));
    std::memcpy(copy, bytes.data(), bytes.size());
    zip_source_t* src = zip_source_buffer(za, copy, bytes.size(), 1);
    zip_int64_t i = zip_file_add(za, m.name.c_str(), src, ZIP_FL_ENC_RAW);
    ASSERT_GE(i, 0) << m.name;
    if (!m.linkTarget.empty())
      zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(i), 0, ZIP_OPSYS_UNIX,
                                       static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
  }
  ASSERT_EQ(zip_close(za), 0);
}

class UnpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::mkdir((root / "target").c_str(), 0755);
    ::mkdir((root / "outside").c_str(), 0755);
    zip.SetDLLDirectory(PZ_TEST_DLL_DIR);
    zip.SetUnattended(true);
    zip.OnMessage = [this](TZipArchiver&, int code, const std::string& text) {
      if (code != 0) engineMessages.push_back({code, text});
    };
  }
  int Extract(const std::string& archive, ExtrOpts opts) {
    pztest::CwdGuard guard;
    zip.SetZipFilename(archive);
    zip.SetExtrBaseDir(root / "target");
    zip.SetExtrOptions(opts);
    zip.ExtractFiles();
    return zip.SuccessCount();
  }
  int Count(std::int32_t code) const {
    int n = 0;
    for (const auto& m : engineMessages) n += m.first == code;
    return n;
  }

  pztest::ScratchDir root;
  TZipArchiver zip;
  std::vector<std::pair<int, std::string>> engineMessages;
};

TEST_F(UnpackTest, HostileNamesNeverLeaveTheFolder) {
  const std::string absolute = root / "outside/abs.txt";
  MakeArchive(root / "evil.zip", {{"../outside/up.txt", "up", ""},
                                  {absolute, "abs", ""},
                                  {"a/../../outside/deep.txt", "deep", ""},
                                  {"link", "", root / "outside"},
                                  {"a/..", "dots", ""},
                                  {"ok/fine.txt", "fine", ""}});
  EXPECT_EQ(Extract(root / "evil.zip", {ExtrDirNames}), 4);
  EXPECT_TRUE(pztest::ListTree(root / "outside").empty());
  EXPECT_EQ(pztest::ListTree(root / "target"),
            (std::vector<std::string>{"abs.txt", "deep.txt", "ok", "ok/fine.txt", "up.txt"}));
  EXPECT_EQ(ReadFile(root / "target/up.txt"), "up");
  EXPECT_EQ(Count(up::kErrRefused), 2);  // the link and "a/.."
  EXPECT_EQ(Count(up::kErrReduced), 3);
}

TEST_F(UnpackTest, WithoutFolderNamesMembersGoUnderTheirFileName) {
  MakeArchive(root / "a.zip", {{"x/y/one.txt", "1", ""}, {"../two.txt", "2", ""}});
  EXPECT_EQ(Extract(root / "a.zip", {}), 2);
  EXPECT_EQ(pztest::ListTree(root / "target"), (std::vector<std::string>{"one.txt", "two.txt"}));
}

TEST_F(UnpackTest, LinksPlantedInTheTargetAreNotFollowed) {
  ASSERT_EQ(::symlink((root / "outside").c_str(), (root / "target/sub").c_str()), 0);
  WriteFile(root / "outside/victim.txt", "keep");
  ASSERT_EQ(::symlink((root / "outside/victim.txt").c_str(), (root / "target/leaf.txt").c_str()),
            0);
  MakeArchive(root / "a.zip", {{"sub/x.txt", "x", ""}, {"leaf.txt", "new", ""}});
  EXPECT_EQ(Extract(root / "a.zip", {ExtrDirNames, ExtrOverWrite}), 1);
  EXPECT_EQ(pztest::ListTree(root / "outside"), (std::vector<std::string>{"victim.txt"}));
  EXPECT_EQ(ReadFile(root / "outside/victim.txt"), "keep");
  EXPECT_EQ(ReadFile(root / "target/leaf.txt"), "new");  // the link itself was replaced
  EXPECT_EQ(Count(up::kErrRefused), 1);
}

TEST_F(UnpackTest, ExistingFilesAreKeptUnlessOverwriteIsSet) {
  MakeArchive(root / "a.zip", {{"f.txt", "archive", ""}});
  WriteFile(root / "target/f.txt", "mine");
  EXPECT_EQ(Extract(root / "a.zip", {}), 0);
  EXPECT_EQ(ReadFile(root / "target/f.txt"), "mine");
  EXPECT_EQ(Count(up::kErrExists), 1);
  EXPECT_EQ(Extract(root / "a.zip", {ExtrOverWrite}), 1);
  EXPECT_EQ(ReadFile(root / "target/f.txt"), "archive");
  // No temporary files are left behind.
  EXPECT_EQ(pztest::ListTree(root / "target"), (std::vector<std::string>{"f.txt"}));
}

TEST_F(UnpackTest, TestModeWritesNothing) {
  MakeArchive(root / "a.zip", {{"f.txt", "x", ""}, {"d/g.txt", "y", ""}});
  EXPECT_EQ(Extract(root / "a.zip", {ExtrTest, ExtrDirNames}), 2);
  EXPECT_TRUE(pztest::ListTree(root / "target").empty());
}

TEST_F(UnpackTest, DamagedDataIsReportedAndRemoved) {
  zip.SetAddCompLevel(0);
  WriteFile(root / "f.txt", std::string(4000, 'a'));
  zip.SetZipFilename(root / "a.zip");
  zip.FSpecArgs() = {root / "f.txt"};
  zip.AddFiles();
  ASSERT_EQ(zip.SuccessCount(), 1);
  std::string bytes = ReadFile(root / "a.zip");
  bytes[2000] = 'b';  // stored data: the CRC no longer matches
  WriteFile(root / "a.zip", bytes);
  EXPECT_EQ(Extract(root / "a.zip", {}), 0);
  EXPECT_EQ(Count(up::kErrData), 1);
  EXPECT_TRUE(pztest::ListTree(root / "target").empty());
}

TEST_F(UnpackTest, PackingHonoursOptionsAndFileMasks) {
  ::mkdir((root / "tree").c_str(), 0755);
  ::mkdir((root / "tree/sub").c_str(), 0755);
  WriteFile(root / "tree/a.txt", "a");
  WriteFile(root / "tree/b.log", "b");
  WriteFile(root / "tree/.hidden", "h");
  WriteFile(root / "tree/sub/c.txt", "c");
  {
    pztest::CwdGuard guard;
    ASSERT_EQ(::chdir(root.path().c_str()), 0);
    zip.SetAddOptions({AddDirNames, AddRecurseDirs});
    zip.SetZipFilename(root / "r.zip");
    zip.FSpecArgs() = {"tree"};
    zip.AddFiles();
  }
  EXPECT_EQ(zip.SuccessCount(), 3);  // hidden files only with AddHiddenFiles
  std::vector<std::string> names;
  for (const auto& e : zip.Contents()) names.push_back(e->FileName);
  EXPECT_EQ(names, (std::vector<std::string>{"tree/a.txt", "tree/b.log", "tree/sub/c.txt"}));

  {
    pztest::CwdGuard guard;
    ASSERT_EQ(::chdir(root.path().c_str()), 0);
    zip.SetAddOptions({AddDirNames, AddRecurseDirs, AddSeparateDirs, AddHiddenFiles});
    zip.SetVerbose(true);
    std::vector<std::string> notes;
    zip.OnMessage = [&](TZipArchiver&, int code, const std::string& t) {
      if (code == 0) notes.push_back(t);
    };
    zip.SetZipFilename(root / "d.zip");
    zip.FSpecArgs() = {"tree"};
    zip.AddFiles();
    EXPECT_EQ(zip.SuccessCount(), 4);  // folders are entries, but not files
    EXPECT_EQ(notes.size(), 4u);
    zip.SetVerbose(false);
  }
  names.clear();
  for (const auto& e : zip.Contents()) names.push_back(e->FileName);
  EXPECT_EQ(names, (std::vector<std::string>{"tree/", "tree/.hidden", "tree/a.txt", "tree/b.log",
                                             "tree/sub/", "tree/sub/c.txt"}));

  // No stored name points outside: ".." parts are left out, and a name that unpacking reads
  // with a ".." part (a backslash is a separator there) is refused with a message.
  WriteFile(root / "tree/..\\up.txt", "u");
  zip.OnMessage = [this](TZipArchiver&, int code, const std::string& text) {
    if (code != 0) engineMessages.push_back({code, text});
  };
  struct Packed {
    std::string spec;
    std::vector<std::string> names;
  };
  for (const Packed& p :
       {Packed{"tree/sub/../a.txt", {"tree/sub/a.txt"}}, Packed{"tree/..\\up.txt", {}}}) {
    SCOPED_TRACE(p.spec);
    pztest::CwdGuard guard;
    ASSERT_EQ(::chdir(root.path().c_str()), 0);
    engineMessages.clear();
    ::unlink((root / "n.zip").c_str());
    zip.SetAddOptions({AddDirNames});
    zip.SetZipFilename(root / "n.zip");
    zip.FSpecArgs() = {p.spec};
    zip.AddFiles();
    names.clear();
    for (const auto& e : zip.Contents()) names.push_back(e->FileName);
    EXPECT_EQ(names, p.names);
    EXPECT_EQ(Count(up::kErrSource), p.names.empty() ? 1 : 0);
  }

  zip.SetAddOptions({AddMove});
  zip.SetZipFilename(root / "w.zip");
  zip.FSpecArgs() = {root / "tree/*.txt"};
  zip.AddFiles();
  EXPECT_EQ(zip.SuccessCount(), 1);
  EXPECT_FALSE(Exists(root / "tree/a.txt"));  // moved into the archive
  EXPECT_TRUE(Exists(root / "tree/b.log"));
}

// An unpacked file is readable by its owner only until it is complete; then it has the
// member's mode and the exact modification time, whatever the time zones of packing and
// unpacking (the DOS time alone has two-second steps and local time).
TEST_F(UnpackTest, UnpackedFilesArePrivateUntilDoneAndKeepTheirExactTime) {
  const std::string file = root / "odd.txt";
  WriteFile(file, std::string(3000, 'o'));
  ::chmod(file.c_str(), 0644);
  const time_t when = 1234567891;  // an odd second
  struct timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  const char* oldTz = std::getenv("TZ");
  const std::string savedTz = oldTz ? oldTz : "";
  ::setenv("TZ", "JST-9", 1);
  ::tzset();
  zip.SetZipFilename(root / "t.zip");
  zip.FSpecArgs() = {file};
  zip.AddFiles();
  ASSERT_EQ(zip.SuccessCount(), 1);

  ::setenv("TZ", "EST+5", 1);
  ::tzset();
  std::vector<mode_t> modesWhileWriting;
  zip.OnProgress = [&](TZipArchiver&, ProgressType type, const std::string&, std::int64_t) {
    if (type != BytesDone) return;
    for (const auto& e : std::filesystem::directory_iterator(root / "target")) {
      struct stat st {};
      if (e.path().filename().string().rfind(".pzx-unpack-", 0) == 0 &&
          ::stat(e.path().c_str(), &st) == 0)
        modesWhileWriting.push_back(st.st_mode & 0777);
    }
  };
  EXPECT_EQ(Extract(root / "t.zip", {}), 1);
  EXPECT_EQ(modesWhileWriting, std::vector<mode_t>{0600});
  zip.OnProgress = nullptr;
  struct stat st {};
  ASSERT_EQ(::stat((root / "target/odd.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(st.st_mtime, when);

  // A member's mode is taken without its set-user-id, set-group-id and sticky bits.
  struct Mode {
    mode_t stored, unpacked;
  };
  for (const Mode m :
       {Mode{04755, 0755}, Mode{02750, 0750}, Mode{06777, 0777}, Mode{01640, 0640}}) {
    SCOPED_TRACE(m.stored);
    MakeArchive(root / "m.zip", {{"mode.bin", "m", ""}});
    zip_t* za = zip_open((root / "m.zip").c_str(), 0, nullptr);
    ASSERT_NE(za, nullptr);
    zip_file_set_external_attributes(za, 0, 0, ZIP_OPSYS_UNIX,
                                     static_cast<zip_uint32_t>(S_IFREG | m.stored) << 16);
    ASSERT_EQ(zip_close(za), 0);
    ::unlink((root / "target/mode.bin").c_str());
    ASSERT_EQ(Extract(root / "m.zip", {}), 1);
    ASSERT_EQ(::stat((root / "target/mode.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, m.unpacked);
  }

  // Debian's unzip reads the same time from our archive.
  ASSERT_EQ(pztest::Run("unzip -qo '" + root / "t.zip" + "' -d '" + root / "unz" + "'"), 0);
  ASSERT_EQ(::stat((root / "unz/odd.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, when);
  if (oldTz)
    ::setenv("TZ", savedTz.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

TEST_F(UnpackTest, CancelledPackingLeavesNoArchive) {
  WriteFile(root / "big.bin", pztest::RandomBytes(3 << 20, 5));
  zip.OnProgress = [](TZipArchiver& s, ProgressType t, const std::string&, std::int64_t) {
    if (t == BytesDone) s.SetCancelRequested(true);
  };
  zip.SetZipFilename(root / "c.zip");
  zip.FSpecArgs() = {root / "big.bin"};
  zip.AddFiles();
  EXPECT_EQ(zip.SuccessCount(), 0);
  EXPECT_EQ(Count(up::kErrCancelled), 1);
  EXPECT_FALSE(Exists(root / "c.zip"));
  EXPECT_FALSE(zip.ZipActive());
}

TEST_F(UnpackTest, CancelInTheMiddleOfDeflatingStopsThereAndLeavesNoArchive) {
  WriteFile(root / "big.bin", pztest::MixedBytes(4 << 20, 512 << 10, 6));
  int blocks = 0;
  zip.OnProgress = [&](TZipArchiver& s, ProgressType t, const std::string&, std::int64_t) {
    if (t == BytesDone && ++blocks == 3) s.SetCancelRequested(true);
  };
  zip.SetZipFilename(root / "c.zip");
  zip.FSpecArgs() = {root / "big.bin"};
  zip.AddFiles();
  EXPECT_EQ(zip.SuccessCount(), 0);
  EXPECT_EQ(blocks, 3);
  EXPECT_EQ(Count(up::kErrCancelled), 1);
  EXPECT_EQ(pztest::ListTree(root.path()),
            (std::vector<std::string>{"big.bin", "outside", "target"}));  // no temporary left
}

// Every level, on data deflate shrinks and data it cannot, empty and one byte, and sizes on and
// just past the edges of the blocks that the cores share out; Debian's unzip and our own
// unpacking both read the archive.
class PackLevelTest : public UnpackTest, public ::testing::WithParamInterface<int> {};

TEST_P(PackLevelTest, EveryKindOfDataRoundTrips) {
  ::mkdir((root / "src").c_str(), 0755);
  const std::vector<std::pair<std::string, std::string>> files{
      {"empty.bin", ""},
      {"one.bin", "x"},
      {"text.txt", pztest::TextBytes(300000, 1)},
      {"random.bin", pztest::RandomBytes(300000, 2)},
      {"edge.bin", pztest::MixedBytes(1 << 20, 200000, 3)},
      {"past.bin", pztest::MixedBytes((1 << 20) + 1, 65536, 4)}};
  zip.FSpecArgs().clear();
  for (const auto& [name, data] : files) {
    WriteFile(root / ("src/" + name), data);
    zip.FSpecArgs().push_back(root / ("src/" + name));
  }
  std::map<std::string, std::int64_t> done;
  std::map<std::string, int> reports;
  std::string current;
  zip.OnProgress = [&](TZipArchiver&, ProgressType t, const std::string& name, std::int64_t n) {
    if (t == FileBegins) current = name;
    if (t == BytesDone) done[current] += n, ++reports[current];
  };
  zip.SetAddCompLevel(GetParam());
  zip.SetZipFilename(root / "l.zip");
  zip.AddFiles();
  ASSERT_EQ(zip.SuccessCount(), 6);
  for (const auto& [name, data] : files)
    EXPECT_EQ(done[name], static_cast<std::int64_t>(data.size())) << name;
  EXPECT_GT(reports["past.bin"], 1);  // block by block
  zip.OnProgress = nullptr;
  EXPECT_EQ(pztest::Run("unzip -tqq '" + root / "l.zip" + "' > /dev/null"), 0);
  ASSERT_EQ(Extract(root / "l.zip", {}), 6);
  for (const auto& [name, data] : files)
    EXPECT_TRUE(ReadFile(root / ("target/" + name)) == data) << name;
  EXPECT_TRUE(engineMessages.empty());
}

INSTANTIATE_TEST_SUITE_P(Levels, PackLevelTest, ::testing::Range(0, 10));

TEST_F(UnpackTest, EncryptedDeflatedMemberRoundTrips) {
  const std::string data = pztest::MixedBytes(700000, 100000, 5);
  WriteFile(root / "secret.bin", data);
  zip.SetAddOptions({AddEncrypt});
  zip.SetPassword("geheim");
  zip.SetZipFilename(root / "e.zip");
  zip.FSpecArgs() = {root / "secret.bin"};
  zip.AddFiles();
  ASSERT_EQ(zip.SuccessCount(), 1);
  ASSERT_EQ(Extract(root / "e.zip", {}), 1);
  EXPECT_TRUE(ReadFile(root / "target/secret.bin") == data);
}

TEST_F(UnpackTest, SelfExtractingArchiveRunsAndUnpacks) {
  WriteFile(root / "data.txt", "payload of the self-extractor");
  zip.SetSFXPath(PZ_TEST_STUB);
  zip.SetHowToDelete(htdFinal);
  zip.SetZipFilename(root / "s.zip");
  zip.FSpecArgs() = {root / "data.txt"};
  zip.AddFiles();
  ASSERT_EQ(zip.SuccessCount(), 1);
  const auto zipSize = static_cast<std::int64_t>(ReadFile(root / "s.zip").size());
  const auto stubSize = static_cast<std::int64_t>(ReadFile(PZ_TEST_STUB).size());

  EXPECT_EQ(zip.ConvertToSfx(), 0);
  EXPECT_EQ(zip.ZipFilename(), root / "s.exe");
  EXPECT_FALSE(Exists(root / "s.zip"));
  const std::string exe = ReadFile(root / "s.exe");
  ASSERT_EQ(static_cast<std::int64_t>(exe.size()), stubSize + 256 + zipSize);
  EXPECT_EQ(exe.substr(stubSize, 3), "PZS");
  EXPECT_EQ(exe[stubSize + 3], 0);  // SFXCheckSize set, nothing else
  EXPECT_EQ(exe.substr(stubSize + 7, 23), "Self-extracting Archive");
  EXPECT_EQ(zip.Count(), 1);
  EXPECT_FALSE(zip.DirectoryMismatch());
  EXPECT_EQ(zip.FirstEntryOffset(), stubSize + 256);

  ASSERT_EQ(pztest::Run("'" + root / "s.exe" + "' '" + root / "target" + "' > /dev/null"), 0);
  EXPECT_EQ(ReadFile(root / "target/data.txt"), "payload of the self-extractor");
  EXPECT_EQ(pztest::Run("unzip -tqq '" + root / "s.exe" + "'"), 0);
}

TEST_F(UnpackTest, PackingIntoASelfExtractorKeepsItsStub) {
  WriteFile(root / "one.txt", "1");
  WriteFile(root / "two.txt", "2");
  zip.SetSFXPath(PZ_TEST_STUB);
  const auto stubSize = static_cast<std::int64_t>(ReadFile(PZ_TEST_STUB).size());
  for (const char* name : {"one.txt", "two.txt"}) {
    zip.SetZipFilename(root / "new.exe");
    zip.FSpecArgs() = {root / name};
    zip.AddFiles();
    ASSERT_EQ(zip.SuccessCount(), 1) << name;
    EXPECT_EQ(zip.FirstEntryOffset(), stubSize + 256);
    EXPECT_FALSE(zip.DirectoryMismatch());
  }
  EXPECT_EQ(zip.Count(), 2);
  ASSERT_EQ(pztest::Run("'" + root / "new.exe" + "' '" + root / "target" + "' > /dev/null"), 0);
  EXPECT_EQ(pztest::ListTree(root / "target"), (std::vector<std::string>{"one.txt", "two.txt"}));
}

TEST_F(UnpackTest, SelfExtractorRefusals) {
  MakeArchive(root / "a.zip", {{"f.txt", "x", ""}});
  zip.SetSFXPath(PZ_TEST_STUB);
  zip.SetZipFilename(root / "a.zip");
  zip.SetSFXCaption(std::string(200, 'c'));
  zip.SetSFXCommandLine(std::string(50, 'x'));
  EXPECT_EQ(zip.ConvertToSfx(), -9);
  EXPECT_EQ(zip.ErrorCode(), 10801);
  EXPECT_NE(zip.LastMessage().find("SFXCaption + SFXDefaultDir + SFXCommandLine = 250"),
            std::string::npos);
  zip.SetSFXCommandLine("");
  WriteFile(root / "a.tar", "x");
  zip.SetZipFilename(root / "a.tar");  // not an archive: the name is cleared
  EXPECT_EQ(zip.ConvertToSfx(), -9);
  EXPECT_EQ(zip.ErrorCode(), 10102);
  MakeArchive(root / "b.tar", {{"f.txt", "x", ""}});
  zip.SetZipFilename(root / "b.tar");
  EXPECT_EQ(zip.ConvertToSfx(), -9);
  EXPECT_EQ(zip.ErrorCode(), 10803);
  EXPECT_TRUE(Exists(root / "a.zip"));
  EXPECT_FALSE(Exists(root / "a.exe"));

  // A stub that is not where SFXPath says is looked for in the engine folder too.
  zip.SetSFXPath(root / "nowhere.bin");
  zip.SetDLLDirectory(std::filesystem::path(PZ_TEST_STUB).parent_path().string());
  zip.SetHowToDelete(htdFinal);
  zip.SetZipFilename(root / "a.zip");
  EXPECT_EQ(zip.ConvertToSfx(), 0);
  EXPECT_TRUE(Exists(root / "a.exe"));
}

TEST_F(UnpackTest, SpannedSetOverFoldersRoundTrips) {
  const std::string data = pztest::RandomBytes(150000, 9);
  WriteFile(root / "big.bin", data);
  WriteFile(root / "small.txt", "small");
  for (const char* d : {"disk1", "disk2", "disk3", "disk4", "disk5"})
    ::mkdir((root / d).c_str(), 0755);
  int next = 0;
  std::vector<std::string> prompts;
  zip.SetUnattended(false);
  zip.ShowMessageHook = [](const std::string&) {};
  zip.DiskPromptHook = [&](const std::string& text, std::string& folder) {
    prompts.push_back(text);
    folder = root / ("disk" + std::to_string(++next));
    return true;
  };
  zip.SetAddCompLevel(0);
  zip.SetMaxVolumeSize(60000);
  zip.SetMinFreeVolumeSize(1000);
  zip.SetAddOptions({AddDiskSpan});
  zip.SetTempDir(root.path());
  zip.SetZipFilename(root / "disk1/set.zip");
  zip.FSpecArgs() = {root / "big.bin", root / "small.txt"};
  zip.AddFiles();
  ASSERT_EQ(zip.SuccessCount(), 2);
  ASSERT_EQ(next, 3);
  EXPECT_EQ(zip.ZipFilename(), root / "disk3/set.zip");  // the last disk is the one in place
  EXPECT_EQ(prompts[1], "Please insert disk volume 2\r\nin drive: " + root / "disk1");
  EXPECT_EQ(ReadFile(root / "disk2/.volume_label"), "PKBACK# 002\n");
  EXPECT_EQ(ReadFile(root / "disk1/set.zip").substr(0, 4), "PK\x07\x08");

  // The last part names the set.
  zip.SetZipFilename(root / "disk3/set.zip");
  EXPECT_TRUE(zip.IsMultiVolume());
  EXPECT_EQ(zip.EndRecordDisk(), 2);
  ASSERT_EQ(zip.Count(), 2);

  next = 0;
  EXPECT_EQ(Extract(root / "disk3/set.zip", {}), 2);
  EXPECT_TRUE(ReadFile(root / "target/big.bin") == data);
  EXPECT_EQ(ReadFile(root / "target/small.txt"), "small");
  for (const auto& name : pztest::ListTree(root.path()))  // no gathered copy is left behind
    EXPECT_NE(name.rfind("zip", 0), 0u) << name;
}

TEST_F(UnpackTest, SpanningCancelledAtAPrompt) {
  WriteFile(root / "f.txt", "x");
  zip.SetUnattended(false);
  zip.ShowMessageHook = [](const std::string&) {};
  zip.DiskPromptHook = [](const std::string&, std::string&) { return false; };
  zip.SetAddOptions({AddDiskSpan});
  zip.SetTempDir(root.path());
  zip.SetZipFilename(root / "set.zip");
  zip.FSpecArgs() = {root / "f.txt"};
  zip.AddFiles();
  EXPECT_EQ(zip.SuccessCount(), 0);
  EXPECT_EQ(zip.ErrorCode(), 11007);
  EXPECT_EQ(pztest::ListTree(root.path()),
            (std::vector<std::string>{"f.txt", "outside", "target"}));
}

TEST_F(UnpackTest, DeletingToTheTrashOrForGood) {
  const std::string home = root / "xdg";
  ::setenv("XDG_DATA_HOME", home.c_str(), 1);
  WriteFile(root / "a b.zip", "1");
  WriteFile(root / "c.zip", "2");
  EXPECT_EQ(zip.DeleteArchiveFile(root / "a b.zip", htdAllowUndo), 0);
  EXPECT_FALSE(Exists(root / "a b.zip"));
  EXPECT_EQ(ReadFile(home + "/Trash/files/a b.zip"), "1");
  const std::string info = ReadFile(home + "/Trash/info/a b.zip.trashinfo");
  EXPECT_NE(info.find("Path=" + root.path() + "/a%20b.zip\n"), std::string::npos) << info;
  EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u);
  // A second file of the same name does not replace the first in the trash.
  WriteFile(root / "a b.zip", "3");
  EXPECT_EQ(zip.DeleteArchiveFile(root / "a b.zip", htdAllowUndo), 0);
  EXPECT_EQ(ReadFile(home + "/Trash/files/a b.zip"), "1");
  EXPECT_EQ(ReadFile(home + "/Trash/files/a b.zip.2"), "3");

  pztest::CwdGuard guard;
  ASSERT_EQ(::chdir(root.path().c_str()), 0);
  EXPECT_EQ(zip.DeleteArchiveFile("c.zip", htdFinal), 0);  // a bare name: the current folder
  EXPECT_FALSE(Exists(root / "c.zip"));
  EXPECT_EQ(zip.DeleteArchiveFile("c.zip", htdFinal), -1);
  ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
