// The owner of libzip's archives: nothing is written unless committed, whoever holds it.
#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <utility>

#include "tests/zip/zip_test_util.h"
#include "zip/engines/ziphandle.h"

namespace {

using pz::ZipHandle;
using pztest::Exists;

// Adds one member from memory; false when libzip refuses it.
bool AddMember(const ZipHandle& za, const char* name) {
  static const char kData[] = "member data";
  zip_source_t* src = zip_source_buffer(za.get(), kData, sizeof kData - 1, 0);
  if (src == nullptr) return false;
  if (zip_file_add(za.get(), name, src, 0) >= 0) return true;
  zip_source_free(src);
  return false;
}

TEST(ZipHandle, WritesOnlyWhatIsCommittedWhoeverOwnsIt) {
  pztest::ScratchDir dir;
  const std::string discarded = dir / "discarded.zip";
  const std::string kept = dir / "kept.zip";
  int error = 0;
  {
    ZipHandle za = ZipHandle::Open(discarded, ZIP_CREATE, error);
    ASSERT_TRUE(za.valid());
    ASSERT_TRUE(AddMember(za, "a.txt"));
  }
  EXPECT_FALSE(Exists(discarded));

  ZipHandle moved;
  {
    ZipHandle za = ZipHandle::Open(kept, ZIP_CREATE, error);
    ASSERT_TRUE(AddMember(za, "b.txt"));
    moved = std::move(za);
    EXPECT_FALSE(za.valid());  // NOLINT(bugprone-use-after-move): the source is left empty
  }
  ASSERT_TRUE(moved.valid());
  EXPECT_TRUE(moved.Commit());
  EXPECT_FALSE(moved.valid());
  ZipHandle reread = ZipHandle::Open(kept, ZIP_RDONLY, error);
  ASSERT_TRUE(reread.valid());
  EXPECT_EQ(zip_get_num_entries(reread.get(), 0), 1);
  EXPECT_GE(zip_name_locate(reread.get(), "b.txt", 0), 0);
}

TEST(ZipHandle, FailuresKeepLibzipsReason) {
  pztest::ScratchDir dir;
  int error = 0;
  const ZipHandle missing = ZipHandle::Open(dir / "missing.zip", ZIP_RDONLY, error);
  EXPECT_FALSE(missing.valid());
  EXPECT_EQ(error, ZIP_ER_NOENT);
  EXPECT_FALSE(pz::OpenErrorText(error).empty());

  // The folder goes before the archive is written: the commit fails and the handle still
  // holds the archive, so that its error can be read.
  const std::string folder = dir.Sub("gone");
  ZipHandle za = ZipHandle::Open(folder + "/a.zip", ZIP_CREATE, error);
  ASSERT_TRUE(za.valid());
  ASSERT_TRUE(AddMember(za, "a.txt"));
  std::filesystem::remove(folder);
  EXPECT_FALSE(za.Commit());
  EXPECT_TRUE(za.valid());
  EXPECT_NE(zip_error_code_zip(zip_get_error(za.get())), ZIP_ER_OK);
}

}  // namespace
