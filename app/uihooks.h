// Message boxes of the desktop program go through here, so that tests can answer them instead
// of a person: a MessageHook records each message (text and icon) and answers questions.
// Modal dialogs are run by RunModal, whose DialogHook tests answer dialogs through.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "engine/interaction.h"
#include "lang/language.h"
#include "screens/common.h"

namespace pz {

// Returns true for "Yes" when asked a question; the value is ignored for plain messages.
using MessageHook = std::function<bool(const QString& text, MsgIcon icon)>;

void SetMessageHook(MessageHook hook);

// A message box with one OK button and the icon.
void ShowMessage(QWidget* parent, const QString& text, MsgIcon icon);
// A question box with Yes and No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// Sets a field's text only when it differs, so that its change signal fires only for a change.
template <typename Field>
void SetTextIfDifferent(Field* field, const QString& text) {
  if (field->text() != text) field->setText(text);
}

// Window flags of a dialog that ends only through its buttons: a title bar without close box.
inline constexpr Qt::WindowFlags kDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;

// A text block of the language as a QString.
inline QString Text(const TextSource& texts, std::uint16_t block) {
  return QString::fromStdString(texts.GetText(block));
}

}  // namespace pz
