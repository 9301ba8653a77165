#include "app/uihooks.h"

#include <QApplication>
#include <QMessageBox>

#include "screens/common.h"

namespace pz {

namespace {

MessageHook& messageHook() {
  static MessageHook hook;
  return hook;
}

QMessageBox::Icon BoxIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::Warning:
      return QMessageBox::Warning;
    case MsgIcon::Error:
      return QMessageBox::Critical;
    case MsgIcon::Question:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void SetMessageHook(MessageHook hook) {
  messageHook() = std::move(hook);
}

void ShowMessage(QWidget* parent, const QString& text, MsgIcon icon) {
  if (MessageHook hook = messageHook()) {
    hook(text, icon);
    return;
  }
  QMessageBox box(BoxIcon(icon), QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                  parent);
  RunModal(box, DialogPlacement::OverParent);
}

bool AskYesNo(QWidget* parent, const QString& text) {
  if (MessageHook hook = messageHook()) return hook(text, MsgIcon::Question);
  QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  return RunModal(box, DialogPlacement::OverParent) == QMessageBox::Yes;
}

}  // namespace pz
