// What the link label and the awards screen need from the desktop: whether a program is
// registered for web pages or for mail addresses, and opening an address or a document.
// Tests replace the shell so that nothing is really launched.
#pragma once

#include <QString>
#include <QUrl>

namespace pz {

class TDesktopShell {
 public:
  virtual ~TDesktopShell() = default;
  // The command line of the program registered to open the MIME type ("text/html",
  // "x-scheme-handler/mailto"); empty when there is none.
  virtual QString HandlerCommand(const QString& mimeType);
  // Opens the address or local file; the result is not examined by any caller.
  virtual bool Open(const QUrl& url);
};

// The shell in use: the real desktop unless a test installed another one.
TDesktopShell& DesktopShell();
// Installs a replacement (nullptr restores the real desktop); the caller keeps ownership.
void SetDesktopShell(TDesktopShell* shell);

// Looks the default application for mimeType up the way xdg-mime does: the mimeapps.list
// files of the user, the system and the desktop, then the installed applications' caches.
// Returns the Exec line of the application's desktop entry, empty when nothing is found.
QString XdgDefaultCommand(const QString& mimeType);

}  // namespace pz
