// Reading archive directories: archives from the engine, from Debian's zip and built byte by
// byte for the edge cases and for damaged input.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/zip/zip_test_util.h"
#include "zip/ziparchiver.h"
#include "zip/zipformat.h"

namespace {

using namespace pz;
using pztest::ReadFile;
using pztest::WriteFile;

struct RawEntry {
  RawEntry(std::string n, std::uint8_t m = 20, std::uint8_t h = 0)
      : name(std::move(n)), madeBy(m), host(h) {}
  std::string name;
  std::uint8_t madeBy = 20;
  std::uint8_t host = 0;
  std::string data = "x";
  std::string comment;
};

// Little-endian, or `bytes` zero bytes for runs of zero fields.
void Le(std::string& s, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(i < 4 ? (v >> (8 * i)) & 0xFF : 0);
}

// Stored entries, offsets counted from the archive's own start.
std::string BuildArchive(const std::vector<RawEntry>& entries, const std::string& comment = "",
                         std::uint16_t disk = 0) {
  std::string local;
  std::string central;
  for (const auto& e : entries) {
    const auto offset = static_cast<std::uint32_t>(local.size());
    Le(local, zipfmt::kLocalSig, 4);
    Le(local, 10, 2);
    Le(local, 0, 2 * 5);
    Le(local, 0, 4);
    Le(local, static_cast<std::uint32_t>(e.data.size()), 4);
    Le(local, static_cast<std::uint32_t>(e.data.size()), 4);
    Le(local, static_cast<std::uint32_t>(e.name.size()), 2);
    Le(local, 0, 2);
    local += e.name + e.data;
    Le(central, zipfmt::kCentralSig, 4);
    central += static_cast<char>(e.madeBy);
    central += static_cast<char>(e.host);
    Le(central, 10, 2);
    Le(central, 0, 2 * 4);
    Le(central, 0, 4);
    Le(central, static_cast<std::uint32_t>(e.data.size()), 4);
    Le(central, static_cast<std::uint32_t>(e.data.size()), 4);
    Le(central, static_cast<std::uint32_t>(e.name.size()), 2);
    Le(central, 0, 2);
    Le(central, static_cast<std::uint32_t>(e.comment.size()), 2);
    Le(central, 0, 2 * 2);
    Le(central, 0, 4);
    Le(central, offset, 4);
    central += e.name + e.comment;
  }
  std::string end;
  Le(end, zipfmt::kEndSig, 4);
  Le(end, disk, 2);
  Le(end, disk, 2);
  Le(end, static_cast<std::uint32_t>(entries.size()), 2);
  Le(end, static_cast<std::uint32_t>(entries.size()), 2);
  Le(end, static_cast<std::uint32_t>(central.size()), 4);
  Le(end, static_cast<std::uint32_t>(local.size()), 4);
  Le(end, static_cast<std::uint32_t>(comment.size()), 2);
  return local + central + end + comment;
}

class DirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zip.SetUnattended(true);
    zip.OnMessage = [this](TZipArchiver&, int, const std::string&) {
      numbers.push_back(zip.ErrorCode());
    };
    zip.OnDirUpdate = [this](TZipArchiver&) { ++updates; };
  }
  void Read(const std::string& bytes) {
    WriteFile(dir / "a.zip", bytes);
    numbers.clear();
    updates = 0;
    zip.SetZipFilename(dir / "a.zip");
  }
  bool Reported(int n) const {
    return std::find(numbers.begin(), numbers.end(), n) != numbers.end();
  }

  pztest::ScratchDir dir;
  TZipArchiver zip;
  std::vector<int> numbers;
  int updates = 0;
};

TEST_F(DirectoryTest, EmptyArchiveHasNoEntries) {
  Read(BuildArchive({}));
  EXPECT_EQ(zip.Count(), 0);
  EXPECT_EQ(zip.FirstEntryOffset(), 0);
  EXPECT_EQ(zip.ZipFilename(), dir / "a.zip");
  EXPECT_TRUE(numbers.empty());
  EXPECT_EQ(updates, 1);
}

