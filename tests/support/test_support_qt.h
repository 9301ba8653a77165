// Test helpers for the desktop program: recorded message boxes, scripted dialogs, text blocks
// that name their own number, and a program folder in a temporary directory.
#pragma once

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/uihooks.h"
#include "lang/language.h"

namespace pztest {

struct Message {
  QString text;
  pz::MsgIcon icon;
};

// Records every message box; questions are answered from a queue (No when it is empty).
class MessageRecorder {
 public:
  MessageRecorder() {
    pz::SetMessageHook([this](const QString& text, pz::MsgIcon icon) {
      messages.push_back({text, icon});
      if (icon != pz::MsgIcon::Question || answers.empty()) return false;
      const bool yes = answers.front();
      answers.pop_front();
      return yes;
    });
  }
  ~MessageRecorder() { pz::SetMessageHook(nullptr); }
  QStringList Texts() const {
    QStringList out;
    for (const auto& m : messages) out << m.text;
    return out;
  }
  std::vector<Message> messages;
  std::deque<bool> answers;
};

// Answers the modal dialogs in turn, one script per dialog.
class DialogScript {
 public:
  using Step = std::function<void(QDialog&)>;
  DialogScript() {
    pz::SetDialogHook([this](QDialog& d) {
      ++shown;
      if (steps.empty()) return;  // an unexpected dialog is cancelled
      Step step = steps.front();
      steps.pop_front();
      step(d);
    });
  }
  ~DialogScript() { pz::SetDialogHook(nullptr); }
  std::deque<Step> steps;
  int shown = 0;
};

// Text blocks that read "T<number>", so a test sees which block a message came from.
class NumberedTexts : public pz::TextSource {
 public:
  std::string GetText(std::uint16_t block) const override { return "T" + std::to_string(block); }
};

inline QString T(std::uint16_t block) {
  return QString("T%1").arg(block);
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
  f.write(bytes);
}

inline QByteArray ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

}  // namespace pztest
