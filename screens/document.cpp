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

bool LoadDocument(QTextEdit& view, const QString& path) {
  view.clear();
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxDocumentBytes) return false;
  const QByteArray bytes = f.readAll();
  const std::string_view raw(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  if (rtf::LooksLikeRtf(raw)) {
    // Rich text brings its own emphasis: it starts from the view's font without any.
    QFont base = view.font();
    base.setBold(false);
    base.setItalic(false);
    base.setUnderline(false);
    view.document()->setDefaultFont(base);
    view.setHtml(QString::fromStdString(rtf::ToHtml(rtf::Parse(raw))));
  } else {
    view.setPlainText(QString::fromStdString(EightBitToUtf8(raw)));
  }
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

}  // namespace pz
