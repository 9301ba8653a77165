// How the engine asks the user. The desktop program answers with dialogs, the command line
// with terminal prompts, tests with scripted answers.
#pragma once

#include <cstdint>
#include <string>

namespace pz {

enum class MsgIcon { Information, Warning, Error, Question };

class Interaction {
 public:
  virtual ~Interaction() = default;

  // A new password, entered twice; "" when the user dismissed the entry.
  virtual std::string Passwort_Abfragen() = 0;
  // The password of a protected split, entered once; "" after Cancel.
  virtual std::string Passwort2_Abfragen() = 0;
  // Asks for the next volume showing pfad; 1 = OK (pfad holds the confirmed path), 2 = Cancel.
  virtual int Datentraeger_Anfordern(std::string& pfad) = 0;

  // A message box with one OK button.
  virtual void ShowMessage(const std::string& text, MsgIcon icon) = 0;
  // Hourglass cursor on or off.
  virtual void SetBusy(bool busy) = 0;
  // Repaint the main window.
  virtual void Repaint() {}
  // The status bar's single busy text (a text block and "..."); "" returns it to its panels.
  virtual void StatusText(const std::string& /*text*/) {}
  // Lets pending user-interface events through while a long engine call runs. Both this and
  // Progress throw EngineError when the user asked the work to stop (Ctrl-C, Cancel); every step
  // removes what it made as that unwinds.
  virtual void ProcessEvents() {}
  // Progress of the copy in progress: bytes done of the total.
  virtual void Progress(std::int64_t /*done*/, std::int64_t /*total*/) {}

  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;
};

// How a step that cannot go on ends: the hourglass goes first, so the message is not shown under
// it, then the message; false for the step to return.
inline bool Refuse(Interaction& ui, const std::string& text, MsgIcon icon) {
  ui.SetBusy(false);
  ui.ShowMessage(text, icon);
  return false;
}

// The hourglass of a step that turns it on itself: on from here, off when the step refuses or
// ends, on every path.
class BusyScope {
 public:
  explicit BusyScope(Interaction& ui) : ui_(ui) { ui_.SetBusy(true); }
  ~BusyScope() {
    if (on_) ui_.SetBusy(false);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

  bool Refuse(const std::string& text, MsgIcon icon) {
    on_ = false;
    return pz::Refuse(ui_, text, icon);
  }

 private:
  Interaction& ui_;
  bool on_ = true;
};

}  // namespace pz
