#include "engine/header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "crypt/age.h"
#include "lang/codepage.h"
#include "test_support.h"

namespace pz {
namespace {

std::string Field(const HeaderBytes& b, std::size_t offset, std::size_t length) {
  return std::string(reinterpret_cast<const char*>(&b[offset]), length);
}

HeaderBytes Build(const std::string& name, std::int64_t size, bool compressed = false,
                  const std::string& password = "", bool protect = false) {
  test::ScriptedInteraction ui;
  if (!password.empty()) ui.passwords.push_back(password);
  HeaderBytes b;
  Header_Aufbauen(b, size, {name, compressed, protect || !password.empty()}, ui);
  return b;
}

TEST(SegmentHeader, LaysOutNameMarkerFlagsAndSize) {
  const HeaderBytes b = Build("a.txt", 3000000);
  EXPECT_EQ(Field(b, 0, 3), "005");
  EXPECT_EQ(Field(b, 3, 5), "a.txt");
  EXPECT_EQ(Field(b, 8, 291), std::string(291, '0'));
  EXPECT_EQ(Field(b, 302, 2), "PX");
  EXPECT_EQ(Field(b, 304, 5), "00000");
  EXPECT_EQ(b[309], '0');
  EXPECT_EQ(b[310], '0');
  EXPECT_EQ(Field(b, 311, 6), "000000");
  EXPECT_EQ(Field(b, 317, 2), "00");
  EXPECT_EQ(Field(b, 350, 2), "07");
  EXPECT_EQ(Field(b, 352, 7), "3000000");
}

TEST(SegmentHeader, EmptyFileAndCompressedFlag) {
  const HeaderBytes b = Build("x", 0, true);
  EXPECT_EQ(Field(b, 0, 3), "001");
  EXPECT_EQ(b[309], '1');
  EXPECT_EQ(Field(b, 350, 3), "010");
  HeaderInfo info;
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.dataSize, 0);
  EXPECT_TRUE(info.compressed);
}

TEST(SegmentHeader, TwoBuildsOfOneFileAreIdentical) {
  // Unassigned bytes must not carry leftovers of memory.
  EXPECT_EQ(Build("film.avi", 12345), Build("film.avi", 12345));
  EXPECT_EQ(Build("film.avi", 12345, false, "secret"), Build("film.avi", 12345, false, "secret"));
}

// A protected header as versions before encryption wrote it: the password scrambled at 319, its
// length at 317, byte 299 marking a UTF-8 password. Kept to read such sets.
HeaderBytes GatedHeader(const std::string& name, std::int64_t size, const std::string& stored,
                        unsigned char mark = '0') {
  HeaderBytes b = Build(name, size);
  b[hdr::kProtected.offset] = hdr::kFlagSet;
  const std::string digits = (stored.size() < 10 ? "0" : "") + std::to_string(stored.size());
  std::copy(digits.begin(), digits.end(), b.begin() + hdr::kPasswordLength.offset);
  const std::string scrambled = Passwort_Kodieren(stored, kPasswortSeed);
  std::copy(scrambled.begin(), scrambled.end(), b.begin() + hdr::kPassword.offset);
  if (mark != '0') b[kEncodingMarkOffset] = mark;
  return b;
}

// The check that readers before encryption make: the typed password against the stored one.
bool OlderReaderAccepts(const HeaderBytes& b, const std::string& typed) {
  if (b[hdr::kProtected.offset] != hdr::kFlagSet) return true;
  const int digits = (b[317] - '0') * 10 + (b[318] - '0');
  const auto length = static_cast<std::size_t>(digits);
  const std::string stored(reinterpret_cast<const char*>(&b[hdr::kPassword.offset]), length);
  return typed == Passwort_Dekodieren(stored, kPasswortSeed);
}

TEST(SegmentHeader, EncryptedHeaderStoresNoFormOfThePassword) {
  for (const std::string& pw : {std::string("123456789"), std::string(1024, 'q')}) {
    const HeaderBytes b = Build("f", 70000, false, pw);
    EXPECT_EQ(b[310], '1');
    EXPECT_EQ(b[311], kMarkAgeEncrypted);
    EXPECT_EQ(Field(b, 312, 5), "00000");
    EXPECT_EQ(Field(b, 317, 2), "00");
    EXPECT_EQ(Field(b, 319, 31), std::string(31, '0'));
    EXPECT_EQ(std::search(b.begin(), b.end(), pw.begin(), pw.begin() + 5), b.end());
    HeaderInfo info;
    ASSERT_TRUE(Header_Rekonstruieren(b, info));
    EXPECT_TRUE(info.password);
    EXPECT_TRUE(info.encrypted);
    EXPECT_TRUE(info.passwort.empty());
    // The size is that of the age file: 70000 bytes in two chunks, each with its tag.
    EXPECT_EQ(info.dataSize, age::EncryptedSize(70000));
    EXPECT_EQ(info.dataSize, 166 + 70000 + 2 * 16);
  }
}

TEST(SegmentHeader, OlderReadersRefuseAnEncryptedHeader) {
  const HeaderBytes b = Build("f", 1, false, "Geheim");
  for (const char* typed : {"Geheim", "x", "0", "00"}) {
    EXPECT_FALSE(OlderReaderAccepts(b, typed)) << typed;
  }
  // The same check accepts the password of a gated header, so it is the check itself.
  EXPECT_TRUE(OlderReaderAccepts(GatedHeader("f", 1, "Geheim"), "Geheim"));
}

TEST(SegmentHeader, PasswordsOfGatedHeadersReadBack) {
  for (const std::string& pw : {std::string("123456789"), std::string(30, 'q')}) {
    const HeaderBytes b = GatedHeader("f", 1, pw);
    HeaderInfo info;
    ASSERT_TRUE(Header_Rekonstruieren(b, info));
    EXPECT_TRUE(info.password);
    EXPECT_FALSE(info.encrypted);
    EXPECT_EQ(info.passwort, pw);
  }
  // The mark of encryption alone, beside a stored password, is no encrypted set.
  HeaderBytes b = GatedHeader("f", 1, "pw");
  b[kEncryptionMarkOffset] = kMarkAgeEncrypted;
  HeaderInfo info;
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_FALSE(info.encrypted);
  EXPECT_EQ(info.passwort, "pw");
}

TEST(SegmentHeader, DismissedPasswordEntryStoresNoPassword) {
  const HeaderBytes b = Build("f", 1, false, "", /*protect=*/true);
  EXPECT_EQ(b[310], '0');
  EXPECT_EQ(b[311], '0');
  EXPECT_EQ(Field(b, 317, 2), "00");
  EXPECT_EQ(Field(b, 352, 1), "1");
}

TEST(SegmentHeader, PassphraseOfMoreThanTheLimitIsRefused) {
  test::ScriptedInteraction ui;
  ui.passwords.push_back(std::string(kMaxPassphraseBytes + 1, 'x'));
  HeaderBytes b;
  try {
    Header_Aufbauen(b, 1, {"f", false, true}, ui);
    FAIL() << "accepted";
  } catch (const HeaderError& e) {
    EXPECT_EQ(e.kind(), HeaderError::Kind::PasswordTooLong);
  }
}

TEST(SegmentHeader, ReaderIgnoresPasswordBytesWithoutFlagAndOddFlags) {
  HeaderBytes b = GatedHeader("f", 5, "pw");
  b[310] = '0';
  b[309] = '2';
  HeaderInfo info;
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_FALSE(info.password);
  EXPECT_TRUE(info.passwort.empty());
  EXPECT_FALSE(info.compressed);
}

TEST(SegmentHeader, ScrambledPasswordMayHoldZeroAndDigitBytes) {
  // Find a password whose scrambled form holds a 0 byte and a "0": the reader must take the
  // stored length, not look for a terminator.
  const std::string key = Passwort_Kodieren(std::string(30, '\0'), kPasswortSeed);
  std::string pw;
  pw += key[0];        // scrambles to 0x00
  pw += key[1] ^ '0';  // scrambles to "0"
  pw += "ab";
  HeaderBytes b = GatedHeader("f", 1, pw);
  HeaderInfo info;
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.passwort, pw);
}

