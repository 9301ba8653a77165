// TPXPath: the maker's folder picker. A component without a window of its own; Execute shows
// TPXPathDialog, a drive selector (the mounted file systems and the home folder) above which
// the folders of the chosen one are listed as a tree.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTreeView>

#include "lang/component.h"

namespace pz {

class TPXPathDialog : public QDialog {
  Q_OBJECT

 public:
  TPXPathDialog(bool german, QWidget* parent = nullptr);

  // Shows the drive that holds the folder and selects the folder; false when it cannot be shown.
  bool ShowFolder(const QString& folder);
  // The folder selected in the list as a full path (the drive's root when none is selected).
  QString SelectedFolder() const;
  // Switches the list to the drive at index i of the selector.
  void ChooseDrive(int i);

  QLabel* VerzeichnisseLabel;
  QLabel* VerzeichnisLabel;
  QTreeView* PfadDirectoryListBox;
  QLabel* LaufwerkeLabel;
  QComboBox* PfadDriveComboBox;
  QPushButton* OKButton;
  QPushButton* CancelButton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The controls from top to bottom, then their signals and tab order.
  void BuildFolderList(bool german);
  void BuildDriveSelector(bool german);
  void BuildButtons(bool german);
  void ConnectControls();
  void SelectionChanged();
  // Folders are read in the background: expand and scroll to the selected one as they arrive.
  void RevealCurrent();
  QFileSystemModel model_;
};

// The roots offered by the drive selector: "/", the home folder and the mounted file systems
// that hold real devices (removable media included), without duplicates.
QStringList DriveRoots();

class TPXPath : public TPXComponent {
 public:
  TPXPath() = default;

  const char* ClassName() const override { return "TPXPath"; }
  const char* Version() const override { return "1.05"; }
  const char* LastCompile() const override { return "01.02.2000"; }

  const QString& Path() const { return path_; }
  void SetPath(const QString& path) { path_ = path; }

  // Shows the dialog; true on OK with the chosen folder in Path, false with Path unchanged.
  bool Execute(QWidget* parent = nullptr);

 private:
  QString path_;
};

}  // namespace pz
