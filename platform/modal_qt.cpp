#include "platform/modal_qt.h"

#include <QDialog>
#include <QScreen>
#include <utility>

namespace pz {

void CenterOnScreen(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

namespace {

DialogHook& dialogHook() {
  static DialogHook hook;
  return hook;
}

}  // namespace

void SetDialogHook(DialogHook hook) {
  dialogHook() = std::move(hook);
}

int RunModal(QDialog& dialog, DialogPlacement placement) {
  if (placement == DialogPlacement::ScreenCentre) {
    // Centred on the screen, not over the main window.
    if (!dialog.testAttribute(Qt::WA_Resized)) dialog.adjustSize();
    CenterOnScreen(dialog);
  }
  // A copy, so that a hook may replace itself or open a nested dialog.
  DialogHook hook = dialogHook();
  if (!hook) return dialog.exec();
  dialog.setResult(QDialog::Rejected);
  dialog.show();
  hook(dialog);
  dialog.hide();
  return dialog.result();
}

}  // namespace pz
