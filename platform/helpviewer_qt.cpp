#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QUrl>
#include <algorithm>

#include "platform/helpviewer.h"

namespace pz {

namespace {

// Room for a window manager's title bar and borders, which are not known before the window is
// shown.
constexpr int kFrameRoom = 80;
const QSize kWishedSize(640, 560);

}  // namespace

QRect HelpWindowRect(const QRect& available, const QSize& wished) {
  const QSize size = wished.boundedTo(QSize(std::max(1, available.width() - kFrameRoom),
                                            std::max(1, available.height() - kFrameRoom)));
  QRect rect(QPoint(0, 0), size);
  rect.moveCenter(available.center());
  return rect;
}

bool HelpViewer::OpenContents(const QString& file) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return false;
  if (browser_ == nullptr) {
    browser_ = new QTextBrowser;
    browser_->setObjectName("HelpViewer");
    browser_->setAttribute(Qt::WA_DeleteOnClose);
    browser_->setOpenExternalLinks(true);
    // Wholly on the screen of the window the user works in, also on a small one.
    QScreen* screen = QApplication::activeWindow() != nullptr
                          ? QApplication::activeWindow()->screen()
                          : QGuiApplication::primaryScreen();
    if (screen != nullptr)
      browser_->setGeometry(HelpWindowRect(screen->availableGeometry(), kWishedSize));
    else
      browser_->resize(kWishedSize);
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
