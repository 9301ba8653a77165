#include "screens/rtf.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <optional>
#include <utility>

#include "lang/codepage.h"

namespace pz::rtf {

namespace {

enum class Dest { Text, Skip, ColorTable };

struct State {
  Format format;
  Align align = Align::Left;
  Dest dest = Dest::Text;
  int uc = 1;  // characters that stand in for each \u character
};

// Destinations whose content is not document text.
constexpr std::string_view kSkipped[] = {"fonttbl",
                                         "stylesheet",
                                         "info",
                                         "pict",
                                         "header",
                                         "footer",
                                         "headerl",
                                         "headerr",
                                         "headerf",
                                         "footerl",
                                         "footerr",
                                         "footerf",
                                         "footnote",
                                         "annotation",
                                         "object",
                                         "fldinst",
                                         "listtable",
                                         "listoverridetable",
                                         "revtbl",
                                         "rsidtbl",
                                         "filetbl",
                                         "generator",
                                         "xmlnstbl",
                                         "themedata",
                                         "colorschememapping",
                                         "datastore",
                                         "latentstyles",
                                         "pgdsctbl",
                                         "author",
                                         "operator",
                                         "title",
                                         "subject",
                                         "comment",
                                         "keywords",
                                         "doccomm",
                                         "nonshppict",
                                         "shppict",
                                         "bkmkstart",
                                         "bkmkend",
                                         "atnid",
                                         "atnauthor",
                                         "private",
                                         "template",
                                         "mmathPr"};

constexpr long kNumberLimit = 1000000000L;

// The underline styles; each is shown as a plain underline.
constexpr std::string_view kUnderlines[] = {"ul", "uld", "uldb", "ulw", "uldash", "ulth", "ulwave"};
// Words that end the paragraph.
constexpr std::string_view kParagraphEnds[] = {"par", "sect", "page", "row"};

// Words that set the paragraph's alignment ("pard" resets it).
constexpr std::pair<std::string_view, Align> kAlignWords[] = {{"pard", Align::Left},
                                                              {"ql", Align::Left},
                                                              {"qc", Align::Center},
                                                              {"qr", Align::Right},
                                                              {"qj", Align::Justify}};

// Words that stand for one character (a table cell becomes a tab).
constexpr std::pair<std::string_view, std::string_view> kCharacterWords[] = {
    {"line", "\n"},          {"tab", "\t"},          {"cell", "\t"},       {"emdash", "\u2014"},
    {"endash", "\u2013"},    {"bullet", "\u2022"},   {"lquote", "\u2018"}, {"rquote", "\u2019"},
    {"ldblquote", "\u201C"}, {"rdblquote", "\u201D"}};

// The value that word w maps to in a table of pairs; empty for a word not in it.
template <typename Value, std::size_t N>
std::optional<Value> Lookup(const std::pair<std::string_view, Value> (&table)[N],
                            const std::string& w) {
  for (const auto& [word, value] : table) {
    if (word == w) return value;
  }
  return std::nullopt;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Parser {
 public:
  explicit Parser(std::string_view in) : in_(in) { stack_.push_back(State{}); }

  Document Run() {
    while (pos_ < in_.size()) Step();
    FlushSurrogate();
    if (!para_.runs.empty()) doc_.paragraphs.push_back(std::move(para_));
    return std::move(doc_);
  }

 private:
  State& Cur() { return stack_.back(); }

  void Step() {
    const char c = in_[pos_++];
    switch (c) {
      case '{':
        skipCount_ = 0;
        if (static_cast<int>(stack_.size()) >= kMaxDepth) {
          ++overflow_;
        } else {
          stack_.push_back(Cur());
        }
        groupStart_ = true;
        return;
      case '}':
        skipCount_ = 0;
        if (overflow_ > 0) {
          --overflow_;
        } else if (stack_.size() > 1) {
          if (Cur().dest == Dest::ColorTable && colorPending_) EndColor();
          stack_.pop_back();
        }
        groupStart_ = false;
        return;
      case '\\':
        ControlSequence();
        groupStart_ = false;
        return;
      case '\r':
      case '\n':
        return;
      default:
        groupStart_ = false;
        if (Skipping()) return;
        if (Cur().dest == Dest::ColorTable) {
          if (c == ';') EndColor();
          return;
        }
        Text(Cp1252ToUtf8(std::string_view(&c, 1)));
    }
  }

  // Swallows one character that stands in for the preceding \u character.
  bool Skipping() {
    if (skipCount_ == 0) return false;
    --skipCount_;
    return true;
  }

  void ControlSequence() {
    if (pos_ >= in_.size()) return;  // a lone backslash at the end
    const char c = in_[pos_];
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      ++pos_;
      ControlSymbol(c);
      return;
    }
    std::string word;
    while (pos_ < in_.size() && std::isalpha(static_cast<unsigned char>(in_[pos_]))) {
      if (word.size() < 32) word += in_[pos_];
      ++pos_;
    }
    bool hasParam = false;
    bool negative = false;
    long param = 0;
    if (pos_ < in_.size() && in_[pos_] == '-') {
      negative = true;
      ++pos_;
    }
    while (pos_ < in_.size() && std::isdigit(static_cast<unsigned char>(in_[pos_]))) {
      hasParam = true;
      param = std::min(kNumberLimit, param * 10 + (in_[pos_] - '0'));
      ++pos_;
    }
    if (negative) param = -param;
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;  // the delimiter belongs to the word
    if (word == "bin") {
      // Binary data of the given length follows; it is never text.
      const std::size_t n = hasParam && param > 0 ? static_cast<std::size_t>(param) : 0;
      pos_ += std::min(n, in_.size() - pos_);
      return;
    }
    if (Skipping()) return;
    ControlWord(word, hasParam, param);
  }

  void ControlSymbol(char c) {
    if (c == '\'') {
      const int hi = pos_ < in_.size() ? HexValue(in_[pos_]) : -1;
      const int lo = pos_ + 1 < in_.size() ? HexValue(in_[pos_ + 1]) : -1;
      if (hi < 0 || lo < 0) return;  // broken escape: dropped
      pos_ += 2;
      if (Skipping() || Cur().dest != Dest::Text) return;
      const char byte = static_cast<char>(hi * 16 + lo);
      Text(Cp1252ToUtf8(std::string_view(&byte, 1)));
      return;
    }
    if (c == '*') {
      if (groupStart_) Cur().dest = Dest::Skip;
      return;
    }
    if (Skipping() || Cur().dest != Dest::Text) return;
    switch (c) {
      case '\\':
      case '{':
      case '}':
        Text(std::string(1, c));
        break;
      case '~':
        Text("\u00A0");
        break;
      case '_':
        Text("\u2011");
        break;
      case '\n':
      case '\r':
        EndParagraph();
        break;
      case '\t':
        Text("\t");
        break;
      default:
        break;  // "\-" (optional hyphen) and unknown symbols
    }
  }

  void ControlWord(const std::string& w, bool hasParam, long param) {
    State& s = Cur();
    if (DestinationWord(w, s)) return;
    if (s.dest == Dest::ColorTable) return ColorWord(w, param);
    if (s.dest == Dest::Skip) return;
    if (FormatWord(w, s, hasParam, param)) return;
    if (std::find(std::begin(kParagraphEnds), std::end(kParagraphEnds), w) !=
        std::end(kParagraphEnds)) {
      return EndParagraph();
    }
    if (const auto align = Lookup(kAlignWords, w)) {
      s.align = *align;
    } else if (const auto text = Lookup(kCharacterWords, w)) {
      Text(std::string(*text));
    }
  }

  // A word that starts a group the text does not come from; true when w was one.
  bool DestinationWord(const std::string& w, State& s) {
    if (w == "colortbl") {
      s.dest = Dest::ColorTable;
      colorPending_ = false;
      return true;
    }
    if (std::find(std::begin(kSkipped), std::end(kSkipped), w) != std::end(kSkipped)) {
      s.dest = Dest::Skip;
      return true;
    }
    return false;
  }

  // One component of the colour table's current entry.
  void ColorWord(const std::string& w, long param) {
    const auto v = static_cast<std::uint32_t>(std::clamp(param, 0L, 255L));
    if (w == "red") color_ = (color_ & 0x00FFFF) | (v << 16);
    if (w == "green") color_ = (color_ & 0xFF00FF) | (v << 8);
    if (w == "blue") color_ = (color_ & 0xFFFF00) | v;
    if (w == "red" || w == "green" || w == "blue") colorPending_ = true;
  }

  // Character formatting and \u characters; true when w was one of them.
  bool FormatWord(const std::string& w, State& s, bool hasParam, long param) {
    const bool on = !hasParam || param != 0;
    if (w == "b") {
      s.format.bold = on;
    } else if (w == "i") {
      s.format.italic = on;
    } else if (std::find(std::begin(kUnderlines), std::end(kUnderlines), w) !=
               std::end(kUnderlines)) {
      s.format.underline = on;
    } else if (w == "ulnone") {
      s.format.underline = false;
    } else if (w == "plain") {
      s.format = Format{};
    } else if (w == "fs") {
      s.format.halfPoints =
          hasParam && param > 0
              ? static_cast<int>(std::clamp(param, 2L * kMinPoints, 2L * kMaxPoints))
              : 0;
    } else if (w == "cf") {
      s.format.color.reset();
      if (hasParam && param >= 0 && static_cast<std::size_t>(param) < doc_.colors.size())
        s.format.color = doc_.colors[static_cast<std::size_t>(param)];
    } else if (w == "uc") {
      s.uc = static_cast<int>(std::clamp(param, 0L, 10L));
    } else if (w == "u" && hasParam) {
      long v = param;
      if (v < 0) v += 65536;
      Unicode(v >= 0 && v <= 0xFFFF ? static_cast<std::uint32_t>(v) : 0xFFFD);
      skipCount_ = s.uc;
    } else {
      return false;
    }
    return true;
  }

  // A \u character; UTF-16 surrogate pairs arrive as two of them.
  void Unicode(std::uint32_t cp) {
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      FlushSurrogate();
      highSurrogate_ = cp;
      return;
    }
    if (cp >= 0xDC00 && cp <= 0xDFFF) {
      if (highSurrogate_ != 0) {
        cp = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (cp - 0xDC00);
        highSurrogate_ = 0;
      } else {
        cp = 0xFFFD;
      }
    }
    FlushSurrogate();
    std::string s;
    AppendUtf8(s, cp);
    Text(s);
  }

