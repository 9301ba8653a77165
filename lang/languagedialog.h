// The language selection dialog: one entry per language file, with its flag and its name.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QString>
#include <memory>
#include <vector>

#include "lang/language.h"

namespace pz {

struct TLanguageEntry {
  QLabel* Flag = nullptr;          // 32 x 24
  QRadioButton* Button = nullptr;  // 240 x 24, the language's display name
  QString LanguageFile;            // file name without folder
};

class TLanguageDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TLanguageDialog(QWidget* parent = nullptr);

  void FormCreate();
  // Fills the list from the language files in folder; preselects currentName.
  void BuildScreen(const QString& folder, const QString& currentName);
  void RadioButtonClick();

  const std::vector<TLanguageEntry>& Entries() const { return entries_; }
  const QString& SelectedFile() const { return selectedFile_; }
  QScrollArea* ScrollBox() const { return scrollBox_; }
  QWidget* ScrollContents() const { return contents_; }
  QPushButton* ButtonOK() const { return buttonOK_; }
  QPushButton* ButtonCancel() const { return buttonCancel_; }

  // Caption and button texts by the component's dialog language.
  void SetDialogLanguage(TLangDialog language);

 private:
  QScrollArea* scrollBox_;
  QWidget* contents_;
  QPushButton* buttonOK_;
  QPushButton* buttonCancel_;
  std::vector<TLanguageEntry> entries_;
  QString selectedFile_;
};

// Execute of the language component: runs the dialog; on OK the chosen file becomes current
// and is read.
bool RunLanguageDialog(TPXLanguage& language, QWidget* parent = nullptr);

}  // namespace pz
