#include "cli/signals.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

#include "cli/cli.h"
#include "engine/engine.h"

namespace pz::signals {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSlots = 4;

volatile sig_atomic_t received = 0;
char paths[kSlots][PATH_MAX];
volatile sig_atomic_t used = 0;
constexpr int kSignalCount = static_cast<int>(std::size(kSignals));
struct sigaction previous[kSignalCount];

void Handler(int sig) {
  const int savedErrno = errno;  // the interrupted code may be about to read it
  if (received != 0) {
    // Asked twice: the work did not stop in time, so its files go now.
    for (sig_atomic_t i = 0; i < used; ++i) ::unlink(paths[i]);
    ::_exit(kExitFailed);
  }
  received = sig;
  errno = savedErrno;
}

}  // namespace

Scope::Scope() {
  received = 0;
  struct sigaction sa {};
  sa.sa_handler = Handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no restart: a prompt waiting for input returns and counts as cancelled
  for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &sa, &previous[i]);
}

Scope::~Scope() {
  for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
  used = 0;
}

int Received() {
  return received;
}

void Register(const std::string& path) {
  if (used >= kSlots || path.size() >= PATH_MAX) return;
  std::memcpy(paths[used], path.c_str(), path.size() + 1);
  used = used + 1;  // the slot is complete before the handler may read it
}

void CancellableTerminal::ProcessEvents() {
  if (received != 0) throw EngineError(stopText_);
}

std::string CancellableTerminal::Passwort_Abfragen() {
  std::string pw = received != 0 ? "" : TerminalInteraction::Passwort_Abfragen();
  return received != 0 ? "" : pw;
}

std::string CancellableTerminal::Passwort2_Abfragen() {
  std::string pw = received != 0 ? "" : TerminalInteraction::Passwort2_Abfragen();
  return received != 0 ? "" : pw;
}

int CancellableTerminal::Datentraeger_Anfordern(std::string& pfad) {
  const int answer = received != 0 ? kCancel : TerminalInteraction::Datentraeger_Anfordern(pfad);
  return received != 0 ? kCancel : answer;
}

void CancellableTerminal::Progress(std::int64_t done, std::int64_t total) {
  if (received != 0) throw EngineError(stopText_);
  TerminalInteraction::Progress(done, total);
}

}  // namespace pz::signals
