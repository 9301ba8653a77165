#include "app/qtinteraction.h"

#include <QApplication>
#include <QCoreApplication>
#include <QThread>

#include "app/dialogs.h"
#include "app/uihooks.h"
#include "crypt/age.h"
#include "engine/engine.h"
#include "engine/progress.h"
#include "lang/languagedialog.h"
#include "lang/textblocks.h"

namespace pz {

namespace {

// Progress is shown at most this often, so that copying is not slowed by repainting.
constexpr qint64 kProgressIntervalMs = 100;

// A typed passphrase as the engine takes it (UTF-8). The window's copies are wiped: the dialog is
// gone, so typed holds the last reference to the text its entry field shared.
std::string TakePassphrase(QString typed) {
  QByteArray utf8 = typed.toUtf8();
  std::string taken(utf8.constData(), static_cast<std::size_t>(utf8.size()));
  age::WipeBytes(utf8.data(), static_cast<std::size_t>(utf8.size()));
  age::WipeBytes(typed.data(), static_cast<std::size_t>(typed.size()) * sizeof(QChar));
  return taken;
}

}  // namespace

TQtInteraction::TQtInteraction(QWidget* window, const TextSource& texts)
    : window_(window), texts_(texts) {}

void OnWindowThread(const std::function<void()>& f) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() == app->thread()) {
    f();
    return;
  }
  QMetaObject::invokeMethod(app, f, Qt::BlockingQueuedConnection);
}

void TQtInteraction::StopIfAsked() const {
  if (cancel_) throw EngineStopped(texts_.GetText(tb::kCancelledByUser));
}

void WaitCursor::Set(bool on) {
  if (on == on_) return;
  on_ = on;
  if (on)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

TQtInteraction::~TQtInteraction() = default;

std::string TQtInteraction::AskPassphrase(QString (*dialog)(const TextSource&, QWidget*)) {
  std::string typed;
  OnWindowThread([&] {
    ShowHeldMessage();
    ShowProgressNow();
    typed = TakePassphrase(dialog(texts_, window_));
  });
  return typed;
}

std::string TQtInteraction::Passwort_Abfragen() {
  return AskPassphrase(&pz::Passwort_Abfragen);
}

std::string TQtInteraction::Passwort2_Abfragen() {
  return AskPassphrase(&pz::Passwort2_Abfragen);
}

int TQtInteraction::Datentraeger_Anfordern(std::string& pfad) {
  int result = kCancel;
  OnWindowThread([&] {
    ShowHeldMessage();
    ShowProgressNow();
    QString path = QString::fromStdString(pfad);
    result = pz::Datentraeger_Anfordern(texts_, path, window_);
    if (result == kOk) pfad = path.toStdString();
  });
  // Cancel from the window while the prompt was open.
  StopIfAsked();
  return result;
}

void TQtInteraction::ShowMessage(const std::string& text, MsgIcon icon) {
  OnWindowThread([&] {
    ShowHeldMessage();
    if (holding_ && icon != MsgIcon::Question) {
      held_ = HeldMessage{QString::fromStdString(text), icon};
      return;
    }
    pz::ShowMessage(window_, QString::fromStdString(text), icon);
  });
}

void TQtInteraction::HoldMessages(bool on) {
  holding_ = on;
}

void TQtInteraction::ShowHeldMessage() {
  if (const std::optional<HeldMessage> message = TakeHeldMessage())
    pz::ShowMessage(window_, message->text, message->icon);
}

void TQtInteraction::SetBusy(bool busy) {
  OnWindowThread([&] { busy_.Set(busy); });
}

void TQtInteraction::Repaint() {
  OnWindowThread([&] {
    if (window_) window_->repaint();
  });
}

void TQtInteraction::StatusText(const std::string& text) {
  OnWindowThread([&] {
    busyText_ = QString::fromStdString(text);
    shownPercent_ = -1;
    percent_ = -1;
    sinceShown_.start();
    started_.start();
    if (onStatusText) onStatusText(busyText_);
  });
}

void TQtInteraction::ProcessEvents() {
  StopIfAsked();
  // Work on a thread of its own leaves the window's loop running; on the window's thread, paint
  // and timer events only: a click must not start a second command inside this one.
  if (QThread::currentThread() == QCoreApplication::instance()->thread())
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TQtInteraction::Progress(std::int64_t done, std::int64_t total) {
  StopIfAsked();
  if (busyText_.isEmpty() || total <= 0 || !onStatusText) return;
  const int percent = ProzentFertig(done, total);
  percent_ = percent;
  if (percent == shownPercent_) return;
  if (percent != 100 && sinceShown_.isValid() && sinceShown_.elapsed() < kProgressIntervalMs) {
    return;
  }
  shownPercent_ = percent;
  sinceShown_.start();
  const double seconds = static_cast<double>(started_.elapsed()) / 1000.0;
  const QString text =
      busyText_ + " " + QString::fromStdString(ProgressFigures(done, total, seconds));
  OnWindowThread([&] { onStatusText(text); });
  ProcessEvents();
}

void TQtInteraction::ShowProgressNow() {
  if (busyText_.isEmpty() || percent_ < 0 || percent_ == shownPercent_ || !onStatusText) return;
  shownPercent_ = percent_;
  sinceShown_.start();
  onStatusText(busyText_ + QString(" %1 %").arg(percent_));
}

void TQtInteraction::LanguageError(const std::string& text) {
  ShowMessage(text, MsgIcon::Error);
}

void TQtInteraction::LanguageBusy(bool busy) {
  languageBusy_.Set(busy);
}

bool TQtInteraction::RunLanguageDialog(TPXLanguage& language) {
  ShowHeldMessage();
  return pz::RunLanguageDialog(language, window_);
}

}  // namespace pz
