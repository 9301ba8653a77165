#include "lang/language.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "lang/codepage.h"
#include "test_support.h"

namespace pz {
namespace {

using test::WriteFile;

class RecordingLanguageUi : public LanguageUi {
 public:
  std::vector<std::string> errors;
  int busy = 0;
  void LanguageError(const std::string& text) override { errors.push_back(text); }
  void LanguageBusy(bool on) override { busy += on ? 1 : -1; }
  bool RunLanguageDialog(TPXLanguage&) override { return false; }
};

class LanguageFiles : public ::testing::Test {
 protected:
  LanguageFiles() { lang.SetUi(&ui); }

  // Writes a language file with CR LF line ends.
  void Write(const std::string& name, const std::vector<std::string>& lines,
             const std::string& end = "\r\n") {
    std::string bytes;
    for (const auto& l : lines) bytes += l + end;
    WriteFile(dir / name, bytes);
  }
  void Load(const std::string& name) {
    lang.SetPath(dir.path());
    lang.SetFileName(name);
  }

  test::TempDir dir;
  RecordingLanguageUi ui;
  TPXLanguage lang;
};

TEST_F(LanguageFiles, ReadsHeaderLinesAndTextBlocks) {
  Write("Deutsch.lng", {"Deutsch", "D", "note", "7", "1,Datei", "7,Zu trennende Datei",
                        "42,Keine, wirklich keine, Datei", "43,"});
  Load("Deutsch.lng");
  EXPECT_EQ(lang.FileName(), "Deutsch.lng");
  EXPECT_EQ(lang.LanguageName(), "Deutsch");
  EXPECT_EQ(lang.CodeLetter(), "D");
  EXPECT_EQ(lang.HeaderLine3(), "note");
  EXPECT_EQ(lang.HeaderLine4(), 7);
  EXPECT_EQ(lang.TextCount(), 4);
  EXPECT_EQ(lang.GetText(1), "Datei");
  EXPECT_EQ(lang.GetText(42), "Keine, wirklich keine, Datei");
  EXPECT_EQ(lang.GetText(43), "");
  EXPECT_EQ(lang.GetText(2), "");
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_EQ(ui.busy, 0);
}

TEST_F(LanguageFiles, LineEndsAndCtrlZ) {
  // CR alone, CR LF and LF all end lines; a Ctrl-Z ends the file.
  WriteFile(dir / "a.lng",
            "A\rE\r\n\n0\r1,one\n2,two\r3,three\x1A"
            "4,four\r\n");
  Load("a.lng");
  EXPECT_EQ(lang.LanguageName(), "A");
  EXPECT_EQ(lang.HeaderLine3(), "");
  EXPECT_EQ(lang.TextCount(), 3);
  EXPECT_EQ(lang.GetText(2), "two");
  EXPECT_EQ(lang.GetText(3), "three");
  EXPECT_EQ(lang.GetText(4), "");
}

TEST_F(LanguageFiles, BinarySearchNeedsSortedBlocks) {
  std::vector<std::string> lines{"L", "E", "", "0"};
  for (int i = 1; i <= 19; ++i) lines.push_back(std::to_string(i) + ",t" + std::to_string(i));
  Write("sorted.lng", lines);
  Load("sorted.lng");
  for (int i = 1; i <= 19; ++i)
    EXPECT_EQ(lang.GetText(static_cast<std::uint16_t>(i)), "t" + std::to_string(i));
  EXPECT_EQ(lang.GetText(20), "");
  EXPECT_EQ(lang.GetText(0), "");

  Write("unsorted.lng", {"L", "E", "", "0", "5,five", "1,one", "9,nine", "3,three", "7,seven"});
  Load("unsorted.lng");
  int found = 0;
  for (int b : {1, 3, 5, 7, 9}) found += !lang.GetText(static_cast<std::uint16_t>(b)).empty();
  EXPECT_LT(found, 5);
}

TEST_F(LanguageFiles, KeysAreSixteenBitAndBrokenLinesEndTheSearch) {
  Write("k.lng", {"L", "E", "", "0", "1,a", "65536,wraps to zero", "65535,last"});
  Load("k.lng");
  EXPECT_EQ(lang.GetText(65535), "last");
  Write("broken.lng", {"L", "E", "", "0", "1,a", "no comma here", "3,c"});
  Load("broken.lng");
  EXPECT_EQ(lang.GetText(3), "");  // the middle line is met first
}

TEST_F(LanguageFiles, FileNameExtensionRules) {
  Write("Deutsch.lng", {"Deutsch", "D", "", "0", "1,x"});
  Write("DEUTSCH.LNG", {"Gross", "D", "", "0", "1,y"});
  lang.SetPath(dir.path() + "/");
  EXPECT_EQ(lang.Path(), dir.path());
  lang.SetFileName("Deutsch.lng");
  EXPECT_EQ(lang.FileName(), "Deutsch.lng");
  lang.SetFileName("DEUTSCH.LNG");
  EXPECT_EQ(lang.FileName(), "DEUTSCH.LNG");
  lang.SetFileName("DEUTSCH");
  EXPECT_EQ(lang.FileName(), "DEUTSCH.LNG");
  lang.SetFileName("DEUTSCH.txt");
  EXPECT_EQ(lang.FileName(), "DEUTSCH.LNG");
  EXPECT_TRUE(ui.errors.empty());

  lang.SetFileName("Englisch");  // becomes Englisch.LNG, which does not exist here
  EXPECT_EQ(ui.errors, std::vector<std::string>{"Language-file not found !"});
  EXPECT_EQ(lang.FileName(), "DEUTSCH.LNG");  // the previous file stays and is read again
  EXPECT_EQ(lang.GetText(1), "y");
}

TEST_F(LanguageFiles, NamesThatDifferOnlyInCaseAreFound) {
  Write("Deutsch.lng", {"Deutsch", "D", "", "0", "1,x"});
  lang.SetPath(dir.path());
  for (const char* name : {"Deutsch", "deutsch.lng", "Deutsch.LNG", "DEUTSCH"}) {
    lang.SetFileName("");
    lang.SetFileName(name);
    EXPECT_EQ(lang.FileName(), "Deutsch.lng") << name;
    EXPECT_EQ(lang.GetText(1), "x") << name;
  }
  EXPECT_TRUE(ui.errors.empty());
  // Of two that differ only in case, the exact name wins, else the first by byte order.
  Write("DEUTSCH.LNG", {"Gross", "D", "", "0", "1,y"});
  lang.SetFileName("deutsch");
  EXPECT_EQ(lang.FileName(), "DEUTSCH.LNG");
  lang.SetFileName("Deutsch.lng");
  EXPECT_EQ(lang.FileName(), "Deutsch.lng");
}

TEST_F(LanguageFiles, PathWithoutFileNameLoadsNothingSilently) {
  lang.SetPath(dir.path());
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_EQ(lang.TextCount(), 0);
  EXPECT_EQ(lang.CodeLetter(), "E");
}

TEST_F(LanguageFiles, FailedReadKeepsTheLastCodeLetter) {
  Write("Deutsch.lng", {"Deutsch", "D", "", "0", "1,x"});
  Load("Deutsch.lng");
  WriteFile(dir / "bad.lng", "Bad\r\nB\r\n");  // no fourth header line
  lang.SetLanguageOfDialog(TLangDialog::Deutsch);
  lang.SetFileName("bad.lng");
  EXPECT_EQ(lang.TextCount(), 0);
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0], "Datei ist fehlerhaft oder keine g\xC3\xBCltige Sprachdatei !");
  EXPECT_EQ(lang.CodeLetter(), "B");  // what was read before the failure stays

