// The three small dialogs the split and join ask the user through: a new password (entered
// twice), the password of a protected split, and the next volume. Each is created for one run
// and answers through its function.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

#include "app/pxpath.h"
#include "lang/language.h"

namespace pz {

// Most characters a password field takes; the entry then counts the UTF-8 bytes against
// kMaxPassphraseBytes (engine/header.h).
inline constexpr int kPasswordFieldChars = 1024;

class TPasswortDialog : public QDialog {
  Q_OBJECT

 public:
  TPasswortDialog(const TextSource& texts, QWidget* parent = nullptr);
  QString Result() const { return result_; }

  QLabel* Label1;
  QLineEdit* Edit1;
  QLabel* Label2;
  QLineEdit* Edit2;
  QLabel* LabelEncrypt;  // says that the data will be encrypted
  QPushButton* ButtonOK;
  QPushButton* ButtonCancel;

  // Cancel and Escape ask before the entry is dropped.
  void reject() override;

 private:
  void ButtonOKClick();
  const TextSource& texts_;
  QString result_;
};

class TPasswortDialog2 : public QDialog {
  Q_OBJECT

 public:
  TPasswortDialog2(const TextSource& texts, QWidget* parent = nullptr);
  QString Result() const { return result_; }

  QLineEdit* Edit;
  QPushButton* ButtonOK;
  QPushButton* ButtonCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ButtonOKClick();
  const TextSource& texts_;
  QString result_;
};

class TDatentraegerDialog : public QDialog {
  Q_OBJECT

 public:
  TDatentraegerDialog(const TextSource& texts, const QString& path, QWidget* parent = nullptr);
  QString Result() const { return result_; }

  QLineEdit* Edit;
  QPushButton* Button;
  QPushButton* ButtonOK;
  QPushButton* ButtonCancel;
  TPXPath PXPath;

 private:
  void ButtonClick();
  void ButtonOKClick();
  const TextSource& texts_;
  QString result_;
};

// The entered password on OK, else "".
QString Passwort_Abfragen(const TextSource& texts, QWidget* parent = nullptr);
QString Passwort2_Abfragen(const TextSource& texts, QWidget* parent = nullptr);
// 1 (OK, path then holds the confirmed text) or 2 (Cancel, path unchanged).
int Datentraeger_Anfordern(const TextSource& texts, QString& path, QWidget* parent = nullptr);

}  // namespace pz
