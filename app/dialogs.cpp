#include "app/dialogs.h"

#include <QStyle>

#include "app/uihooks.h"
#include "engine/header.h"
#include "engine/interaction.h"
#include "lang/textblocks.h"
#include "platform/os.h"

namespace pz {

namespace {

void SetDialogFont(QWidget* w) {
  QFont f("Arial");
  f.setPixelSize(13);
  f.setBold(true);
  w->setFont(f);
}

QLineEdit* PasswordField(QWidget* parent, const char* name, int top) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setGeometry(8, top, 217, 24);
  e->setMaxLength(kPasswordFieldChars);
  e->setEchoMode(QLineEdit::Password);
  // Masked with "*" whatever the style's own mask character.
  e->setStyleSheet("lineedit-password-character: 42");
  return e;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, const QRect& r,
                    QStyle::StandardPixmap glyph) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setGeometry(r);
  b->setIcon(parent->style()->standardIcon(glyph));
  b->setAutoDefault(false);
  return b;
}

// The messages of the dialogs: an information box, then the field concerned gets the focus.
void Complain(QWidget* parent, const TextSource& texts, tb::Block block, QWidget* focus) {
  ShowMessage(parent, Text(texts, block), MsgIcon::Information);
  focus->setFocus();
}

}  // namespace

TPasswortDialog::TPasswortDialog(const TextSource& texts, QWidget* parent)
    : QDialog(parent, kDialogFlags), texts_(texts) {
  setObjectName("PasswortDialog");
  SetDialogFont(this);
  // Room below the fields for the line that says the data will be encrypted.
  setFixedSize(233, 184);
  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->move(8, 4);
  Edit1 = PasswordField(this, "Edit1", 22);
  Label2 = new QLabel(this);
  Label2->setObjectName("Label2");
  Label2->move(8, 54);
  Edit2 = PasswordField(this, "Edit2", 72);
  LabelEncrypt = new QLabel(this);
  LabelEncrypt->setObjectName("LabelEncrypt");
  LabelEncrypt->setGeometry(8, 100, 217, 44);
  LabelEncrypt->setWordWrap(true);
  QFont note = LabelEncrypt->font();
  note.setBold(false);
  note.setPixelSize(11);
  LabelEncrypt->setFont(note);
  ButtonOK = Button(this, "ButtonOK", "OK", {19, 150, 95, 30}, QStyle::SP_DialogOkButton);
  ButtonOK->setDefault(true);
  ButtonCancel =
      Button(this, "ButtonCancel", "Abbrechen", {119, 150, 95, 30}, QStyle::SP_DialogCancelButton);
  // The texts replace the built-in captions even when a block is missing.
  setWindowTitle(Text(texts, tb::kPasswordCaption));
  Label1->setText(Text(texts, tb::kPasswordCaption) + " :");
  Label2->setText(Text(texts, tb::kPasswordRepeat) + " :");
  LabelEncrypt->setText(Text(texts, tb::kPasswordWillEncrypt));
  Label1->adjustSize();
  Label2->adjustSize();
  ButtonOK->setText(Text(texts, tb::kButtonOk));
  ButtonCancel->setText(Text(texts, tb::kButtonCancel));
  connect(ButtonOK, &QPushButton::clicked, this, &TPasswortDialog::ButtonOKClick);
  connect(ButtonCancel, &QPushButton::clicked, this, &TPasswortDialog::reject);
  Edit1->setFocus();
}

void TPasswortDialog::ButtonOKClick() {
  if (Edit1->text().isEmpty()) return Complain(this, texts_, tb::kPasswordFirstEmpty, Edit1);
  // The split's own limit, so a passphrase taken here is never refused later.
  if (Edit1->text().toUtf8().size() > static_cast<qsizetype>(kMaxPassphraseBytes)) {
    return Complain(this, texts_, tb::kPasswordLimit, Edit1);
  }
  if (Edit2->text().isEmpty()) return Complain(this, texts_, tb::kPasswordSecondEmpty, Edit2);
  if (Edit1->text() != Edit2->text()) {
    return Complain(this, texts_, tb::kPasswordsDiffer, Edit2);
  }
  result_ = Edit1->text();
  accept();
}

void TPasswortDialog::reject() {
  if (AskYesNo(this, Text(texts_, tb::kPasswordConfirmCancel))) QDialog::reject();
}

