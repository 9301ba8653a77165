// Ctrl-C, SIGTERM and SIGHUP on the command line. The first signal asks the work in progress to
// stop: the copy and engine callbacks see it, every step removes what it made (the temporary
// archive, the archive library's partial file, a partly unpacked file) and the command fails.
// A second signal removes the registered files at once and ends the process.
#pragma once

#include <string>

#include "cli/terminal.h"

namespace pz::signals {

// Installs the handlers for the lifetime of the object and puts the old ones back after.
class Scope {
 public:
  Scope();
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
};

// The signal that asked to stop, 0 while none did.
int Received();

// A file the second signal removes (a few slots; later ones are ignored).
void Register(const std::string& path);
// The same, and the files that a library makes beside it under its name and a suffix
// ("NAME.x7Yq2B", moved over NAME when done), which the second signal may find half-written.
// One such file per run; its folder is opened now, as the handler may open nothing.
void RegisterWithCompanions(const std::string& path);

// The terminal that turns a received signal into a stop at the next progress report.
class CancellableTerminal : public TerminalInteraction {
 public:
  CancellableTerminal(const TextSource& texts, std::FILE* in, std::FILE* err, std::string stopText)
      : TerminalInteraction(texts, in, err), stopText_(std::move(stopText)) {}
  void ProcessEvents() override;
  void Progress(std::int64_t done, std::int64_t total) override;
  // A signal during a prompt ends the prompt as Cancel.
  std::string Passwort_Abfragen() override;
  std::string Passwort2_Abfragen() override;
  int Datentraeger_Anfordern(std::string& pfad) override;

 private:
  std::string stopText_;
};

}  // namespace pz::signals
