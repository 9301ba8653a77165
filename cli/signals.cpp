#include "cli/signals.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

#include "cli/cli.h"
#include "engine/engine.h"
#include "platform/os.h"

namespace pz::signals {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSlots = 4;

volatile sig_atomic_t received = 0;
char paths[kSlots][PATH_MAX];
volatile sig_atomic_t used = 0;
constexpr int kSignalCount = static_cast<int>(std::size(kSignals));
struct sigaction previous[kSignalCount];

// RegisterWithCompanions: the folder, open, and "NAME." in it.
volatile sig_atomic_t companionFolder = -1;
char companionPrefix[NAME_MAX + 2];
// Room for the folder's entries, read in the handler, which must not allocate.
alignas(dirent64) char entries[8192];

bool StartsWith(const char* name, const char* prefix) {
  for (; *prefix != '\0'; ++prefix, ++name) {
    if (*name != *prefix) return false;
  }
  return true;
}

// Only calls that a signal handler may make: lseek, getdents64, unlinkat.
void RemoveCompanions() {
  const int fd = companionFolder;
  if (fd < 0) return;
  bool removed = true;
  while (removed) {  // the folder is read again from the start after a removal
    removed = false;
    ::lseek(fd, 0, SEEK_SET);
    ssize_t n = 0;
    while (!removed && (n = ::getdents64(fd, entries, sizeof entries)) > 0) {
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const dirent64*>(entries + at);
        at += e->d_reclen;
        if (StartsWith(e->d_name, companionPrefix) && ::unlinkat(fd, e->d_name, 0) == 0)
          removed = true;
      }
    }
  }
}

void Handler(int sig) {
  const int savedErrno = errno;  // the interrupted code may be about to read it
  if (received != 0) {
    // Asked twice: the work did not stop in time, so its files go now.
    for (sig_atomic_t i = 0; i < used; ++i) ::unlink(paths[i]);
    RemoveCompanions();
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
  if (companionFolder >= 0) ::close(companionFolder);
  companionFolder = -1;
}

int Received() {
  return received;
}

void Register(const std::string& path) {
  if (used >= kSlots || path.size() >= PATH_MAX) return;
  std::memcpy(paths[used], path.c_str(), path.size() + 1);
  used = used + 1;  // the slot is complete before the handler may read it
}

void RegisterWithCompanions(const std::string& path) {
  Register(path);
  const std::string name = FileNamePart(path) + ".";
  if (companionFolder >= 0 || name.size() >= sizeof companionPrefix) return;
  std::memcpy(companionPrefix, name.c_str(), name.size() + 1);
  const std::string folder = FolderPart(path);
  companionFolder =
      ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

void CancellableTerminal::ProcessEvents() {
  if (received != 0) throw EngineStopped(stopText_);
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
  if (received != 0) throw EngineStopped(stopText_);
  TerminalInteraction::Progress(done, total);
}

}  // namespace pz::signals
