#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <utility>

#include "screens/rtf.h"

using namespace pz::rtf;

namespace {

std::string Plain(std::string_view rtf) {
  return ToPlainText(Parse(rtf));
}

}  // namespace

TEST(RtfRead, CharacterFormatsFollowGroupsAndToggles) {
  const Document d =
      Parse(R"({\rtf1\ansi plain {\b bold {\i both}} \ul under\ul0  \b1 B\b0 x\plain})");
  ASSERT_EQ(d.paragraphs.size(), 1u);
  const auto& runs = d.paragraphs[0].runs;
  ASSERT_EQ(runs.size(), 8u);
  EXPECT_EQ(runs[0].text, "plain ");
  EXPECT_EQ(runs[0].format, Format{});
  EXPECT_EQ(runs[1].text, "bold ");
  EXPECT_TRUE(runs[1].format.bold);
  EXPECT_FALSE(runs[1].format.italic);
  EXPECT_EQ(runs[2].text, "both");
  EXPECT_TRUE(runs[2].format.bold && runs[2].format.italic);
  EXPECT_EQ(runs[3].text, " ");  // back outside both groups
  EXPECT_FALSE(runs[3].format.bold);
  EXPECT_EQ(runs[4].text, "under");
  EXPECT_TRUE(runs[4].format.underline);
  EXPECT_EQ(runs[5].text, " ");
  EXPECT_EQ(runs[6].text, "B");
  EXPECT_TRUE(runs[6].format.bold);
  EXPECT_EQ(runs[7].text, "x");
  EXPECT_FALSE(runs[7].format.bold);
  EXPECT_EQ(Plain(R"({\rtf1 \b a\b0 b})"), "ab");
}

TEST(RtfRead, ParagraphsLinesAndAlignment) {
  const Document d = Parse("{\\rtf1 one\\par\\qc two\\line three\\par\\pard\\par four\\par}");
  ASSERT_EQ(d.paragraphs.size(), 4u);
  EXPECT_EQ(d.paragraphs[0].align, Align::Left);
  EXPECT_EQ(d.paragraphs[1].align, Align::Center);
  EXPECT_EQ(d.paragraphs[1].runs[0].text, "two\nthree");
  EXPECT_TRUE(d.paragraphs[2].runs.empty());
  EXPECT_EQ(d.paragraphs[3].align, Align::Left);
  EXPECT_EQ(Plain("{\\rtf1 a\\tab b\\\nc}"), "a\tb\nc");  // "\" + newline is a paragraph too
}

// Each word that stands for a character, ends a paragraph, aligns or underlines.
TEST(RtfRead, EveryWordOfTheTables) {
  const std::pair<const char*, const char*> characters[] = {
      {"line", "\n"},          {"tab", "\t"},          {"cell", "\t"},       {"emdash", "\u2014"},
      {"endash", "\u2013"},    {"bullet", "\u2022"},   {"lquote", "\u2018"}, {"rquote", "\u2019"},
      {"ldblquote", "\u201C"}, {"rdblquote", "\u201D"}};
  for (const auto& [word, text] : characters) {
    EXPECT_EQ(Plain(std::string("{\\rtf1 a\\") + word + " b}"), std::string("a") + text + "b")
        << word;
  }
  for (const char* word : {"par", "sect", "page", "row"}) {
    EXPECT_EQ(Parse(std::string("{\\rtf1 a\\") + word + " b}").paragraphs.size(), 2u) << word;
  }
  const std::pair<const char*, Align> aligns[] = {
      {"ql", Align::Left}, {"qc", Align::Center}, {"qr", Align::Right}, {"qj", Align::Justify}};
  for (const auto& [word, align] : aligns) {
    const Document d = Parse(std::string("{\\rtf1\\qr\\") + word + " a\\par\\pard b}");
    ASSERT_EQ(d.paragraphs.size(), 2u) << word;
    EXPECT_EQ(d.paragraphs[0].align, align) << word;
    EXPECT_EQ(d.paragraphs[1].align, Align::Left) << word;
  }
  for (const char* word : {"ul", "uld", "uldb", "ulw", "uldash", "ulth", "ulwave"}) {
    const Document d = Parse(std::string("{\\rtf1\\") + word + " a\\ulnone b}");
    const auto& runs = d.paragraphs.at(0).runs;
    ASSERT_EQ(runs.size(), 2u) << word;
    EXPECT_TRUE(runs[0].format.underline) << word;
    EXPECT_FALSE(runs[1].format.underline) << word;
  }
}