TEST(SegmentHeader, SizesOfTwoGibibytesAndMoreTakeAsManyDigitsAsNeeded) {
  HeaderBytes b = Build("f", 2147483647);
  EXPECT_EQ(Field(b, 350, 12), "102147483647");
  HeaderInfo info;
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.dataSize, 2147483647);

  for (std::int64_t size :
       {std::int64_t{2147483648}, std::int64_t{4294971392}, std::int64_t{9223372036854775807}}) {
    b = Build("f", size);
    const std::string digits = std::to_string(size);
    EXPECT_EQ(Field(b, 350, 2 + digits.size()), std::to_string(digits.size()) + digits);
    ASSERT_TRUE(Header_Rekonstruieren(b, info)) << size;
    EXPECT_EQ(info.dataSize, size);
  }
}

TEST(SegmentHeader, SizesBeyondSignedSixtyFourBitsSignsAndWrongCountsAreDamaged) {
  auto withSize = [](const std::string& count, const std::string& digits) {
    HeaderBytes b = Build("f", 1);
    std::copy(count.begin(), count.end(), b.begin() + 350);
    std::copy(digits.begin(), digits.end(), b.begin() + 352);
    return b;
  };
  HeaderInfo info;
  EXPECT_TRUE(Header_Rekonstruieren(withSize("19", "9223372036854775807"), info));
  for (const auto& [count, digits] :
       {std::pair<std::string, std::string>{"19", "9223372036854775808"},
        {"19", "9999999999999999999"},
        {"20", "10000000000000000000"},
        {"20", "00000000000000000001"},
        {"99", std::string(99, '0')},
        {"02", "-1"},
        {"02", "+1"},
        {"11", "2147483648 "}}) {
    EXPECT_THROW(Header_Rekonstruieren(withSize(count, digits), info), HeaderError)
        << count << " " << digits;
  }
}