TEST_F(DirectoryTest, CommentIsFoundBySearching) {
  const std::string comment(100, 'c');
  const std::string bytes = BuildArchive({{"one.txt"}, {"two.txt"}}, comment);
  Read(bytes);
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.ArchiveComment(), comment);
  EXPECT_EQ(zip.EndRecordOffset(), static_cast<std::int64_t>(bytes.size()) - 122);
  EXPECT_EQ(zip.Contents()[1]->FileName, "two.txt");
  EXPECT_FALSE(zip.DirectoryMismatch());
  EXPECT_TRUE(numbers.empty());

  // A comment is cut at its first NUL.
  Read(BuildArchive({{"one.txt"}}, std::string("ab\0cd", 5)));
  EXPECT_EQ(zip.ArchiveComment(), "ab");
}

TEST_F(DirectoryTest, StubInFrontIsFoundAndReported) {
  const std::string stub(777, 's');
  Read(stub + BuildArchive({{"a.txt"}, {"b.txt"}}));
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_TRUE(zip.DirectoryMismatch());
  EXPECT_TRUE(Reported(10203));
  EXPECT_EQ(zip.FirstEntryOffset(), 777);
  EXPECT_EQ(zip.ZipFilename(), dir / "a.zip");  // a warning, not a failure
}

TEST_F(DirectoryTest, PaddingToA512ByteBlockIsNoTrailingData) {
  std::string bytes = BuildArchive({{"a.txt"}}, "x");
  ASSERT_NE(bytes.size() % 512, 0u);
  const std::size_t gap = 512 - bytes.size() % 512;
  Read(bytes + std::string(gap, '\0'));
  EXPECT_EQ(zip.Count(), 1);
  EXPECT_FALSE(Reported(10204));
  EXPECT_EQ(zip.FileSize(), static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(zip.RealFileSize(), static_cast<std::int64_t>(bytes.size() + gap));

  std::string dirty(gap, '\0');
  dirty[gap / 2] = 1;
  Read(bytes + dirty);
  EXPECT_TRUE(Reported(10204));
  EXPECT_EQ(zip.Count(), 1);

  // Zeros that do not end on a 512-byte boundary are trailing data too.
  Read(bytes + std::string(gap - 1, '\0'));
  EXPECT_TRUE(Reported(10204));
}

TEST_F(DirectoryTest, NotAnArchiveFailsAndClearsTheName) {
  for (const std::string& bytes : {std::string("short"), std::string(5000, 'n'), std::string()}) {
    Read(bytes);
    EXPECT_TRUE(Reported(11036)) << bytes.size();
    EXPECT_EQ(zip.ZipFilename(), "");
    EXPECT_EQ(zip.FirstEntryOffset(), 0);
    EXPECT_EQ(updates, 1);
  }
  // A spanned set's first part is told apart.
  std::string first;
  Le(first, zipfmt::kSpanSig, 4);
  Le(first, zipfmt::kLocalSig, 4);
  Read(first + std::string(100, 'd'));
  EXPECT_TRUE(Reported(11045));
  EXPECT_TRUE(zip.IsMultiVolume());
}

TEST_F(DirectoryTest, MissingFileShowsNothing) {
  numbers.clear();
  bool shown = false;
  zip.SetUnattended(false);
  zip.ShowMessageHook = [&](const std::string&) { shown = true; };
  zip.SetZipFilename(dir / "missing.zip");
  EXPECT_EQ(zip.Count(), 0);
  EXPECT_FALSE(shown);
  EXPECT_TRUE(numbers.empty());
  EXPECT_EQ(updates, 1);
}

TEST_F(DirectoryTest, NamesAreConvertedFromTheOemCodePageWhereTheHostSaysSo) {
  const std::string raw = "gr\x81n.txt";  // 0x81 is "ü" in code page 437
  const std::string utf8 = "gr\xC3\xBCn.txt";
  struct Case {
    std::uint8_t madeBy, host;
    CodePageOpts cp;
    bool converted;
  };
  for (const Case& c :
       {Case{20, 0, cpAuto, true}, Case{20, 0, cpNone, false}, Case{20, 3, cpAuto, false},
        Case{20, 3, cpOEM, true}, Case{20, 6, cpNone, true}, Case{50, 11, cpNone, true},
        Case{45, 11, cpAuto, false}}) {
    zip.SetCodePage(c.cp);
    RawEntry e{raw, c.madeBy, c.host};
    e.comment = "\x81";
    Read(BuildArchive({e}));
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.Contents()[0]->FileName, c.converted ? utf8 : raw) << int(c.host) << " " << c.cp;
    EXPECT_EQ(zip.Contents()[0]->FileComment, c.converted ? "\xC3\xBC" : "\x81");
  }
}