TEST(RtfRead, FontSizesAreClamped) {
  const Document d = Parse(R"({\rtf1 {\fs24 a}{\fs1 b}{\fs99999999999999999999 c}{\fs0 d}})");
  const auto& r = d.paragraphs.at(0).runs;
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].format.halfPoints, 24);
  EXPECT_EQ(r[1].format.halfPoints, 2 * kMinPoints);
  EXPECT_EQ(r[2].format.halfPoints, 2 * kMaxPoints);
  EXPECT_EQ(r[3].format.halfPoints, 0);
}

TEST(RtfRead, ColourTableAndForeground) {
  const Document d = Parse(
      R"({\rtf1{\colortbl;\red255\green0\blue0;\red0\green128\blue999;}{\cf1 r}{\cf2 g}{\cf0 d}{\cf7 o}{\cf-1 n}})");
  ASSERT_EQ(d.colors.size(), 3u);
  EXPECT_FALSE(d.colors[0].has_value());
  EXPECT_EQ(d.colors[1], 0xFF0000u);
  EXPECT_EQ(d.colors[2], 0x0080FFu);  // a component above 255 is clamped
  const auto& r = d.paragraphs.at(0).runs;
  ASSERT_EQ(r.size(), 3u);  // "d", "o" and "n" share the default colour
  EXPECT_EQ(r[0].format.color, 0xFF0000u);
  EXPECT_EQ(r[1].format.color, 0x0080FFu);
  EXPECT_EQ(r[2].text, "don");
  EXPECT_FALSE(r[2].format.color.has_value());
  // A last entry without its ";" still counts.
  EXPECT_EQ(Parse(R"({\rtf1{\colortbl\red1\green2\blue3}x})").colors.size(), 1u);
}

TEST(RtfRead, EightBitAndUnicodeEscapes) {
  EXPECT_EQ(Plain(R"({\rtf1 Gr\'fc\'DFe \'80})"), "Grüße €");
  EXPECT_EQ(Plain(R"({\rtf1 \u8364?x})"), "€x");             // one fallback character
  EXPECT_EQ(Plain(R"({\rtf1\uc2 \u8364\'80\'80x})"), "€x");  // two fallback escapes
  EXPECT_EQ(Plain(R"({\rtf1\uc0 \u8364 x})"), "€x");
  EXPECT_EQ(Plain(R"({\rtf1 {\uc3 \u228 ab}c})"), "äc");          // skipping stops at "}"
  EXPECT_EQ(Plain(R"({\rtf1 \u-3913?})"), "\uF0B7");              // negative: 16-bit signed
  EXPECT_EQ(Plain(R"({\rtf1 \u55357?\u56832?})"), "\U0001F600");  // surrogate pair
  EXPECT_EQ(Plain(R"({\rtf1 \u56832?a})"), "\uFFFDa");            // lone low surrogate
  EXPECT_EQ(Plain(R"({\rtf1 \u55357?a})"), "\uFFFDa");            // lone high surrogate
  EXPECT_EQ(Plain(R"({\rtf1 \u99999999999?a})"), "\uFFFDa");
  EXPECT_EQ(Plain(R"({\rtf1 \u a})"), "a");  // no number: no character
  EXPECT_EQ(Plain(R"({\rtf1 \{x\}\\ a\~b})"), "{x}\\ a\u00A0b");
  EXPECT_EQ(Plain("{\\rtf1 Gr\xFC\xDF}"), "Grüß");  // raw 8-bit text is Windows-1252
}

TEST(RtfRead, UnknownAndNonTextDestinationsAreSkipped) {
  const char* rtf =
      R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}}{\stylesheet{\s0 Normal;}})"
      R"({\info{\title T}{\author A}}{\*\generator Gen;}{\*\unknownthing {deep} text})"
      R"({\pict\pngblip 89504e47}{\field{\*\fldinst HYPERLINK "x"}{\fldrslt shown}})"
      R"(\bin4 {}{}visible})";
  EXPECT_EQ(Plain(rtf), "shownvisible");
}

