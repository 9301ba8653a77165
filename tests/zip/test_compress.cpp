// The compression stage with the real engines from the build's dll_parzello.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/compress.h"
#include "lang/textblocks.h"
#include "platform/os.h"
#include "tests/zip/zip_test_util.h"
#include "zip/ziparchiver.h"

namespace {

using namespace pz;
using pztest::ReadFile;
using pztest::WriteFile;

class RecordingUi : public Interaction {
 public:
  std::string Passwort_Abfragen() override { return ""; }
  std::string Passwort2_Abfragen() override { return ""; }
  int Datentraeger_Anfordern(std::string&) override { return kCancel; }
  void ShowMessage(const std::string& text, MsgIcon icon) override {
    shown.push_back({text, icon});
  }
  void SetBusy(bool b) override { busy.push_back(b); }
  void Repaint() override { ++repaints; }
  void StatusText(const std::string& t) override { status.push_back(t); }
  void ProcessEvents() override { ++pumped; }
  void Progress(std::int64_t done, std::int64_t total) override {
    progress.emplace_back(done, total);
  }

  std::vector<std::pair<std::string, MsgIcon>> shown;
  std::vector<bool> busy;
  std::vector<std::string> status;
  std::vector<std::pair<std::int64_t, std::int64_t>> progress;
  int repaints = 0;
  int pumped = 0;
};

class NumberTexts : public TextSource {
 public:
  std::string GetText(std::uint16_t block) const override { return "T" + std::to_string(block); }
};

class CompressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::mkdir(DataFolder(root.path(), kTempFolder).c_str(), 0755);
    ::mkdir((root / "src").c_str(), 0755);
    ::mkdir((root / "back").c_str(), 0755);
    zip.SetDLLDirectory(PZ_TEST_DLL_DIR);
  }
  std::string Archive() const { return TempArchivPfad(root.path()); }

  // Packs and unpacks one file; returns the archive's size.
  std::int64_t RoundTrip(const std::string& name, const std::string& content, int level) {
    pztest::CwdGuard guard;
    WriteFile(root / ("src/" + name), content);
    ::unlink(Archive().c_str());
    EXPECT_TRUE(Datei_Komprimieren(root / ("src/" + name), Archive(), level, ctx, zip));
    const auto size = static_cast<std::int64_t>(ReadFile(Archive()).size());
    ::unlink((root / ("back/" + name)).c_str());
    EXPECT_TRUE(Datei_Dekomprimieren(Archive(), root / "back", ctx, zip));
    EXPECT_TRUE(ReadFile(root / ("back/" + name)) == content) << name;
    EXPECT_FALSE(zip.ZipEngineLoaded());
    EXPECT_FALSE(zip.UnzipEngineLoaded());
    return size;
  }

  pztest::ScratchDir root;
  RecordingUi ui;
  NumberTexts texts;
  EngineContext ctx{ui, texts, root.path()};
  TZipArchiver zip;
};

