// Parzello: cuts a file into numbered segment files and joins them back.
#include <QApplication>
#include <QStringList>
#include <QUrl>

#include "app/hauptformular.h"
#include "platform/os.h"

int main(int argc, char** argv) {
  pz::IgnoreFileSizeSignal();
  const std::string programmPfad = pz::ProgrammPfadErmitteln();
  QApplication app(argc, argv);
  pz::THauptformular window(programmPfad);
  // "parzello FILE" (a file manager passes a path; a file URL is taken as well). Options that
  // Qt did not take are no file names; "--" ends them.
  QStringList args;
  bool optionsEnded = false;
  for (const QString& a : QCoreApplication::arguments().mid(1)) {
    if (!optionsEnded && a == "--")
      optionsEnded = true;
    else if (optionsEnded || !a.startsWith('-'))
      args << a;
  }
  if (!args.isEmpty()) {
    const QUrl url(args.first());
    window.SetStartDatei(url.isLocalFile() ? url.toLocalFile() : args.first());
  }
  window.show();
  return QApplication::exec();
}
