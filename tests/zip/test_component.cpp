// The component against the fake engine: command blocks, callback, messages, busy flags.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "tests/zip/fake_engine.h"
#include "tests/zip/zip_test_util.h"
#include "zip/ziparchiver.h"

namespace {

using namespace pz;
using namespace pz::zipabi;

struct FakeLib {
  void* handle = nullptr;
  FakeSetVersionFn setVersion = nullptr;
  FakeSetResultFn setResult = nullptr;
  FakeSetScriptFn setScript = nullptr;
  FakeLastRecordFn last = nullptr;
  FakeResetFn reset = nullptr;

  explicit FakeLib(const char* file) {
    // Held open for the whole test so its record survives the component's unload.
    handle = ::dlopen((std::string(PZ_TEST_FAKE_DIR) + "/" + file).c_str(), RTLD_NOW);
    if (handle == nullptr) return;
    setVersion = reinterpret_cast<FakeSetVersionFn>(::dlsym(handle, "FakeSetVersion"));
    setResult = reinterpret_cast<FakeSetResultFn>(::dlsym(handle, "FakeSetResult"));
    setScript = reinterpret_cast<FakeSetScriptFn>(::dlsym(handle, "FakeSetScript"));
    last = reinterpret_cast<FakeLastRecordFn>(::dlsym(handle, "FakeLastRecord"));
    reset = reinterpret_cast<FakeResetFn>(::dlsym(handle, "FakeReset"));
  }
  ~FakeLib() {
    if (handle != nullptr) ::dlclose(handle);
  }
};

FakeCall Call(int action, int error, int size, const std::string& text) {
  FakeCall c{action, error, size, {}};
  std::memcpy(c.text, text.data(), std::min(text.size(), sizeof c.text));
  return c;
}

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(zipLib.handle, nullptr) << ::dlerror();
    ASSERT_NE(unzipLib.handle, nullptr) << ::dlerror();
    zipLib.reset();
    unzipLib.reset();
    zip.SetDLLDirectory(PZ_TEST_FAKE_DIR);
    zip.ShowMessageHook = [this](const std::string& t) { boxes.push_back(t); };
    zip.OnMessage = [this](TZipArchiver&, int code, const std::string& t) {
      messages.push_back({code, t});
    };
    pztest::WriteFile(dir / "source.txt", "data");
    pztest::WriteFile(dir / "empty.zip", std::string("PK\5\6", 4) + std::string(18, '\0'));
  }

  // The number in the fallback text of the last message.
  int LastNumber() const {
    const std::string& m = zip.LastMessage();
    auto pos = m.rfind(": ");
    return pos == std::string::npos ? -1 : std::atoi(m.c_str() + pos + 2);
  }

  void Add(const std::vector<std::string>& specs) {
    zip.SetZipFilename(dir / "out.zip");
    zip.FSpecArgs() = specs;
    zip.AddFiles();
  }

  FakeLib zipLib{"ZIPENG.DLL"};
  FakeLib unzipLib{"UNZENG.DLL"};
  pztest::ScratchDir dir;
  TZipArchiver zip;
  std::vector<std::string> boxes;
  std::vector<std::pair<int, std::string>> messages;
};

TEST_F(ComponentTest, DefaultsOfThePublishedProperties) {
  TZipArchiver z;
  EXPECT_FALSE(z.Verbose());
  EXPECT_FALSE(z.Trace());
  EXPECT_EQ(z.AddCompLevel(), 9);
  EXPECT_TRUE(z.AddOptions().Empty());
  EXPECT_TRUE(z.ExtrOptions().Empty());
  EXPECT_EQ(z.SFXOptions(), SFXOpts{SFXCheckSize});
  EXPECT_EQ(z.SFXPath(), "PzxSfx.bin");
  EXPECT_EQ(z.SFXOverWriteMode(), OvrConfirm);
  EXPECT_EQ(z.SFXCaption(), "Self-extracting Archive");
  EXPECT_EQ(z.MinFreeVolumeSize(), 65536);
  EXPECT_TRUE(z.ConfirmErase());
  EXPECT_EQ(z.CodePage(), cpAuto);
  EXPECT_EQ(z.HowToDelete(), htdAllowUndo);
  z.SetVersionInfo("9.9");
  EXPECT_EQ(z.VersionInfo(), "1.1 P");
  // Sets keep value 0 in the lowest bit; AddOpts is two bytes.
  EXPECT_EQ(AddOpts({AddDirNames, AddDiskSpanErase}).Raw(), 0x0801);
  static_assert(sizeof(AddOpts) == 2);
}

