// Parzello: cuts a file into numbered segment files and joins them back.
#include <QApplication>
#include <csignal>

#include "app/hauptformular.h"
#include "platform/os.h"

int main(int argc, char** argv) {
  // A file-size limit must end a write with an error the program reports, not kill it.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string programmPfad = pz::ProgrammPfadErmitteln();
  QApplication app(argc, argv);
  pz::THauptformular window(programmPfad);
  window.show();
  return app.exec();
}
