#include "screens/document.h"

#include <QFile>
#include <QFont>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>
#include <QTextEdit>

#include "lang/codepage.h"
#include "screens/rtf.h"

namespace pz {

namespace {

// The text up to kMaxShownLines lines, kMaxShownChars characters and the first line longer than
// kMaxLineChars; cut tells whether that left anything out.
QString CutText(const QString& text, bool& cut) {
  qsizetype end = std::min<qsizetype>(text.size(), kMaxShownChars);
  qsizetype start = 0;
  for (int line = 0; start < end; ++line) {
    if (line == kMaxShownLines) {
      end = start - 1;  // without the line end before the first line left out
      break;
    }
    qsizetype next = text.indexOf('\n', start);
    if (next < 0) next = text.size();
    if (next - start > kMaxLineChars) {
      end = std::min(end, start + kMaxLineChars);
      break;
    }
    start = next + 1;
  }
  cut = end < text.size();
  return text.left(end);
}

// The same for a parsed rich text: paragraphs count as lines, their runs' text as characters.
void CutDocument(rtf::Document& doc, bool& cut) {
  if (doc.paragraphs.size() > static_cast<std::size_t>(kMaxShownLines)) {
    doc.paragraphs.resize(kMaxShownLines);
    cut = true;
  }
  std::size_t left = kMaxShownChars;
  for (std::size_t p = 0; p < doc.paragraphs.size(); ++p) {
    auto& runs = doc.paragraphs[p].runs;
    std::size_t leftHere = std::min<std::size_t>(left, kMaxLineChars);
    for (std::size_t r = 0; r < runs.size(); ++r) {
      if (runs[r].text.size() <= leftHere) {
        leftHere -= runs[r].text.size();
        left -= runs[r].text.size();
        continue;
      }
      // Back to the start of a UTF-8 sequence.
      std::size_t keep = leftHere;
      while (keep > 0 && (static_cast<unsigned char>(runs[r].text[keep]) & 0xC0) == 0x80) --keep;
      runs[r].text.resize(keep);
      runs.resize(r + 1);
      doc.paragraphs.resize(p + 1);
      cut = true;
      return;
    }
  }
}

}  // namespace

QString DocumentCutNote(const QString& letter) {
  return letter == "D"
             ? QString::fromUtf8("[Das Dokument ist l\u00e4nger und wurde hier abgeschnitten.]")
             : QString("[The document is longer and was cut off here.]");
}

bool LoadDocument(QTextEdit& view, const QString& path, const QString& letter) {
  view.clear();
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxDocumentBytes) return false;
  const QByteArray bytes = f.readAll();
  const std::string_view raw(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  bool cut = false;
  if (rtf::LooksLikeRtf(raw)) {
    // Parsing costs memory for every paragraph: only the part that can be shown is parsed.
    cut = bytes.size() > kMaxRtfBytes;
    rtf::Document doc = rtf::Parse(raw.substr(0, kMaxRtfBytes));
    CutDocument(doc, cut);
    // Rich text brings its own emphasis: it starts from the view's font without any.
    QFont base = view.font();
    base.setBold(false);
    base.setItalic(false);
    base.setUnderline(false);
    view.document()->setDefaultFont(base);
    view.setHtml(QString::fromStdString(rtf::ToHtml(doc)));
  } else {
    view.setPlainText(CutText(QString::fromStdString(EightBitToUtf8(raw)), cut));
  }
  if (cut) view.append(DocumentCutNote(letter));
  return true;
}

PrintResult PrintDocument(const QTextDocument& doc, const QString& title) {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) return PrintResult::NoPrinter;
  QPrinter printer(info, QPrinter::HighResolution);
  return PrintDocument(doc, title, printer);
}

PrintResult PrintDocument(const QTextDocument& doc, const QString& title, QPrinter& printer) {
  if (!printer.isValid()) return PrintResult::Failed;
  printer.setDocName(title);
  doc.print(&printer);
  return printer.printerState() == QPrinter::Error ? PrintResult::Failed : PrintResult::Printed;
}

QString PrintMessage(PrintResult result, const QString& letter) {
  const bool german = letter == "D";
  if (result == PrintResult::NoPrinter) {
    return german ? QString::fromUtf8("Es ist kein Standarddrucker eingerichtet.")
                  : QString("There is no default printer to print on.");
  }
  return german ? QString::fromUtf8("Das Dokument konnte nicht gedruckt werden.")
                : QString("The document could not be printed.");
}

}  // namespace pz
