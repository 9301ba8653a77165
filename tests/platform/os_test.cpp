// Where the program finds its data folders and where it makes its temporary archive: beside
// itself in a program folder, in the installed places when it runs from PREFIX/bin, and never
// inside folders the user cannot write.
#include "platform/os.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using pz::DataFolder;
using pz::TempArchivPfad;

class Folders : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pz-os-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    for (const char* var : {"XDG_CACHE_HOME", "HOME"}) {
      const char* value = getenv(var);
      saved.emplace_back(var, value == nullptr ? "" : value, value != nullptr);
    }
  }
  void TearDown() override {
    for (const auto& [var, value, set] : saved) {
      if (set)
        setenv(var.c_str(), value.c_str(), 1);
      else
        unsetenv(var.c_str());
    }
    std::string cmd = "rm -rf '" + root + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  std::string Make(const std::string& relative) {
    std::string path = root;
    for (std::size_t pos = 0; pos != std::string::npos;) {
      const std::size_t next = relative.find('/', pos);
      path = root + "/" + relative.substr(0, next);
      ::mkdir(path.c_str(), 0755);
      pos = next == std::string::npos ? next : next + 1;
    }
    return path;
  }

  std::string root;
  std::vector<std::tuple<std::string, std::string, bool>> saved;
};

TEST_F(Folders, DataFoldersBesideTheProgramComeFirstThenTheInstalledPlaces) {
  // A program folder (the build folder) holds its data folders itself.
  const std::string build = Make("build");
  Make("build/language_parzello");
  Make("build/dll_parzello");
  EXPECT_EQ(DataFolder(build, pz::kLanguageFolder), build + "/language_parzello");
  EXPECT_EQ(DataFolder(build, pz::kDllFolder), build + "/dll_parzello");

  // Installed as PREFIX/bin: engines below lib, everything else below share.
  const std::string bin = Make("usr/bin");
  Make("usr/lib/parzello/dll_parzello");
  Make("usr/share/parzello/language_parzello");
  Make("usr/share/parzello/help_parzello");
  EXPECT_EQ(DataFolder(bin, pz::kDllFolder), root + "/usr/lib/parzello/dll_parzello");
  EXPECT_EQ(DataFolder(bin, pz::kLanguageFolder), root + "/usr/share/parzello/language_parzello");
  EXPECT_EQ(DataFolder(bin, pz::kHelpFolder), root + "/usr/share/parzello/help_parzello");
  // Missing everywhere: named beside the program, where its absence is reported as before.
  EXPECT_EQ(DataFolder(bin, pz::kAwardFolder), bin + "/award_parzello");
  // A folder that is not PREFIX/bin has no installed places.
  const std::string other = Make("usr/libexec");
  EXPECT_EQ(DataFolder(other, pz::kDllFolder), other + "/dll_parzello");
}

TEST_F(Folders, TemporaryArchiveBesideTheProgramOnlyInAProgramFolderOfTheUser) {
  const std::string build = Make("build");
  EXPECT_EQ(TempArchivPfad(build), build + "/temp_parzello/temp.pzx");
  EXPECT_EQ(DataFolder(build, pz::kTempFolder), build + "/temp_parzello");

  // Installed (PREFIX/bin, whoever may write there): the user's cache folder, made for it.
  const std::string bin = Make("usr/bin");
  setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
  EXPECT_EQ(TempArchivPfad(bin), root + "/cache/parzello/temp.pzx");
  EXPECT_TRUE(pz::FolderExists(root + "/cache/parzello"));
  struct stat st {};
  ASSERT_EQ(stat((root + "/cache/parzello").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(DataFolder(bin, pz::kTempFolder), root + "/cache/parzello");

  // Without XDG_CACHE_HOME (or with a relative one, which does not count): ~/.cache.
  setenv("XDG_CACHE_HOME", "relative", 1);
  setenv("HOME", (root + "/home").c_str(), 1);
  EXPECT_EQ(TempArchivPfad(bin), root + "/home/.cache/parzello/temp.pzx");
  unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(TempArchivPfad(bin), root + "/home/.cache/parzello/temp.pzx");
  EXPECT_TRUE(pz::FolderExists(root + "/home/.cache/parzello"));

  // A program folder the user may not write to (root may write anywhere).
  if (geteuid() != 0) {
    const std::string locked = Make("locked");
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    EXPECT_EQ(TempArchivPfad(locked), root + "/home/.cache/parzello/temp.pzx");
    chmod(locked.c_str(), 0755);
  }
}

}  // namespace