  void FlushSurrogate() {
    if (highSurrogate_ == 0) return;
    highSurrogate_ = 0;
    std::string s;
    AppendUtf8(s, 0xFFFD);
    AppendText(s);
  }

  void EndColor() {
    if (colorPending_)
      doc_.colors.push_back(color_);
    else
      doc_.colors.push_back(std::nullopt);
    color_ = 0;
    colorPending_ = false;
  }

  void Text(const std::string& utf8) {
    if (Cur().dest != Dest::Text) return;
    FlushSurrogate();
    AppendText(utf8);
  }

  void AppendText(const std::string& utf8) {
    const Format& f = Cur().format;
    para_.align = Cur().align;
    if (para_.runs.empty() || !(para_.runs.back().format == f))
      para_.runs.push_back(rtf::Run{"", f});
    para_.runs.back().text += utf8;
  }

  void EndParagraph() {
    if (Cur().dest != Dest::Text) return;
    FlushSurrogate();
    if (para_.runs.empty()) para_.align = Cur().align;
    doc_.paragraphs.push_back(std::move(para_));
    para_ = Paragraph{};
  }

  std::string_view in_;
  std::size_t pos_ = 0;
  std::vector<State> stack_;
  int overflow_ = 0;
  bool groupStart_ = false;
  int skipCount_ = 0;
  std::uint32_t highSurrogate_ = 0;
  std::uint32_t color_ = 0;
  bool colorPending_ = false;
  Paragraph para_;
  Document doc_;
};

void AppendEscaped(std::string& out, const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\n':
        out += "<br/>";
        break;
      default:
        out += c;
    }
  }
}

