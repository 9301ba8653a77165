// The internal information: the maker's components that the program contains, as they
// recorded themselves under the settings key "CI", each with its company, version and date.
#pragma once

#include <QDialog>
#include <QObject>
#include <QString>
#include <string>

#include "lang/component.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace pz {

class TPXInternalInfoDialog : public QDialog {
  Q_OBJECT

 public:
  TPXInternalInfoDialog();

  // Lists the subkeys of keyPath in the component information store, case-insensitively
  // sorted, each with its values.
  void AssembleDisplay(const std::string& keyPath);

  QWidget* Panel2;
  QLabel* Label1;
  QScrollArea* ScrollBox;
  QWidget* ScrollContent;  // the scroll box's content, which holds the rows
  QLabel* Label2;
  QLabel* Label3;
  QWidget* Panel1;
  QPushButton* ButtonOK;

 private:
  QLabel* AddRow(const QString& name, const QRect& geometry, const QString& text,
                 const QColor& color);
};

// The dialog of the running Execute; empty outside it.
TPXInternalInfoDialog* InternalInfoDialog();

class TPXInternalInfo : public QObject, public TPXComponent {
  Q_OBJECT

 public:
  explicit TPXInternalInfo(QObject* owner = nullptr) : QObject(owner) {}

  const char* ClassName() const override { return "TPXInternalInfo"; }
  const char* Version() const override { return "2.0"; }
  const char* LastCompile() const override { return "05.02.2000"; }

  // Records this component and remembers where the list is read from: keyPath\CI.
  void WriteComponentInfo(const std::string& keyPath);
  const std::string& CIKeyPath() const { return ciKeyPath_; }

  // Shows the list modally.
  void Execute();

 private:
  std::string ciKeyPath_;
};

}  // namespace pz