TEST_F(DirectoryTest, DamagedDirectoriesFailWithTheirNumbers) {
  std::string good = BuildArchive({{"a.txt"}, {"b.txt"}});
  const std::size_t endAt = good.size() - 22;

  std::string moreEntries = good;  // the end record counts entries that are not there
  moreEntries[endAt + 10] = 9;
  Read(moreEntries);
  EXPECT_TRUE(Reported(11013));
  EXPECT_EQ(zip.ZipFilename(), "");
  EXPECT_EQ(zip.Count(), 2);  // what was read before the failure stays

  std::string hugeDirectory = good;  // directory larger than the file
  hugeDirectory[endAt + 15] = 0x7F;
  Read(hugeDirectory);
  EXPECT_TRUE(Reported(10201));
  EXPECT_EQ(zip.Count(), 0);

  std::string longName = good;  // a name running past the end of the file
  const std::size_t firstCentral = good.find("PK\1\2");
  longName[firstCentral + 28] = static_cast<char>(0xFF);
  longName[firstCentral + 29] = static_cast<char>(0xFF);
  Read(longName);
  EXPECT_TRUE(Reported(11017));

  std::string badSig = good;
  badSig[firstCentral + 2] = 9;
  Read(badSig);
  EXPECT_TRUE(Reported(11015));

  std::string comment = BuildArchive({{"a.txt"}}, "abc");
  comment[comment.size() - 25 + 20] = static_cast<char>(0xF0);  // comment length past the end
  Read(comment);
  EXPECT_TRUE(Reported(11036));
}

TEST_F(DirectoryTest, EndRecordOnALaterDiskMeansMultipleVolumes) {
  Read(BuildArchive({{"a.txt"}}, "", 2));
  EXPECT_TRUE(zip.IsMultiVolume());
  EXPECT_EQ(zip.EndRecordDisk(), 2);
  EXPECT_EQ(zip.Count(), 1);
}