TPasswortDialog2::TPasswortDialog2(const TextSource& texts, QWidget* parent)
    : QDialog(parent, kDialogFlags), texts_(texts) {
  setObjectName("PasswortDialog2");
  SetDialogFont(this);
  setFixedSize(233, 68);
  setWindowTitle(QString::fromUtf8("Paßwort eingeben"));
  Edit = PasswordField(this, "Edit", 7);
  ButtonOK = Button(this, "ButtonOK", "OK", {19, 35, 95, 30}, QStyle::SP_DialogOkButton);
  ButtonOK->setDefault(true);
  ButtonCancel =
      Button(this, "ButtonCancel", "Abbrechen", {119, 35, 95, 30}, QStyle::SP_DialogCancelButton);
  connect(ButtonOK, &QPushButton::clicked, this, &TPasswortDialog2::ButtonOKClick);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
  Edit->setFocus();
}

void TPasswortDialog2::showEvent(QShowEvent* event) {
  setWindowTitle(Text(texts_, tb::kPasswordCaption));
  ButtonOK->setText(Text(texts_, tb::kButtonOk));
  ButtonCancel->setText(Text(texts_, tb::kButtonCancel));
  result_.clear();
  QDialog::showEvent(event);
}

void TPasswortDialog2::ButtonOKClick() {
  if (Edit->text().isEmpty()) return Complain(this, texts_, tb::kPasswordFirstEmpty, Edit);
  result_ = Edit->text();
  accept();
}

TDatentraegerDialog::TDatentraegerDialog(const TextSource& texts, const QString& path,
                                         QWidget* parent)
    : QDialog(parent, kDialogFlags), texts_(texts) {
  setObjectName("DatentraegerDialog");
  SetDialogFont(this);
  setFixedSize(430, 69);
  Edit = new QLineEdit(this);
  Edit->setObjectName("Edit");
  Edit->setGeometry(5, 5, 381, 24);
  Button = new QPushButton("...", this);
  Button->setObjectName("Button");
  Button->setGeometry(395, 5, 30, 25);
  Button->setAutoDefault(false);
  ButtonOK = pz::Button(this, "ButtonOK", "OK", {110, 35, 100, 30}, QStyle::SP_DialogOkButton);
  ButtonOK->setDefault(true);
  ButtonCancel = pz::Button(this, "ButtonCancel", "Abbrechen", {220, 35, 100, 30},
                            QStyle::SP_DialogCancelButton);
  // This dialog's picker always speaks German.
  PXPath.SetLanguageCodeLetter("D");
  setWindowTitle(Text(texts, tb::kVolumeCaption));
  ButtonOK->setText(Text(texts, tb::kButtonOk));
  ButtonCancel->setText(Text(texts, tb::kButtonCancel));
  Edit->setText(path);
  connect(Button, &QPushButton::clicked, this, &TDatentraegerDialog::ButtonClick);
  connect(ButtonOK, &QPushButton::clicked, this, &TDatentraegerDialog::ButtonOKClick);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TDatentraegerDialog::ButtonClick() {
  PXPath.SetPath(Edit->text());
  if (PXPath.Execute(this)) Edit->setText(PXPath.Path());
}

void TDatentraegerDialog::ButtonOKClick() {
  const QString text = Edit->text();
  if (text.isEmpty()) return Complain(this, texts_, tb::kVolumeFolderEmpty, Edit);
  if (!HasDrivePart(text.toStdString())) {
    return Complain(this, texts_, tb::kTargetFolderInvalid, Edit);
  }
  result_ = text;
  accept();
}

QString Passwort_Abfragen(const TextSource& texts, QWidget* parent) {
  TPasswortDialog dialog(texts, parent);
  return RunModal(dialog) == QDialog::Accepted ? dialog.Result() : QString();
}

QString Passwort2_Abfragen(const TextSource& texts, QWidget* parent) {
  TPasswortDialog2 dialog(texts, parent);
  return RunModal(dialog) == QDialog::Accepted ? dialog.Result() : QString();
}

int Datentraeger_Anfordern(const TextSource& texts, QString& path, QWidget* parent) {
  TDatentraegerDialog dialog(texts, path, parent);
  if (RunModal(dialog) != QDialog::Accepted) return Interaction::kCancel;
  path = dialog.Result();
  return Interaction::kOk;
}

}  // namespace pz
