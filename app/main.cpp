// Parzello: cuts a file into numbered segment files and joins them back.
#include <QApplication>
#include <QStringList>
#include <QUrl>
#include <cstdio>

#include "app/hauptformular.h"
#include "app/kommandozeile.h"
#include "platform/os.h"

int main(int argc, char** argv) {
  // Answered before the toolkit looks for a display.
  if (const std::optional<int> status =
          pz::Kommandozeile_Beantworten(std::vector<std::string>(argv + 1, argv + argc), stdout))
    return *status;
  pz::IgnoreFileSizeSignal();
  const std::string programmPfad = pz::ProgrammPfadErmitteln();
  QApplication app(argc, argv);
  pz::THauptformular window(programmPfad);
  // "parzello FILE" (a file manager passes a path; a file URL is taken as well).
  std::vector<std::string> args;
  for (const QString& a : QCoreApplication::arguments().mid(1)) args.push_back(a.toStdString());
  if (const QString datei = QString::fromStdString(pz::StartDatei(args)); !datei.isEmpty()) {
    const QUrl url(datei);
    window.SetStartDatei(url.isLocalFile() ? url.toLocalFile() : datei);
  }
  window.show();
  return QApplication::exec();
}
