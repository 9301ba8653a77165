// A reader for the common subset of rich text (RTF): groups, bold, italic, underline,
// paragraphs, font sizes, the colour table, 8-bit and Unicode escapes. Everything else is
// skipped. The input is untrusted: any byte sequence yields a document, without recursion and
// with every number clamped. Qt-free; the screens turn the result into HTML for display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pz::rtf {

enum class Align { Left, Center, Right, Justify };

struct Format {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  int halfPoints = 0;                  // 0: the viewer's default size
  std::optional<std::uint32_t> color;  // 0xRRGGBB; none: the viewer's default colour
  bool operator==(const Format&) const = default;
};

struct Run {
  std::string text;  // UTF-8; "\n" is a line break inside the paragraph, "\t" a tab
  Format format;
};

struct Paragraph {
  std::vector<Run> runs;
  Align align = Align::Left;
};

struct Document {
  std::vector<Paragraph> paragraphs;
  std::vector<std::optional<std::uint32_t>> colors;  // the colour table; none = "auto"
};

// Groups nested deeper than this are read as if they belonged to the deepest allowed group.
inline constexpr int kMaxDepth = 256;
// Font sizes are clamped to this range (in points).
inline constexpr int kMinPoints = 1;
inline constexpr int kMaxPoints = 200;

// True when the bytes start (after white space) with the "{\rtf" signature.
bool LooksLikeRtf(std::string_view bytes);

Document Parse(std::string_view rtf);

// The document as an HTML fragment for a rich-text view.
std::string ToHtml(const Document& doc);

// Plain text of a document: paragraphs joined by "\n".
std::string ToPlainText(const Document& doc);

}  // namespace pz::rtf
