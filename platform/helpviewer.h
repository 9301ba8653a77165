// The help viewer: shows the program's help files (HTML), opens one at its contents, jumps to a
// topic by its anchor and closes when told to.
#pragma once

#include <QPointer>
#include <QRect>
#include <QString>
#include <QTextBrowser>

namespace pz {

// Where the viewer goes on a screen with this free area: at its wished size when that fits with
// room for the window frame, else as large as fits; centred.
QRect HelpWindowRect(const QRect& available, const QSize& wished);

class HelpViewer {
 public:
  // Opens the file at its top; false when it cannot be read.
  bool OpenContents(const QString& file);
  // Jumps to the anchor of a topic in the open file.
  void JumpToTopic(const QString& topic);
  void Close();

  QTextBrowser* Window() const { return browser_; }
  bool IsOpen() const { return browser_ != nullptr && browser_->isVisible(); }

 private:
  QPointer<QTextBrowser> browser_;
};

}  // namespace pz
