#include "cli/terminal.h"

#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "engine/engine.h"
#include "engine/header.h"
#include "engine/progress.h"
#include "lang/textblocks.h"
#include "platform/os.h"

namespace pz {

namespace {

std::string CutLineEnd(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

std::string Trim(const std::string& s) {
  const auto a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  const auto b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

// "~" and "~/..." name the home folder, as in the shell.
std::string ExpandHome(const std::string& path) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0' || path.empty() || path[0] != '~') return path;
  if (path.size() == 1) return home;
  return path[1] == '/' ? JoinPath(home, path.substr(2)) : path;
}

}  // namespace

TerminalInteraction::TerminalInteraction(const TextSource& texts, std::FILE* in, std::FILE* err)
    : texts_(texts), in_(in), err_(err), errIsTerminal_(isatty(fileno(err)) != 0) {}

std::string TerminalInteraction::Absolute(const std::string& path) {
  if (path.empty() || HasDrivePart(path)) return path;
  char buf[PATH_MAX];
  if (getcwd(buf, sizeof buf) == nullptr) return path;
  return JoinPath(buf, path);
}

bool TerminalInteraction::ReadLine(std::string& line, bool hidden) {
  const int fd = fileno(in_);
  termios saved{};
  const bool noEcho = hidden && isatty(fd) && tcgetattr(fd, &saved) == 0;
  if (noEcho) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  std::string got;
  bool ok = false;
  int c;
  while ((c = std::fgetc(in_)) != EOF) {
    ok = true;
    if (c == '\n') break;
    got += static_cast<char>(c);
  }
  if (noEcho) {
    tcsetattr(fd, TCSAFLUSH, &saved);
    std::fputc('\n', err_);
  }
  line = CutLineEnd(got);
  return ok;
}

std::string TerminalInteraction::Passwort_Abfragen() {
  if (hasPassword_) return password_;
  EndProgressLine();
  return Prompt([this] { return AskNewPassword(); });
}

std::string TerminalInteraction::AskNewPassword() {
  for (;;) {
    std::string first, second;
    std::fprintf(err_, "%s : ", texts_.GetText(tb::kPasswordCaption).c_str());
    std::fflush(err_);
    if (!ReadLine(first, true)) throw EngineError(texts_.GetText(tb::kPasswordEntryCancelled));
    if (first.empty()) {
      std::fprintf(err_, "%s\n", texts_.GetText(tb::kPasswordFirstEmpty).c_str());
      continue;
    }
    // The same limit as the split's, so a passphrase taken here is never refused later.
    if (first.size() > kMaxPassphraseBytes) {
      std::fprintf(err_, "%s\n", texts_.GetText(tb::kPasswordLimit).c_str());
      continue;
    }
    std::fprintf(err_, "%s : ", texts_.GetText(tb::kPasswordRepeat).c_str());
    std::fflush(err_);
    if (!ReadLine(second, true)) throw EngineError(texts_.GetText(tb::kPasswordEntryCancelled));
    if (second.empty()) {
      std::fprintf(err_, "%s\n", texts_.GetText(tb::kPasswordSecondEmpty).c_str());
      continue;
    }
    const bool same = first == second;
    age::Wipe(second);
    if (!same) {
      age::Wipe(first);
      std::fprintf(err_, "%s\n", texts_.GetText(tb::kPasswordsDiffer).c_str());
      continue;
    }
    return first;
  }
}

std::string TerminalInteraction::Passwort2_Abfragen() {
  if (hasPassword_) return password_;
  EndProgressLine();
  return Prompt([this] {
    for (;;) {
      std::string typed;
      std::fprintf(err_, "%s : ", texts_.GetText(tb::kPasswordCaption).c_str());
      std::fflush(err_);
      if (!ReadLine(typed, true)) return std::string();
      if (!typed.empty()) return typed;
      std::fprintf(err_, "%s\n", texts_.GetText(tb::kPasswordFirstEmpty).c_str());
    }
  });
}

int TerminalInteraction::Datentraeger_Anfordern(std::string& pfad) {
  EndProgressLine();
  return Prompt([&] { return AskVolume(pfad); });
}

int TerminalInteraction::AskVolume(std::string& pfad) {
  for (;;) {
    std::fprintf(err_, "%s: %s\n%s\n> ", texts_.GetText(tb::kVolumeCaption).c_str(), pfad.c_str(),
                 texts_.GetText(tb::kPromptVolumeHint).c_str());
    std::fflush(err_);
    std::string answer;
    if (!ReadLine(answer, false)) {
      std::fputc('\n', err_);
      return kCancel;
    }
    answer = Trim(answer);
    if (answer.empty()) return kOk;
    // "./stick" and "stick/" name the same folder as "stick": shown as that in later messages.
    std::string path = std::filesystem::path(Absolute(ExpandHome(answer))).lexically_normal();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    if (!HasDrivePart(path)) {
      std::fprintf(err_, "%s\n", texts_.GetText(tb::kTargetFolderInvalid).c_str());
      continue;
    }
    pfad = path;
    return kOk;
  }
}

void TerminalInteraction::ShowMessage(const std::string& text, MsgIcon icon) {
  if (quiet_ && icon != MsgIcon::Error && icon != MsgIcon::Warning) return;
  EndProgressLine();
  std::string shown = text;
  for (char& c : shown) {
    if (c == '\r') c = '\n';
  }
  std::fprintf(err_, "%s\n", shown.c_str());
  std::fflush(err_);
}

void TerminalInteraction::StatusText(const std::string& text) {
  EndProgressLine();
  started_ = now_();
  if (!quiet_ && !text.empty()) std::fprintf(err_, "%s\n", text.c_str());
}

void TerminalInteraction::Progress(std::int64_t done, std::int64_t total) {
  if (quiet_ || !errIsTerminal_) return;
  const auto now = now_();
  if (progressShown_ && done < total && now - lastProgress_ < std::chrono::milliseconds(100)) {
    return;
  }
  lastProgress_ = now;
  std::fprintf(err_, "\r%s ", ProgressFigures(done, total, WorkSeconds()).c_str());
  std::fflush(err_);
  progressShown_ = true;
}

double TerminalInteraction::WorkSeconds() const {
  return std::chrono::duration<double>(now_() - started_).count();
}

void TerminalInteraction::EndProgressLine() {
  if (!progressShown_) return;
  std::fputc('\n', err_);
  progressShown_ = false;
}

}  // namespace pz
