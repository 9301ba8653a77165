// The engine's questions asked on a terminal: prompts on standard error, answers read line by
// line from standard input, so every prompt can be scripted.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "crypt/age.h"
#include "engine/interaction.h"
#include "lang/language.h"
#include "platform/filehandle.h"

namespace pz {

class TerminalInteraction : public Interaction {
 public:
  TerminalInteraction(const TextSource& texts, std::FILE* in, std::FILE* err);

  void SetQuiet(bool quiet) { quiet_ = quiet; }
  // The password from a file: used for both entries of a split and for a join.
  ~TerminalInteraction() override { age::Wipe(password_); }
  TerminalInteraction(const TerminalInteraction&) = delete;
  TerminalInteraction& operator=(const TerminalInteraction&) = delete;
  void SetPassword(const std::string& password) {
    password_ = password;
    hasPassword_ = true;
  }

  std::string Passwort_Abfragen() override;
  std::string Passwort2_Abfragen() override;
  int Datentraeger_Anfordern(std::string& pfad) override;
  void ShowMessage(const std::string& text, MsgIcon icon) override;
  void SetBusy(bool) override {}
  void StatusText(const std::string& text) override;
  void Progress(std::int64_t done, std::int64_t total) override;

  // Reads one line; false at the end of the input.
  bool ReadLine(std::string& line, bool hidden);
  // The seconds the work in progress has run since its busy text, the time spent waiting at
  // prompts left out: the rate must not fall while the user fetches a volume.
  double WorkSeconds() const;
  using Clock = std::chrono::steady_clock;
  void SetClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }
  // Turns a relative path into one below the current folder.
  static std::string Absolute(const std::string& path);

 private:
  void EndProgressLine();
  std::string AskNewPassword();
  int AskVolume(std::string& pfad);
  // Runs a prompt; its time does not count as work.
  template <typename F>
  auto Prompt(F ask) {
    const Clock::time_point asked = now_();
    const ScopeGuard uncount([&] { started_ += now_() - asked; });
    return ask();
  }

  const TextSource& texts_;
  std::FILE* in_;
  std::FILE* err_;
  bool quiet_ = false;
  bool hasPassword_ = false;
  std::string password_;
  bool progressShown_ = false;
  bool errIsTerminal_ = false;
  std::function<Clock::time_point()> now_ = [] { return Clock::now(); };
  Clock::time_point started_;
  Clock::time_point lastProgress_;
};

}  // namespace pz