  lang.SetFileName("");
  EXPECT_EQ(lang.TextCount(), 0);
  EXPECT_EQ(lang.FileName(), "");
}

TEST_F(LanguageFiles, LongNameIsCutTo255Characters) {
  Write("long.lng", {std::string(300, 'N'), "E", "", "0"});
  Load("long.lng");
  EXPECT_EQ(lang.LanguageName(), std::string(255, 'N'));
  EXPECT_EQ(ReadLanguageName(dir / "long.lng"), std::string(255, 'N'));
  EXPECT_EQ(lang.TextCount(), 0);  // header lines only: loaded, but no texts
  EXPECT_TRUE(ui.errors.empty());
}

TEST_F(LanguageFiles, Windows1252AndUtf8Files) {
  WriteFile(dir / "cp.lng",
            "Fran\xE7"
            "ais\r\nF\r\n\r\n0\r\n1,Gr\xF6\xDF"
            "e \x80\r\n");
  Load("cp.lng");
  EXPECT_EQ(lang.LanguageName(),
            "Fran\xC3\xA7"
            "ais");
  EXPECT_EQ(lang.GetText(1),
            "Gr\xC3\xB6\xC3\x9F"
            "e \xE2\x82\xAC");
  WriteFile(dir / "u8.lng",
            "\xEF\xBB\xBF"
            "Espa\xC3\xB1ol\r\nS\r\n\r\n0\r\n1,\xC3\xB1\r\n");
  Load("u8.lng");
  EXPECT_EQ(lang.LanguageName(), "Espa\xC3\xB1ol");
  EXPECT_EQ(lang.GetText(1), "\xC3\xB1");
}

TEST(CodePages, ConversionsAndFallback) {
  EXPECT_EQ(Utf8ToCp1252("a\xC3\xA4\xE2\x82\xAC"), std::optional<std::string>("a\xE4\x80"));
  EXPECT_FALSE(Utf8ToCp1252("\xCE\xB1").has_value());
  EXPECT_EQ(Utf8ToEightBit("\xCE\xB1"), "\xCE\xB1");
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_EQ(Cp437ToUtf8("\x81\xE1"), "\xC3\xBC\xC3\x9F");
}

TEST(NormalizeCodeLetterRule, OnlyDIsGerman) {
  EXPECT_EQ(NormalizeCodeLetter("d"), "D");
  EXPECT_EQ(NormalizeCodeLetter("D"), "D");
  EXPECT_EQ(NormalizeCodeLetter("F"), "E");
  EXPECT_EQ(NormalizeCodeLetter(""), "E");
  EXPECT_EQ(NormalizeCodeLetter("de"), "E");
}

// Every block the program looks up must be in every shipped language file.
TEST(ShippedLanguageFiles, HoldEveryBlockTheProgramUses) {
  std::ifstream header(std::string(PZ_SOURCE_DIR) + "/lang/textblocks.h");
  std::stringstream ss;
  ss << header.rdbuf();
  const std::string text = ss.str();
  std::set<int> blocks;
  const std::regex def(R"(Block k\w+ = (\d+);)");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), def); it != std::sregex_iterator();
       ++it) {
    blocks.insert(std::stoi((*it)[1]));
  }
  ASSERT_GT(blocks.size(), 80u);

  for (const char* file : {"Deutsch.lng", "English.lng"}) {
    SCOPED_TRACE(file);
    TPXLanguage lang;
    RecordingLanguageUi ui;
    lang.SetUi(&ui);
    lang.SetPath(std::string(PZ_SOURCE_DIR) + "/data/language_parzello");
    lang.SetFileName(file);
    ASSERT_TRUE(ui.errors.empty());
    for (int b : blocks) {
      EXPECT_FALSE(lang.GetText(static_cast<std::uint16_t>(b)).empty()) << "block " << b;
    }
  }
}

}  // namespace
}  // namespace pz