TEST_F(DirectoryTest, ArchivesOfDebiansZipTool) {
  WriteFile(dir / "one.txt", "first file\n");
  WriteFile(dir / "two.txt", std::string(5000, 'z'));
  ASSERT_EQ(pztest::Run("cd '" + dir.path() + "' && zip -q -9 z.zip one.txt two.txt && " +
                        "printf 'archive note' | zip -q -z z.zip"),
            0);
  zip.SetZipFilename(dir / "z.zip");
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.Contents()[0]->FileName, "one.txt");
  EXPECT_EQ(zip.Contents()[0]->UncomprSize, 11u);
  EXPECT_EQ(zip.Contents()[1]->UncomprSize, 5000u);
  EXPECT_EQ(zip.Contents()[1]->ComprMethod, 8);
  EXPECT_LT(zip.Contents()[1]->ComprSize, 5000u);
  EXPECT_EQ(zip.ArchiveComment(), "archive note");
  EXPECT_EQ(zip.FirstEntryOffset(), 0);

  // zip -A adjusts the offsets of an archive with a stub in front: no mismatch then.
  WriteFile(dir / "stub", std::string(1000, 's'));
  ASSERT_EQ(pztest::Run("cd '" + dir.path() + "' && cat stub z.zip > s.zip && zip -q -A s.zip"), 0);
  numbers.clear();
  zip.SetZipFilename(dir / "s.zip");
  EXPECT_EQ(zip.Count(), 2);
  EXPECT_FALSE(zip.DirectoryMismatch());
  EXPECT_EQ(zip.FirstEntryOffset(), 1000);
  EXPECT_FALSE(Reported(10203));

  // An empty archive as zip leaves it after deleting the last member.
  ASSERT_EQ(pztest::Run("cd '" + dir.path() + "' && zip -q z.zip -d one.txt two.txt"), 0);
  zip.SetZipFilename(dir / "z.zip");
  EXPECT_EQ(zip.Count(), 0);
}

TEST_F(DirectoryTest, Zip64EndRecordsAreFollowed) {
  WriteFile(dir / "one.txt", "1");
  WriteFile(dir / "two.txt", "22");
  // zip -fz writes ZIP64 records even for small archives.
  ASSERT_EQ(pztest::Run("cd '" + dir.path() + "' && zip -q -fz z.zip one.txt two.txt"), 0);
  zip.SetZipFilename(dir / "z.zip");
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.Contents()[1]->FileName, "two.txt");
  EXPECT_FALSE(zip.DirectoryMismatch());
  EXPECT_TRUE(numbers.empty());

  WriteFile(dir / "stub", std::string(300, 's'));
  ASSERT_EQ(pztest::Run("cd '" + dir.path() + "' && cat stub z.zip > s.zip"), 0);
  numbers.clear();
  zip.SetZipFilename(dir / "s.zip");
  EXPECT_EQ(zip.Count(), 2);
  EXPECT_TRUE(zip.DirectoryMismatch());
  EXPECT_EQ(zip.FirstEntryOffset(), 300);
}