struct LayoutCase {
  bool zipEngine;
  int version;
  std::size_t size32;
};

class LayoutTest : public ComponentTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(LayoutTest, EngineVersionSelectsTheBlockLayout) {
  const LayoutCase c = GetParam();
  FakeLib& lib = c.zipEngine ? zipLib : unzipLib;
  lib.setVersion(c.version);
  if (c.zipEngine) {
    Add({dir / "source.txt"});
  } else {
    zip.SetZipFilename(dir / "empty.zip");
    zip.ExtractFiles();
  }
  const FakeRecord* r = lib.last();
  ASSERT_EQ(r->calls, 1);
  const bool old32 = c.size32 > 1000;
  std::size_t expected;
  std::size_t trailerAt;
  if (c.zipEngine && old32) {
    expected = sizeof(ZipBlockOld);
    trailerAt = offsetof(ZipBlockOld, trailer);
    EXPECT_EQ(c.size32, sizeof(ZipBlockOldT<std::uint32_t>));
  } else if (c.zipEngine) {
    expected = sizeof(ZipBlockNew);
    trailerAt = offsetof(ZipBlockNew, trailer);
    EXPECT_EQ(c.size32, sizeof(ZipBlockNewT<std::uint32_t>));
  } else if (old32) {
    expected = sizeof(UnzipBlockOld);
    trailerAt = offsetof(UnzipBlockOld, trailer);
    EXPECT_EQ(c.size32, sizeof(UnzipBlockOldT<std::uint32_t>));
  } else {
    expected = sizeof(UnzipBlockNew);
    trailerAt = offsetof(UnzipBlockNew, trailer);
    EXPECT_EQ(c.size32, sizeof(UnzipBlockNewT<std::uint32_t>));
  }
  ASSERT_EQ(r->blockSize, expected);
  std::int32_t trailer;
  std::memcpy(&trailer, r->bytes.data() + trailerAt, 4);
  EXPECT_EQ(trailer, 7);
  ASSERT_EQ(r->specs.size(), c.zipEngine ? 1u : 0u);
  EXPECT_TRUE(r->specRecordsZero);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, LayoutTest,
    ::testing::Values(LayoutCase{true, 150, 16520}, LayoutCase{true, 151, 216},
                      LayoutCase{true, 152, 216}, LayoutCase{false, 150, 16464},
                      LayoutCase{false, 151, 16464}, LayoutCase{false, 152, 148}),
    [](const ::testing::TestParamInfo<LayoutCase>& i) {
      return std::string(i.param.zipEngine ? "Zip" : "Unzip") + std::to_string(i.param.version);
    });