TEST(RtfRead, BrokenInputNeverFails) {
  EXPECT_EQ(Plain(""), "");
  EXPECT_EQ(Plain("{\\rtf1 cut off \\b bol"), "cut off bol");
  EXPECT_EQ(Plain("{\\rtf1 a}}}}}b"), "ab");  // surplus closing braces are ignored
  EXPECT_EQ(Plain("{\\rtf1 x\\"), "x");
  EXPECT_EQ(Plain("{\\rtf1 x\\'"), "x");
  EXPECT_EQ(Plain("{\\rtf1 x\\'4"), "x4");  // broken escape dropped, the rest is text
  EXPECT_EQ(Plain("{\\rtf1 x\\'zzy"), "xzzy");
  EXPECT_EQ(Plain("{\\rtf1 x\\bin999999999999"), "x");
  EXPECT_EQ(Plain("{\\rtf1 x\\bin-5 y}"), "xy");
  EXPECT_EQ(Plain(std::string("{\\rtf1 a\0b}", 11)), std::string("a\0b", 3));
  EXPECT_EQ(Plain("{\\rtf1 \\averyveryveryveryveryveryveryverylongcontrolword1 z}"), "z");
}

TEST(RtfRead, DeepNestingIsBounded) {
  const int n = 200000;
  std::string deep = "{\\rtf1 " + std::string(n, '{') + "\\b x" + std::string(n, '}') + "y}";
  const Document d = Parse(deep);
  ASSERT_EQ(d.paragraphs.size(), 1u);
  const auto& r = d.paragraphs[0].runs;
  ASSERT_EQ(r.size(), 2u);
  EXPECT_TRUE(r[0].format.bold);
  EXPECT_FALSE(r[1].format.bold);  // the formats unwind correctly past the depth limit
  // A skipped group past the limit stays skipped until its end.
  const std::string skipped =
      "{\\rtf1 " + std::string(300, '{') + "\\*\\x hidden" + std::string(300, '}') + "shown}";
  EXPECT_EQ(Plain(skipped), "shown");
}

TEST(RtfRead, RandomBytesAreSafeAndFast) {
  std::mt19937 rng(4711);
  const std::string alphabet = "{}\\'*ubfsclr0123456789-; \nxyz\x80\xff";
  const auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < 2000; ++round) {
    std::string s = "{\\rtf1 ";
    const int len = static_cast<int>(rng() % 400);
    for (int i = 0; i < len; ++i) s += alphabet[rng() % alphabet.size()];
    const Document d = Parse(s);
    const std::string html = ToHtml(d);
    EXPECT_EQ(html.rfind("<html><body>", 0), 0u);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(RtfRead, Signature) {
  EXPECT_TRUE(LooksLikeRtf("{\\rtf1\\ansi x}"));
  EXPECT_TRUE(LooksLikeRtf("\r\n {\\rtf"));
  EXPECT_FALSE(LooksLikeRtf("{\\rt"));
  EXPECT_FALSE(LooksLikeRtf("plain text {\\rtf1"));
}

TEST(RtfHtml, FormatsBecomeStylesAndTextIsEscaped) {
  const std::string html = ToHtml(Parse(
      R"({\rtf1{\colortbl;\red0\green0\blue255;}\qc{\b\fs25\cf1 <A&B>}\par\par{\i\ul "q"}})"));
  EXPECT_NE(html.find("text-align:center"), std::string::npos);
  EXPECT_NE(html.find("font-weight:bold;font-size:12.5pt;color:#0000ff;\">&lt;A&amp;B&gt;"),
            std::string::npos);
  EXPECT_NE(html.find(">&nbsp;</p>"), std::string::npos);  // the empty middle paragraph
  EXPECT_NE(html.find("font-style:italic;text-decoration:underline;\">&quot;q&quot;"),
            std::string::npos);
  EXPECT_EQ(html.find("<A"), std::string::npos);
}