TEST(SegmentHeader, BrokenDigitFieldsAndMarker) {
  const HeaderBytes good = Build("name.bin", 77);
  HeaderInfo info;
  for (std::size_t offset : {0u, 1u, 2u, 317u, 318u, 350u, 351u, 352u}) {
    HeaderBytes b = good;
    b[offset] = 'x';
    EXPECT_THROW(Header_Rekonstruieren(b, info), HeaderError) << "offset " << offset;
  }
  HeaderBytes b = good;
  b[303] = 'Y';
  info.name = "untouched";
  EXPECT_FALSE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.name, "untouched");
  b = good;
  b[350] = '0';
  b[351] = '0';
  EXPECT_THROW(Header_Rekonstruieren(b, info), HeaderError);
}

TEST(SegmentHeader, NamesInWindows1252AndUtf8) {
  // Windows peers store names in code page 1252; names outside it stay UTF-8.
  HeaderBytes b = Build(
      "Gr\xC3\xB6\xC3\x9F"
      "e.txt",
      1);
  EXPECT_EQ(Field(b, 0, 3), "009");
  EXPECT_EQ(Field(b, 3, 9),
            "Gr\xF6\xDF"
            "e.txt");
  HeaderInfo info;
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.name,
            "Gr\xC3\xB6\xC3\x9F"
            "e.txt");

  const std::string greek = "\xCE\xB1\xCE\xB2.txt";
  b = Build(greek, 1);
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.name, greek);
}