// Every field of the block, and every byte that no field names must be zero: the received
// block is compared byte for byte with one built here from the published layout.
TEST_F(ComponentTest, ZipBlockCarriesEveryOptionAndNothingElse) {
  for (int version : {150, 152}) {
    zipLib.setVersion(version);
    zip.SetOwnerWindow(0x4242);
    zip.SetTrace(true);
    zip.SetAddCompLevel(3);
    zip.SetPassword(std::string(100, 'p'));
    zip.SetTempDir(dir.path());
    zip.SetAddOptions({AddEncrypt, AddHiddenFiles, AddSeparateDirs, AddDirNames, AddRecurseDirs,
                       AddForceDOS, AddMove, AddFreshen, AddUpdate, AddZipTime});
    Add({dir / "source.txt", "b*.txt"});
    const FakeRecord* r = zipLib.last();
    ASSERT_EQ(r->calls, 1) << version;

    ZipBlockHead h{};
    std::memcpy(&h, r->bytes.data(), sizeof h);
    EXPECT_EQ(h.ownerWindow, 0x4242u);
    EXPECT_EQ(h.caller, reinterpret_cast<Addr>(&zip));
    EXPECT_EQ(h.version, 158);
    EXPECT_EQ(h.callback, reinterpret_cast<Addr>(&TZipArchiver::EngineCallback));
    EXPECT_EQ(r->password, std::string(80, 'p') + '\0');
    EXPECT_EQ(r->archive, dir / "out.zip");
    EXPECT_EQ(r->specs, (std::vector<std::string>{dir / "source.txt", "b*.txt"}));

    ZipBlockHead e{};
    e.ownerWindow = 0x4242;
    e.caller = h.caller;
    e.version = 158;
    e.callback = h.callback;
    e.trace = -1;
    e.password = h.password;
    e.encrypt = -1;
    e.hiddenFiles = -1;
    e.noSeparateDirs = 0;
    e.verbose = -1;  // Trace implies verbose
    e.always56 = -1;
    e.level = 3;
    e.noDirNames = 0;
    e.recurse = 0xFFFF;
    e.always80 = -1;
    e.forceDos = -1;
    e.move = -1;
    e.update = -1;
    e.freshen = 0;  // update wins
    e.zipTime = -1;
    e.count = 2;
    e.archive = h.archive;
    EXPECT_EQ(std::memcmp(&e, r->bytes.data(), sizeof e), 0) << version;
    if (version == 152) {
      ZipBlockNew n{};
      std::memcpy(&n, r->bytes.data(), sizeof n);
      EXPECT_EQ(r->tempDir, dir.path());
      ZipBlockNew en{};
      en.head = e;
      en.tempDir = n.tempDir;
      en.specArray = n.specArray;
      en.trailer = 7;
      EXPECT_EQ(std::memcmp(&en, &n, sizeof n), 0);
    } else {
      ZipBlockOld o{};
      std::memcpy(&o, r->bytes.data(), sizeof o);
      for (int i = 2; i < kOldSpecTableSize; ++i) ASSERT_EQ(o.specs[i], 0u) << i;
      EXPECT_EQ(o.trailer, 7);
    }
  }
}

TEST_F(ComponentTest, ZipBlockWithNoOptionsSetsTheInvertedFlags) {
  zip.SetUnattended(true);
  zip.SetOwnerWindow(0x4242);
  Add({dir / "source.txt"});
  ZipBlockHead h{};
  std::memcpy(&h, zipLib.last()->bytes.data(), sizeof h);
  EXPECT_EQ(h.ownerWindow, 0u);  // unattended: no owner window
  EXPECT_EQ(h.noSeparateDirs, -1);
  EXPECT_EQ(h.noDirNames, -1);
  EXPECT_EQ(h.recurse, 0);
  EXPECT_EQ(h.verbose, 0);
  EXPECT_EQ(h.level, 9);
  EXPECT_EQ(zipLib.last()->tempDir, "");
  ZipBlockNew n{};
  std::memcpy(&n, zipLib.last()->bytes.data(), sizeof n);
  EXPECT_EQ(n.tempDir, 0u);
}

