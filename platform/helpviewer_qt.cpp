#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "platform/helpviewer.h"

namespace pz {

bool HelpViewer::OpenContents(const QString& file) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return false;
  if (browser_ == nullptr) {
    browser_ = new QTextBrowser;
    browser_->setObjectName("HelpViewer");
    browser_->setAttribute(Qt::WA_DeleteOnClose);
    browser_->setOpenExternalLinks(true);
    browser_->resize(640, 560);
  }
  // The files carry the ".hlp" name but hold HTML.
  browser_->setSearchPaths({QFileInfo(file).absolutePath()});
  browser_->setHtml(QString::fromUtf8(f.readAll()));
  browser_->setWindowTitle(browser_->documentTitle().isEmpty() ? QFileInfo(file).fileName()
                                                               : browser_->documentTitle());
  browser_->show();
  browser_->raise();
  browser_->activateWindow();
  return true;
}

void HelpViewer::JumpToTopic(const QString& topic) {
  if (browser_ != nullptr) browser_->scrollToAnchor(topic);
}

void HelpViewer::Close() {
  if (browser_ != nullptr) browser_->close();
}

}  // namespace pz