// Large archives carry ZIP64 end records in front of a classic end record whose fields may
// still hold the true values; the ZIP64 records count, and so do the ZIP64 sizes of an entry.
TEST_F(DirectoryTest, Zip64RecordsInFrontOfAnUnsaturatedEndRecord) {
  const std::string plain = BuildArchive({RawEntry("a.txt"), RawEntry("b.txt")});
  const std::size_t endAt = plain.size() - zipfmt::kEndRecordSize;
  std::string end = plain.substr(endAt);
  const auto* endBytes = reinterpret_cast<const std::uint8_t*>(end.data());
  const std::uint32_t cdSize = zipfmt::Le32(endBytes + zipfmt::endrec::kCentralSize);
  const std::uint32_t cdOffset = zipfmt::Le32(endBytes + zipfmt::endrec::kCentralOffset);
  // The ZIP64 record's entries, size and offset each in two 32-bit halves, low first.
  auto zip64 = [&](std::uint32_t entriesHigh, std::uint32_t sizeHigh, std::uint32_t offsetHigh) {
    std::string z64;
    Le(z64, zipfmt::kZip64EndSig, 4);
    Le(z64, 44, 4);  // record size after this field (8 bytes)
    Le(z64, 0, 4);
    Le(z64, 45 | (45 << 16), 4);  // made by, needed
    Le(z64, 0, 8);                // disk numbers
    Le(z64, 2, 4), Le(z64, entriesHigh, 4), Le(z64, 2, 4), Le(z64, entriesHigh, 4);
    Le(z64, cdSize, 4), Le(z64, sizeHigh, 4), Le(z64, cdOffset, 4), Le(z64, offsetHigh, 4);
    std::string locator;
    Le(locator, zipfmt::kZip64LocatorSig, 4);
    Le(locator, 0, 4);
    Le(locator, static_cast<std::uint32_t>(endAt), 4), Le(locator, 0, 4);
    Le(locator, 1, 4);
    return plain.substr(0, endAt) + z64 + locator + end;
  };
  Read(zip64(0, 0, 0));
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.Contents()[1]->FileName, "b.txt");
  EXPECT_EQ(zip.CentralOffset(), cdOffset);
  EXPECT_FALSE(zip.DirectoryMismatch());
  EXPECT_TRUE(numbers.empty());

  // Entries, size or offset beyond the file are damage, refused before they are used.
  struct Beyond {
    std::uint32_t entries, size, offset;
  };
  for (const Beyond b : {Beyond{1, 0, 0}, Beyond{0, 1, 0}, Beyond{0, 0, 1}}) {
    SCOPED_TRACE(std::to_string(b.entries) + std::to_string(b.size) + std::to_string(b.offset));
    Read(zip64(b.entries, b.size, b.offset));
    EXPECT_TRUE(Reported(zipmsg::kSeekFailed));
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.ZipFilename(), "");
  }

  // A member past 4 GiB: saturated 32-bit sizes, the true ones in the ZIP64 extra field.
  std::string central;
  Le(central, zipfmt::kCentralSig, 4);
  Le(central, 45 | (3 << 8), 2);
  Le(central, 45, 2);
  Le(central, 0, 2 * 4);
  Le(central, 0, 4);
  Le(central, 0xFFFFFFFF, 4), Le(central, 0xFFFFFFFF, 4);
  Le(central, 3, 2), Le(central, 4 + 16, 2), Le(central, 0, 2);
  Le(central, 0, 2 * 2), Le(central, 0, 4), Le(central, 0, 4);
  central += "big";
  Le(central, zipfmt::kZip64ExtraId, 2), Le(central, 16, 2);
  Le(central, 0x10, 4), Le(central, 1, 4);  // 4 GiB + 16
  Le(central, 0x20, 4), Le(central, 0, 4);
  std::string tail;
  Le(tail, zipfmt::kEndSig, 4);
  Le(tail, 0, 4), Le(tail, 1, 2), Le(tail, 1, 2);
  Le(tail, static_cast<std::uint32_t>(central.size()), 4), Le(tail, 0, 4), Le(tail, 0, 2);
  Read(central + tail);
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.Contents()[0]->Size, 0x100000010u);
  EXPECT_EQ(zip.Contents()[0]->ComprSize64, 0x20u);
}

TEST_F(DirectoryTest, ArchivesOfTheEngine) {
  WriteFile(dir / "a.txt", "alpha");
  WriteFile(dir / "b.bin", pztest::RandomBytes(70000, 1));
  zip.SetDLLDirectory(PZ_TEST_DLL_DIR);
  zip.SetZipFilename(dir / "e.zip");
  zip.FSpecArgs() = {dir / "a.txt", dir / "b.bin"};
  zip.AddFiles();
  ASSERT_EQ(zip.SuccessCount(), 2);
  ASSERT_EQ(zip.Count(), 2);  // read again after packing
  EXPECT_EQ(zip.Contents()[0]->FileName, "a.txt");
  EXPECT_EQ(zip.Contents()[1]->FileName, "b.bin");
  EXPECT_EQ(zip.Contents()[1]->UncomprSize, 70000u);
  EXPECT_EQ(zip.Contents()[0]->HostVersionNo, zipfmt::kHostUnix);
  EXPECT_EQ(zip.CentralOffset(),
            zip.EndRecordOffset() - static_cast<std::int64_t>(zip.Contents().size()) * 46 - 5 - 5 -
                zip.Contents()[0]->ExtraFieldLength - zip.Contents()[1]->ExtraFieldLength);
  EXPECT_EQ(pztest::Run("unzip -tqq '" + dir / "e.zip" + "'"), 0);
}

}  // namespace