TEST_F(ComponentTest, UnzipBlockCarriesEveryOptionAndNothingElse) {
  for (int version : {151, 152}) {
    unzipLib.setVersion(version);
    zip.SetOwnerWindow(0x77);
    zip.SetVerbose(true);
    zip.SetPassword("secret");
    zip.SetExtrOptions({ExtrTest, ExtrUpdate, ExtrFreshen, ExtrDirNames, ExtrOverWrite});
    zip.SetZipFilename(dir / "empty.zip");
    zip.FSpecArgs() = {"a.txt", "b.txt", "c.txt"};
    zip.ExtractFiles();
    const FakeRecord* r = unzipLib.last();
    ASSERT_EQ(r->calls, 1);
    UnzipBlockHead h{};
    std::memcpy(&h, r->bytes.data(), sizeof h);
    UnzipBlockHead e{};
    e.ownerWindow = 0x77;
    e.caller = reinterpret_cast<Addr>(&zip);
    e.version = 152;
    e.callback = reinterpret_cast<Addr>(&TZipArchiver::EngineCallback);
    e.password = h.password;
    e.test = -1;
    e.always40 = -1;
    e.verbose = -1;
    e.update = -1;
    e.freshen = 0;
    e.dirNames = -1;
    e.overwrite = -1;
    e.count = 3;
    e.archive = h.archive;
    EXPECT_EQ(std::memcmp(&e, &h, sizeof e), 0) << version;
    EXPECT_EQ(r->password.substr(0, 7), std::string("secret\0", 7));
    EXPECT_EQ(r->specs, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(r->archive, dir / "empty.zip");
    EXPECT_TRUE(zip.FSpecArgs().empty());  // cleared by the operation
    if (version == 152) {
      UnzipBlockNew n{};
      std::memcpy(&n, r->bytes.data(), sizeof n);
      UnzipBlockNew en{};
      en.head = e;
      en.specArray = n.specArray;
      en.trailer = 7;
      EXPECT_EQ(std::memcmp(&en, &n, sizeof n), 0);
    }
  }
}

TEST_F(ComponentTest, CallbackActionsReachTheEvents) {
  std::vector<std::tuple<ProgressType, std::string, std::int64_t>> progress;
  zip.OnProgress = [&](TZipArchiver& s, ProgressType t, const std::string& n, std::int64_t sz) {
    EXPECT_EQ(&s, &zip);
    progress.emplace_back(t, n, sz);
  };
  int pumped = 0;
  zip.ProcessMessagesHook = [&] { ++pumped; };
  FakeCall full = Call(1, 0, 7, "");
  std::memset(full.text, 'x', sizeof full.text);  // 512 bytes, no NUL
  std::vector<FakeCall> script = {Call(5, 0, 2, ""),
                                  Call(6, 0, 1234, ""),
                                  Call(1, 0, 99, "dir/name.txt"),
                                  Call(2, 0, 4096, ""),
                                  full,
                                  Call(4, 0x1234, 0, "engine says /x  \r\n\t"),
                                  Call(4, 0, 0, "plain note"),
                                  Call(9, 0, 0, "ignored"),
                                  Call(3, 0, 0, "")};
  zipLib.setScript(script.data(), static_cast<int>(script.size()));
  Add({dir / "source.txt"});

  using P = std::tuple<ProgressType, std::string, std::int64_t>;
  std::vector<P> want = {P{FileCountKnown, "", 2},
                         P{SizeTotalKnown, "", 1234},
                         P{FileBegins, "dir/name.txt", 99},
                         P{BytesDone, "", 4096},
                         P{FileBegins, std::string(512, 'x'), 7},
                         P{BatchDone, "", 0}};
  EXPECT_EQ(progress, want);
  EXPECT_EQ(zip.TotalSizeToProcess(), 1234);
  // The error code keeps its value when a later message has code 0.
  EXPECT_EQ(zip.ErrorCode(), 0x34);
  EXPECT_EQ(zip.FullErrorCode(), 0x1234);
  EXPECT_EQ(zip.LastMessage(), "plain note");
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[0], (std::pair<int, std::string>{0x1234, "engine says /x"}));
  EXPECT_EQ(messages[1], (std::pair<int, std::string>{0, "plain note"}));
  EXPECT_EQ(pumped, static_cast<int>(script.size()));
  EXPECT_EQ(zipLib.last()->answers, std::vector<int>(script.size(), 0));
}

TEST_F(ComponentTest, CancelFromAHandlerStopsAtThatCallback) {
  zip.OnProgress = [&](TZipArchiver& s, ProgressType t, const std::string&, std::int64_t) {
    if (t == BytesDone) s.SetCancelRequested(true);
  };
  std::vector<FakeCall> script = {Call(1, 0, 1, "a"), Call(2, 0, 1, ""), Call(2, 0, 1, "")};
  zipLib.setScript(script.data(), 3);
  zipLib.setResult(0);
  Add({dir / "source.txt"});
  EXPECT_EQ(zipLib.last()->answers, (std::vector<int>{0, -1}));
  EXPECT_FALSE(zip.CancelRequested());  // cleared when the operation ends
  EXPECT_EQ(zip.SuccessCount(), 0);
}

