// The desktop program's answers to the engine and the language component: the dialogs,
// message boxes, the hourglass cursor, repainting and the status bar's busy text. The engine may
// call it from a thread of its own: whatever touches the window then runs on the window's thread
// while the engine waits.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <atomic>
#include <functional>
#include <optional>
#include <utility>

#include "engine/interaction.h"
#include "lang/language.h"

namespace pz {

// Owns one level of the application's override cursor (the hourglass): set at most once,
// restored when switched off or when the owner goes, whatever path it leaves by.
class WaitCursor {
 public:
  WaitCursor() = default;
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  ~WaitCursor() { Set(false); }
  void Set(bool on);
  bool On() const { return on_; }

 private:
  bool on_ = false;
};

class TQtInteraction : public Interaction, public LanguageUi {
 public:
  TQtInteraction(QWidget* window, const TextSource& texts);
  ~TQtInteraction() override;

  std::string Passwort_Abfragen() override;
  std::string Passwort2_Abfragen() override;
  int Datentraeger_Anfordern(std::string& pfad) override;
  void ShowMessage(const std::string& text, MsgIcon icon) override;
  void SetBusy(bool busy) override;
  void Repaint() override;
  void StatusText(const std::string& text) override;
  void ProcessEvents() override;
  void Progress(std::int64_t done, std::int64_t total) override;

  void LanguageError(const std::string& text) override;
  void LanguageBusy(bool busy) override;
  bool RunLanguageDialog(TPXLanguage& language) override;

  bool Busy() const { return busy_.On(); }
  // Asks the work in progress to stop: the next progress report or event pump ends it with
  // text block 236, and every step removes what it made.
  void RequestCancel() { cancel_ = true; }
  void ClearCancel() { cancel_ = false; }
  bool CancelRequested() const { return cancel_; }

  // While a split or join runs, its latest message is held back, so that the closing message
  // can carry the reason: one message per failure. Anything else that asks or tells the user
  // shows a held message first, also after the holding ended, unless it was taken.
  struct HeldMessage {
    QString text;
    MsgIcon icon = MsgIcon::Information;
  };
  void HoldMessages(bool on);
  std::optional<HeldMessage> TakeHeldMessage() { return std::exchange(held_, std::nullopt); }
  // Where the status bar shows a busy text ("" brings back its panels).
  std::function<void(const QString&)> onStatusText;

 private:
  // Shows the progress reached so far, which the interval may have held back.
  void ShowProgressNow();
  // Runs a passphrase dialog on the window's thread; what was typed ("" after Cancel).
  std::string AskPassphrase(QString (*dialog)(const TextSource&, QWidget*));
  // Ends the work when a stop was asked for.
  void StopIfAsked() const;
  // Before anything else asks the user: the message held back so far.
  void ShowHeldMessage();

  QPointer<QWidget> window_;
  const TextSource& texts_;
  // The engine's hourglass and the language component's each have their own level.
  WaitCursor busy_;
  WaitCursor languageBusy_;
  QString busyText_;
  int shownPercent_ = -1;
  int percent_ = -1;  // the latest progress, shown or not
  QElapsedTimer sinceShown_;
  QElapsedTimer started_;  // since the busy text was set: the rate's time base
  std::atomic<bool> cancel_{false};
  bool holding_ = false;
  std::optional<HeldMessage> held_;
};

// Runs f on the window's thread; from another thread it waits until f has run there.
void OnWindowThread(const std::function<void()>& f);

}  // namespace pz