const char* AlignName(Align a) {
  switch (a) {
    case Align::Center:
      return "center";
    case Align::Right:
      return "right";
    case Align::Justify:
      return "justify";
    default:
      return "left";
  }
}

}  // namespace

bool LooksLikeRtf(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[i]))) ++i;
  return bytes.substr(i, 5) == "{\\rtf";
}

Document Parse(std::string_view rtf) {
  return Parser(rtf).Run();
}

std::string ToHtml(const Document& doc) {
  std::string out = "<html><body>";
  for (const Paragraph& p : doc.paragraphs) {
    out += "<p style=\"margin:0; white-space:pre-wrap; text-align:";
    out += AlignName(p.align);
    out += "\">";
    if (p.runs.empty()) out += "&nbsp;";  // an empty paragraph is an empty line
    for (const rtf::Run& r : p.runs) {
      std::string style;
      if (r.format.bold) style += "font-weight:bold;";
      if (r.format.italic) style += "font-style:italic;";
      if (r.format.underline) style += "text-decoration:underline;";
      if (r.format.halfPoints > 0) {
        style += "font-size:" + std::to_string(r.format.halfPoints / 2) +
                 (r.format.halfPoints % 2 ? ".5" : "") + "pt;";
      }
      if (r.format.color) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%06x", static_cast<unsigned>(*r.format.color & 0xFFFFFF));
        style += std::string("color:") + hex + ";";
      }
      if (style.empty()) {
        AppendEscaped(out, r.text);
      } else {
        out += "<span style=\"" + style + "\">";
        AppendEscaped(out, r.text);
        out += "</span>";
      }
    }
    out += "</p>";
  }
  out += "</body></html>";
  return out;
}

std::string ToPlainText(const Document& doc) {
  std::string out;
  for (std::size_t i = 0; i < doc.paragraphs.size(); ++i) {
    if (i > 0) out += '\n';
    for (const rtf::Run& r : doc.paragraphs[i].runs) out += r.text;
  }
  return out;
}

}  // namespace pz::rtf