TEST_F(ComponentTest, AddFilesRefusalsNeverCallTheEngine) {
  zip.SetZipFilename(dir / "out.zip");
  zip.AddFiles();
  EXPECT_EQ(zip.ErrorCode(), 10301);
  EXPECT_EQ(zip.LastMessage(), "No file was named to pack.");
  ASSERT_EQ(boxes.size(), 1u);

  zip.SetZipFilename("");
  zip.FSpecArgs() = {dir / "source.txt"};
  zip.AddFiles();
  EXPECT_EQ(zip.ErrorCode(), 10102);
  EXPECT_EQ(boxes.size(), 2u);

  zip.SetUnattended(true);
  zip.SetZipFilename(dir / "out.zip");
  zip.SetAddOptions({AddEncrypt});
  zip.FSpecArgs() = {dir / "source.txt"};
  zip.AddFiles();
  EXPECT_EQ(zip.ErrorCode(), 10302);

  zip.SetAddOptions({AddDiskSpan, AddFreshen});
  zip.AddFiles();
  EXPECT_EQ(zip.ErrorCode(), 10303);
  zip.SetAddOptions({AddDiskSpan});
  zip.SetZipFilename(dir / "out.EXE");
  zip.AddFiles();
  EXPECT_EQ(zip.ErrorCode(), 11041);

  EXPECT_EQ(zipLib.last()->calls, 0);
  EXPECT_EQ(boxes.size(), 2u);  // unattended: no more boxes, but every message went on
  EXPECT_EQ(messages.size(), 5u);
  EXPECT_EQ(zip.SuccessCount(), 0);
  EXPECT_FALSE(zip.ZipActive());
}

TEST_F(ComponentTest, MissingEngineReportsAndLeavesNothingBusy) {
  pztest::ScratchDir empty;
  zip.SetDLLDirectory(empty.path() + "/");
  EXPECT_EQ(zip.DLLDirectory(), empty.path());
  zipLib.setResult(5);
  Add({dir / "source.txt"});  // falls back to the bare name, which the search does not find
  EXPECT_EQ(zip.ErrorCode(), 10604);
  EXPECT_EQ(zip.SuccessCount(), 0);
  EXPECT_FALSE(zip.ZipActive());
  EXPECT_FALSE(zip.UnzipActive());
  EXPECT_FALSE(zip.ZipEngineLoaded());
  EXPECT_EQ(zip.ZipEngineVersion(), 0);

  zip.SetZipFilename(dir / "empty.zip");
  zip.ExtractFiles();
  EXPECT_EQ(zip.ErrorCode(), 10704);
  EXPECT_FALSE(zip.UnzipActive());
}

TEST_F(ComponentTest, LoadingFromTheEngineFolder) {
  zip.SetTrace(true);
  zip.LoadZipEngine();
  EXPECT_TRUE(zip.ZipEngineLoaded());
  EXPECT_EQ(zip.ErrorCode(), 10601);
  zip.LoadUnzipEngine();
  EXPECT_EQ(zip.ErrorCode(), 10701);
  zipLib.setVersion(150);
  EXPECT_EQ(zip.ZipEngineVersion(), 150);
  EXPECT_TRUE(zip.ZipEngineLoaded());  // loaded by the caller: stays loaded
  zip.UnloadZipEngine();
  zip.UnloadUnzipEngine();
  EXPECT_FALSE(zip.ZipEngineLoaded());
  unzipLib.setVersion(151);
  EXPECT_EQ(zip.UnzipEngineVersion(), 151);
  EXPECT_FALSE(zip.UnzipEngineLoaded());  // loaded for the call only

  // An engine loaded by the caller survives AddFiles; one loaded by AddFiles does not.
  zip.SetTrace(false);
  zip.LoadZipEngine();
  Add({dir / "source.txt"});
  EXPECT_TRUE(zip.ZipEngineLoaded());
  zip.UnloadZipEngine();
  Add({dir / "source.txt"});
  EXPECT_FALSE(zip.ZipEngineLoaded());
}

