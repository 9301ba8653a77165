#include "controls/desktopshell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>
#include <QTextStream>

namespace pz {

namespace {

TDesktopShell* g_shell = nullptr;

// The value of key in section of a desktop-style file (no escapes, first match wins).
QString ReadDesktopValue(const QString& file, const QString& section, const QString& key) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  QTextStream in(&f);
  bool inSection = false;
  const QString header = "[" + section + "]";
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.startsWith('[')) {
      inSection = line == header;
      continue;
    }
    if (!inSection || line.startsWith('#')) continue;
    const qsizetype eq = line.indexOf('=');
    if (eq > 0 && line.left(eq).trimmed() == key) return line.mid(eq + 1).trimmed();
  }
  return {};
}

QStringList ApplicationDirs() {
  return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

// The Exec line of the first installed desktop entry in a ";"-separated list.
QString ExecOfFirstInstalled(const QString& desktopIds) {
  for (const QString& id : desktopIds.split(';', Qt::SkipEmptyParts)) {
    for (const QString& dir : ApplicationDirs()) {
      const QString file = dir + "/" + id.trimmed();
      if (!QFile::exists(file)) continue;
      const QString exec = ReadDesktopValue(file, "Desktop Entry", "Exec");
      if (!exec.isEmpty()) return exec;
    }
  }
  return {};
}

}  // namespace

QString XdgDefaultCommand(const QString& mimeType) {
  // mimeapps.list in the configuration folders first, then in the application folders.
  QStringList lists;
  for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::ConfigLocation))
    lists << dir + "/mimeapps.list";
  for (const QString& dir : ApplicationDirs()) lists << dir + "/mimeapps.list";
  for (const QString& list : lists) {
    const QString exec =
        ExecOfFirstInstalled(ReadDesktopValue(list, "Default Applications", mimeType));
    if (!exec.isEmpty()) return exec;
  }
  for (const QString& dir : ApplicationDirs()) {
    QString exec = ExecOfFirstInstalled(
        ReadDesktopValue(dir + "/defaults.list", "Default Applications", mimeType));
    if (exec.isEmpty())
      exec =
          ExecOfFirstInstalled(ReadDesktopValue(dir + "/mimeinfo.cache", "MIME Cache", mimeType));
    if (!exec.isEmpty()) return exec;
  }
  return {};
}

QString TDesktopShell::HandlerCommand(const QString& mimeType) {
  return XdgDefaultCommand(mimeType);
}

bool TDesktopShell::Open(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

TDesktopShell& DesktopShell() {
  static TDesktopShell real;
  return g_shell != nullptr ? *g_shell : real;
}

void SetDesktopShell(TDesktopShell* shell) {
  g_shell = shell;
}

}  // namespace pz
