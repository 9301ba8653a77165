// Parzello: cuts a file into numbered segment files and joins them back.
#include <QApplication>
#include <QStringList>
#include <QUrl>
#include <csignal>

#include "app/hauptformular.h"
#include "platform/os.h"

int main(int argc, char** argv) {
  // A file-size limit must end a write with an error the program reports, not kill it.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string programmPfad = pz::ProgrammPfadErmitteln();
  QApplication app(argc, argv);
  pz::THauptformular window(programmPfad);
  // "parzello FILE" (a file manager passes a path; a file URL is taken as well).
  if (const QStringList args = app.arguments(); args.size() > 1) {
    const QUrl url(args.at(1));
    window.SetStartDatei(url.isLocalFile() ? url.toLocalFile() : args.at(1));
  }
  window.show();
  return app.exec();
}