TEST_F(ComponentTest, EngineResultIsTheSuccessCount) {
  zipLib.setResult(3);
  Add({dir / "source.txt"});
  EXPECT_EQ(zip.SuccessCount(), 3);
  zipLib.setResult(-4);  // nonsense from an engine is no success
  Add({dir / "source.txt"});
  EXPECT_EQ(zip.SuccessCount(), 0);
  EXPECT_TRUE(zip.FSpecArgs().empty());
}

TEST_F(ComponentTest, ExtractIntoMissingFolderUnpacksNothing) {
  pztest::CwdGuard guard;
  char before[4096];
  ASSERT_NE(::getcwd(before, sizeof before), nullptr);
  zip.SetZipFilename(dir / "empty.zip");
  zip.SetExtrBaseDir(dir / "missing");
  zip.ExtractFiles();
  char after[4096];
  ASSERT_NE(::getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(before, after);
  EXPECT_EQ(unzipLib.last()->calls, 0);
  EXPECT_EQ(zip.ErrorCode(), zipmsg::kNoTargetFolder);
  EXPECT_FALSE(zip.UnzipActive());

  zip.SetExtrBaseDir(dir.path());
  zip.ExtractFiles();
  ASSERT_NE(::getcwd(after, sizeof after), nullptr);
  EXPECT_EQ(std::string(after), dir.path());  // the engine unpacks relative to it
}

TEST_F(ComponentTest, UnattendedEncryptedExtractUsesThePlaceholder) {
  pztest::CwdGuard guard;
  zip.SetUnattended(true);
  zip.SetAddOptions({AddEncrypt});
  zip.SetZipFilename(dir / "empty.zip");
  zip.ExtractFiles();
  EXPECT_EQ(zip.ErrorCode(), 10502);
  const std::string pw = unzipLib.last()->password;
  EXPECT_EQ(pw.substr(0, 79), std::string(79, pw[0]));
  EXPECT_EQ(pw[79], '\0');
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ComponentTest, MessageTextsComeFromTheTableWhenThereIsOne) {
  zip.MessageTextHook = [](int n) { return n == 10301 ? std::string("Nothing to add") : ""; };
  zip.SetZipFilename(dir / "out.zip");
  zip.AddFiles();
  EXPECT_EQ(zip.LastMessage(), "Nothing to add");
  EXPECT_EQ(zip.FormatDisk(), -1);
  EXPECT_EQ(zip.LastMessage(), "Formatting disks is not available on this platform");
}

// Every number the component can report has words in both languages, chosen by the code letter.
TEST_F(ComponentTest, OwnMessageTableCoversEveryNumberInBothLanguages) {
  for (int n : zipmsg::kAll) {
    const std::string german = zipmsg::Text(n, "D");
    const std::string english = zipmsg::Text(n, "E");
    EXPECT_FALSE(german.empty()) << n;
    EXPECT_FALSE(english.empty()) << n;
    if (n != zipmsg::kCopying) {
      EXPECT_NE(german, english) << n;
    }
  }
  zip.SetLanguageCodeLetter("D");
  zip.SetZipFilename(dir / "out.zip");
  zip.AddFiles();
  EXPECT_EQ(zip.LastMessage(), "Es wurde keine Datei zum Packen angegeben.");
  // A damaged directory is told in words, with the archive's name where the text has room.
  pztest::WriteFile(dir / "bad.zip", std::string(30, 'x'));
  zip.SetLanguageCodeLetter("E");
  zip.SetZipFilename(dir / "bad.zip");
  EXPECT_EQ(zip.ErrorCode(), zipmsg::kNotSpannedStart);
  EXPECT_EQ(zip.LastMessage().find("Missing String ID"), std::string::npos);
  EXPECT_EQ(zip.LastMessage(), "This file is not a ZIP archive, or its end is missing.");
}

}  // namespace