TEST_F(CompressTest, RoundTripsKeepEveryByte) {
  RoundTrip("empty.dat", "", kLevelStrong);
  RoundTrip("small.txt", "a small file\n", kLevelWeak);
  const std::string random = pztest::RandomBytes(1 << 20, 3);
  const std::int64_t randomSize = RoundTrip("random.bin", random, kLevelStrong);
  EXPECT_LT(randomSize, (1 << 20) + 1024);  // incompressible data is not blown up
  const std::string zeros(8 << 20, '\0');
  const std::int64_t zeroSize = RoundTrip("zeros.bin", zeros, kLevelWeak);
  EXPECT_LT(zeroSize, 100000);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(CompressTest, StatusBusyProgressAndArchiveMode) {
  const std::int64_t size = 5 << 20;
  WriteFile(root / "src/f.txt", pztest::RandomBytes(static_cast<std::size_t>(size), 7));
  pztest::CwdGuard guard;
  ASSERT_TRUE(Datei_Komprimieren(root / "src/f.txt", Archive(), kLevelStrong, ctx, zip))
      << (ui.shown.empty() ? "" : ui.shown.front().first);
  struct stat st {};
  ASSERT_EQ(::stat(Archive().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the user's data, readable by its owner only
  // Packing and unpacking each report their bytes as the copy does, up to the whole file.
  const auto packed = ui.progress;
  ASSERT_GE(packed.size(), 2u);
  EXPECT_EQ(packed.back(), std::make_pair(size, size));
  ASSERT_TRUE(Datei_Dekomprimieren(Archive(), root / "back", ctx, zip));
  ASSERT_GE(ui.progress.size(), packed.size() + 2);
  EXPECT_EQ(ui.progress.back(), std::make_pair(size, size));
  EXPECT_LT(ui.progress[packed.size()].first, size);
  EXPECT_EQ(ui.status, (std::vector<std::string>{"T56...", "", "T58...", ""}));
  EXPECT_EQ(ui.busy, (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(ui.repaints, 2);
  // The hooks of this call are taken away again: the component outlives the context.
  EXPECT_FALSE(zip.ShowMessageHook);
  EXPECT_FALSE(zip.ProcessMessagesHook);
  EXPECT_FALSE(zip.OnProgress);
  EXPECT_FALSE(zip.OnMessage);
}

TEST_F(CompressTest, PreparationFollowsTheRequest) {
  WriteFile(root / "src/f.txt", std::string(100000, 'a') + pztest::RandomBytes(1000, 4));
  CompressionRequest r;
  r.source = root / "src/f.txt";
  r.compress = true;
  r.splitMode = false;
  EXPECT_FALSE(Komprimierung_Einleiten_Falls_Noetig(r, ctx, zip));
  EXPECT_FALSE(pztest::Exists(Archive()));
  r.splitMode = true;
  r.compress = false;
  EXPECT_FALSE(Komprimierung_Einleiten_Falls_Noetig(r, ctx, zip));
  r.compress = true;
  r.source = root / "src/missing.txt";
  EXPECT_FALSE(Komprimierung_Einleiten_Falls_Noetig(r, ctx, zip));
  EXPECT_FALSE(pztest::Exists(Archive()));

  r.source = root / "src/f.txt";
  r.strong = true;
  ASSERT_TRUE(Komprimierung_Einleiten_Falls_Noetig(r, ctx, zip));
  zip.SetZipFilename(Archive());
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.Contents()[0]->FileName, "f.txt");  // stored without its folder
  const auto strongFlags = zip.Contents()[0]->Flag;
  r.strong = false;
  ASSERT_TRUE(Komprimierung_Einleiten_Falls_Noetig(r, ctx, zip));
  zip.SetZipFilename(Archive());
  ASSERT_EQ(zip.Count(), 1);  // replaced, not added to
  // Deflate records the level class in bits 1-2: maximum (9) and normal (3) differ.
  EXPECT_NE(zip.Contents()[0]->Flag & 6, strongFlags & 6);
}

TEST_F(CompressTest, FailuresShowTheirWarnings) {
  WriteFile(root / "src/f.txt", "x");
  ::rmdir(DataFolder(root.path(), kTempFolder).c_str());
  CompressionRequest r;
  r.source = root / "src/f.txt";
  r.compress = true;
  EXPECT_FALSE(Komprimierung_Einleiten_Falls_Noetig(r, ctx, zip));
  ASSERT_FALSE(ui.shown.empty());
  // The warning names the cause the engine gave.
  EXPECT_EQ(ui.shown.back().first.rfind("T57\n", 0), 0u) << ui.shown.back().first;
  EXPECT_NE(ui.shown.back().first.find(std::strerror(ENOENT)), std::string::npos)
      << ui.shown.back().first;
  EXPECT_EQ(ui.shown.back().second, MsgIcon::Warning);

  ui.shown.clear();
  WriteFile(root / "junk.pzx", "this is no archive");
  pztest::CwdGuard guard;
  EXPECT_FALSE(Datei_Dekomprimieren(root / "junk.pzx", root / "back", ctx, zip));
  ASSERT_GE(ui.shown.size(), 2u);  // the component's own message, then the stage's
  EXPECT_EQ(ui.shown.back(), (std::pair<std::string, MsgIcon>{"T59", MsgIcon::Warning}));
  EXPECT_EQ(ui.shown.front().second, MsgIcon::Error);
}

TEST_F(CompressTest, HostileArchiveUnpacksNothingOutside) {
  // "../escape.txt" and an absolute name, written byte by byte as stored entries.
  auto le = [](std::string& s, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const std::string absolute = root / "abs.txt";
  std::string local, central;
  for (const std::string& name : {std::string("../escape.txt"), absolute}) {
    const std::string data = "gotcha";
    const std::uint32_t crc = 0x860C8C0E;  // CRC-32 of "gotcha"
    const auto offset = static_cast<std::uint32_t>(local.size());
    le(local, 0x04034b50, 4);
    le(local, 10, 2), le(local, 0, 2), le(local, 0, 2), le(local, 0, 4);
    le(local, crc, 4), le(local, 6, 4), le(local, 6, 4);
    le(local, static_cast<std::uint32_t>(name.size()), 2), le(local, 0, 2);
    local += name + data;
    le(central, 0x02014b50, 4);
    le(central, 0x031E, 2), le(central, 10, 2), le(central, 0, 2), le(central, 0, 2);
    le(central, 0, 4), le(central, crc, 4), le(central, 6, 4), le(central, 6, 4);
    le(central, static_cast<std::uint32_t>(name.size()), 2);
    le(central, 0, 2), le(central, 0, 2), le(central, 0, 2), le(central, 0, 2);
    le(central, 0100644u << 16, 4), le(central, offset, 4);
    central += name;
  }
  std::string end;
  le(end, 0x06054b50, 4), le(end, 0, 4), le(end, 2, 2), le(end, 2, 2);
  le(end, static_cast<std::uint32_t>(central.size()), 4);
  le(end, static_cast<std::uint32_t>(local.size()), 4), le(end, 0, 2);
  WriteFile(Archive(), local + central + end);

  pztest::CwdGuard guard;
  EXPECT_TRUE(Datei_Dekomprimieren(Archive(), root / "back", ctx, zip));
  EXPECT_FALSE(pztest::Exists(root / "escape.txt"));
  EXPECT_FALSE(pztest::Exists(absolute));
  EXPECT_EQ(pztest::ListTree(root / "back"), (std::vector<std::string>{"abs.txt", "escape.txt"}));
  EXPECT_EQ(ReadFile(root / "back/escape.txt"), "gotcha");
}

// Before a packed split cuts the archive it is read back; anything but the one member of the
// source, with the source's size, stops the split.
TEST_F(CompressTest, PackedSplitReadsTheArchiveBack) {
  const std::string source = root / "src/film.avi";
  WriteFile(source, pztest::RandomBytes(50000, 7));
  pztest::CwdGuard guard;
  EXPECT_TRUE(Gepackte_Trennung_Pruefen(false, false, Archive(), source, ctx, zip));
  EXPECT_FALSE(Gepackte_Trennung_Pruefen(true, false, Archive(), source, ctx, zip));  // not built
  ASSERT_TRUE(Datei_Komprimieren(source, Archive(), kLevelWeak, ctx, zip));
  ui.shown.clear();
  EXPECT_TRUE(Gepackte_Trennung_Pruefen(true, true, Archive(), source, ctx, zip));
  EXPECT_TRUE(ui.shown.empty());

  const std::string good = ReadFile(Archive());
  WriteFile(source, pztest::RandomBytes(50001, 7));  // the source changed since packing
  EXPECT_FALSE(Gepackte_Trennung_Pruefen(true, true, Archive(), source, ctx, zip));
  WriteFile(source, pztest::RandomBytes(50000, 7));
  WriteFile(Archive(), good.substr(0, good.size() - 30));  // end record cut off
  EXPECT_FALSE(Gepackte_Trennung_Pruefen(true, true, Archive(), source, ctx, zip));
  WriteFile(Archive(), "");  // an engine that reported success but wrote nothing
  EXPECT_FALSE(Gepackte_Trennung_Pruefen(true, true, Archive(), source, ctx, zip));
  ASSERT_FALSE(ui.shown.empty());
  EXPECT_EQ(ui.shown.back(), (std::pair<std::string, MsgIcon>{"T114", MsgIcon::Error}));
}

struct Member {
  std::string name;
  std::string data;
  std::uint32_t unixMode = 0;  // 0: none recorded
};

void MakeArchive(const std::string& path, const std::vector<Member>& members) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(za, nullptr);
  for (const auto& m : members) {
    char* copy = static_cast<char*>(std::malloc(m.data.size() + 1));
    std::memcpy(copy, m.data.data(), m.data.size());
    zip_source_t* src = zip_source_buffer(za, copy, m.data.size(), 1);
    const zip_int64_t i = zip_file_add(za, m.name.c_str(), src, ZIP_FL_ENC_RAW);
    ASSERT_GE(i, 0) << m.name;
    zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(i), 0, ZIP_OPSYS_UNIX,
                                     m.unixMode << 16);
  }
  ASSERT_EQ(zip_close(za), 0);
}

// A packed join unpacks the file its header names and nothing else, and succeeds only when
// that file is there.
TEST_F(CompressTest, PackedJoinUnpacksOnlyTheRecordedMember) {
  pztest::CwdGuard guard;
  MakeArchive(Archive(), {{"film.avi", "the film", 0100644}, {".bashrc", "rm -rf ~", 0100644}});
  EXPECT_TRUE(Datei_Dekomprimieren(Archive(), root / "back", ctx, zip, "film.avi"));
  EXPECT_EQ(pztest::ListTree(root / "back"), std::vector<std::string>{"film.avi"});
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].first, "T133\n  .bashrc");
  EXPECT_EQ(ui.shown[0].second, MsgIcon::Warning);

  // Only another name: nothing is unpacked and the join does not report a file it never made.
  ui.shown.clear();
  ::unlink((root / "back/film.avi").c_str());
  MakeArchive(Archive(), {{"other.txt", "not the film", 0100644}});
  EXPECT_FALSE(Datei_Dekomprimieren(Archive(), root / "back", ctx, zip, "film.avi"));
  EXPECT_TRUE(pztest::ListTree(root / "back").empty());
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[0].first, "T134 \"film.avi\"");
  EXPECT_EQ(ui.shown[1].first, "T59");

  // Python's zipfile records the permission bits alone: still an ordinary file, and the
  // file gets the recorded mode once it is complete.
  ui.shown.clear();
  MakeArchive(Archive(), {{"folder/film.avi", "from python", 0600}});
  EXPECT_TRUE(Datei_Dekomprimieren(Archive(), root / "back", ctx, zip, "film.avi"));
  EXPECT_EQ(ReadFile(root / "back/film.avi"), "from python");
  struct stat st {};
  ASSERT_EQ(::stat((root / "back/film.avi").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(ui.shown.empty());

  // A folder part written the Windows way is a folder part too: the file comes back by name.
  ::unlink((root / "back/film.avi").c_str());
  MakeArchive(Archive(), {{"folder\\film.avi", "from windows", 0100644}});
  EXPECT_TRUE(Datei_Dekomprimieren(Archive(), root / "back", ctx, zip, "film.avi"));
  EXPECT_EQ(pztest::ListTree(root / "back"), std::vector<std::string>{"film.avi"});
  EXPECT_EQ(ReadFile(root / "back/film.avi"), "from windows");
}

// A missing engine is reported by the component once; the stage adds its own warning.
TEST_F(CompressTest, MissingEngineIsReportedOnce) {
  pztest::ScratchDir empty;
  zip.SetDLLDirectory(empty.path());
  WriteFile(root / "src/f.txt", "x");
  int reports = 0;
  zip.OnMessage = [&](TZipArchiver&, int, const std::string&) { ++reports; };
  EXPECT_FALSE(Datei_Komprimieren(root / "src/f.txt", Archive(), kLevelWeak, ctx, zip));
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(ui.shown.size(), 2u);
  reports = 0;
  pztest::CwdGuard guard;
  MakeArchive(root / "a.zip", {{"f.txt", "x"}});
  EXPECT_FALSE(Datei_Dekomprimieren(root / "a.zip", root / "back", ctx, zip));
  EXPECT_EQ(reports, 1);
}

}  // namespace