TEST(SegmentHeader, EncodingIsMarkedNeverGuessed) {
  // "Kunden Ä–Z.xlsx" in Windows-1252 happens to be valid UTF-8 ("Kunden ĖZ.xlsx").
  const std::string kunden = "Kunden \xC3\x84\xE2\x80\x93Z.xlsx";
  HeaderBytes b = GatedHeader(kunden, 1, "\xC4pfel");
  EXPECT_EQ(Field(b, 3, 10), "Kunden \xC4\x96Z");
  EXPECT_EQ(b[kEncodingMarkOffset], '0');  // fits Windows-1252: bytes as before
  HeaderInfo info;
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.name, kunden);
  EXPECT_EQ(info.passwort, "\xC4pfel");

  // Another writer's header without the mark: Windows-1252, even where the bytes are UTF-8.
  b[kEncodingMarkOffset] = 'x';
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.name, kunden);

  // Outside Windows-1252: UTF-8, marked for name and (in gated headers) password separately.
  const std::string greek = "\xCE\xB1\xCE\xB2.txt";
  const std::string cyrillic = "\xD0\xB6\xD0\xB8";
  b = Build(greek, 1);
  EXPECT_EQ(b[kEncodingMarkOffset], kMarkUtf8Name);
  b = GatedHeader(greek, 1, cyrillic, kMarkUtf8Both);
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.name, greek);
  EXPECT_EQ(info.passwort, Utf8ToEightBit(cyrillic));
  b = GatedHeader("\xC3\xA4.txt", 1, cyrillic, kMarkUtf8Password);
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.name, "\xC3\xA4.txt");
  EXPECT_EQ(info.passwort, Utf8ToEightBit(cyrillic));
  // An encrypted set's mark tells of the name only: the password is not stored.
  b = Build(greek, 1, false, cyrillic);
  EXPECT_EQ(b[kEncodingMarkOffset], kMarkUtf8Name);
}

TEST(SegmentHeader, NameLengthLimitOfTheField) {
  const std::string longest(296, 'n');
  HeaderBytes b = Build(longest, 1);
  HeaderInfo info;
  ASSERT_TRUE(Header_Rekonstruieren(b, info));
  EXPECT_EQ(info.name, longest);
  EXPECT_EQ(b[299 - 1], 'n');
  EXPECT_THROW(Build(longest + "n", 1), HeaderError);
}

TEST(PasswordScrambling, IsItsOwnInverseAndKeepsLength) {
  EXPECT_EQ(Passwort_Kodieren("", kPasswortSeed), "");
  const std::string pw = "Geheim!123";
  const std::string s = Passwort_Kodieren(pw, kPasswortSeed);
  EXPECT_EQ(s.size(), pw.size());
  EXPECT_NE(s, pw);
  EXPECT_EQ(Passwort_Dekodieren(s, kPasswortSeed), pw);
  EXPECT_NE(Passwort_Kodieren(pw, kPasswortSeed + 1), s);
  EXPECT_EQ(Passwort_Kodieren(std::string(300, 'a'), kPasswortSeed).size(), 255u);
}

TEST(PasswordScrambling, KeyTableFollowsTheGenerator) {
  // state' = state * 134775813 + 1 (mod 2^32); key = high word of state' * 255.
  const std::string key = Passwort_Kodieren(std::string(3, '\0'), 1);
  std::uint32_t state = 1;
  for (int j = 0; j < 3; ++j) {
    state = state * 134775813u + 1u;
    EXPECT_EQ(static_cast<unsigned char>(key[j]),
              static_cast<unsigned char>((std::uint64_t{state} * 255u) >> 32));
  }
  // Worked by hand: 134775814 * 255 / 2^32 = 8.0019..., then 219 and 51.
  EXPECT_EQ(static_cast<unsigned char>(key[0]), 8);
  EXPECT_EQ(static_cast<unsigned char>(key[1]), 219);
  EXPECT_EQ(static_cast<unsigned char>(key[2]), 51);
}

// A stored name stays as it is where one file name can hold it; only what cannot becomes "_",
// and it is never cut down to a part of it (which could name another file).
TEST(PlainFileNameRule, KeepsTheNameAndMarksOnlyWhatCannotStand) {
  const std::pair<std::string, std::string> cases[] = {
      {"film.avi", "film.avi"},
      {"back\\slash.bin", "back\\slash.bin"},
      {"..\\..\\boot.ini", "..\\..\\boot.ini"},
      {"tab\there", "tab\there"},
      {"cr\rlf\n", "cr\rlf\n"},
      {" blanks around ", " blanks around "},
      {"../../etc/passwd", ".._.._etc_passwd"},
      {"/abs/name", "_abs_name"},
      {"dir/", "dir_"},
      {std::string("a\0b.txt", 7), "a_b.txt"},
      {"..", "__"},
      {".", "_"},
      {"...", "..."},
      {"", ""},
  };
  for (const auto& [stored, plain] : cases) EXPECT_EQ(PlainFileName(stored), plain) << stored;
}

}  // namespace
}  // namespace pz
