#include "app/pxpath.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTimer>
#include <algorithm>

#include "app/uihooks.h"

namespace pz {

namespace {

// True when root contains folder (both absolute and clean).
bool Contains(const QString& root, const QString& folder) {
  if (root == "/") return folder.startsWith('/');
  return folder == root || folder.startsWith(root + '/');
}

}  // namespace

QStringList DriveRoots() {
  QStringList roots{"/"};
  const QString home = QDir::cleanPath(QDir::homePath());
  if (!roots.contains(home)) roots << home;
  QStringList mounted;
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
    // Pseudo file systems (proc, sysfs, tmpfs, ...) have no device node behind them.
    if (!v.isValid() || !v.isReady() || !v.device().startsWith("/dev/")) continue;
    const QString root = QDir::cleanPath(v.rootPath());
    if (!roots.contains(root) && !mounted.contains(root)) mounted << root;
  }
  mounted.sort();
  return roots + mounted;
}

TPXPathDialog::TPXPathDialog(bool german, QWidget* parent) : QDialog(parent, kDialogFlags) {
  setObjectName("PXPathDialog");
  QFont f("Arial");
  f.setPixelSize(11);
  f.setBold(true);
  setFont(f);
  setFixedSize(535, 322);
  setWindowTitle(german ? QString::fromUtf8("Verzeichnis auswählen") : "Choose folder");
  BuildFolderList(german);
  BuildDriveSelector(german);
  BuildButtons(german);
  ConnectControls();
  // The list starts in the process's current folder.
  if (!ShowFolder(QDir::currentPath())) ChooseDrive(0);
  PfadDriveComboBox->setFocus();
}

void TPXPathDialog::BuildFolderList(bool german) {
  VerzeichnisseLabel = new QLabel(german ? "Verzeichnisse :" : "Folders :", this);
  VerzeichnisseLabel->setObjectName("VerzeichnisseLabel");
  VerzeichnisseLabel->move(10, 10);
  VerzeichnisLabel = new QLabel(this);
  VerzeichnisLabel->setObjectName("VerzeichnisLabel");
  VerzeichnisLabel->setGeometry(10, 30, 389, 16);
  QPalette navy = VerzeichnisLabel->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  VerzeichnisLabel->setPalette(navy);

  model_.setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_.setReadOnly(true);
  PfadDirectoryListBox = new QTreeView(this);
  PfadDirectoryListBox->setObjectName("PfadDirectoryListBox");
  PfadDirectoryListBox->setGeometry(10, 50, 515, 185);
  PfadDirectoryListBox->setModel(&model_);
  PfadDirectoryListBox->setHeaderHidden(true);
  for (int c = 1; c < model_.columnCount(); ++c) PfadDirectoryListBox->hideColumn(c);
  PfadDirectoryListBox->setUniformRowHeights(true);
  PfadDirectoryListBox->setStyleSheet("QTreeView::item { height: 16px; }");
}

void TPXPathDialog::BuildDriveSelector(bool german) {
  LaufwerkeLabel = new QLabel(german ? "Laufwerk :" : "Drive :", this);
  LaufwerkeLabel->setObjectName("LaufwerkeLabel");
  LaufwerkeLabel->move(10, 245);
  PfadDriveComboBox = new QComboBox(this);
  PfadDriveComboBox->setObjectName("PfadDriveComboBox");
  PfadDriveComboBox->setGeometry(10, 260, 515, 22);
  for (const QString& root : DriveRoots()) {
    const QStorageInfo info(root);
    const QString name = info.displayName();
    PfadDriveComboBox->addItem(name.isEmpty() || name == root ? root : root + "  [" + name + "]",
                               root);
  }
}

void TPXPathDialog::BuildButtons(bool german) {
  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry(165, 290, 100, 30);
  OKButton->setDefault(true);
  OKButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  CancelButton = new QPushButton(german ? "Abbruch" : "Cancel", this);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setGeometry(270, 290, 100, 30);
  CancelButton->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
}

void TPXPathDialog::ConnectControls() {
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(PfadDriveComboBox, PfadDirectoryListBox);
  setTabOrder(PfadDirectoryListBox, OKButton);
  setTabOrder(OKButton, CancelButton);

  connect(PfadDriveComboBox, &QComboBox::activated, this, &TPXPathDialog::ChooseDrive);
  connect(PfadDirectoryListBox->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TPXPathDialog::SelectionChanged);
  // Folders are read in the background: keep the selected one in view as they arrive.
  connect(&model_, &QFileSystemModel::directoryLoaded, this, &TPXPathDialog::RevealCurrent);
  connect(&model_, &QFileSystemModel::layoutChanged, this, &TPXPathDialog::RevealCurrent,
          Qt::QueuedConnection);
}

void TPXPathDialog::ChooseDrive(int i) {
  if (i < 0 || i >= PfadDriveComboBox->count()) return;
  PfadDriveComboBox->setCurrentIndex(i);
  const QString root = PfadDriveComboBox->itemData(i).toString();
  // The list holds the folders below the drive's root; with none selected the root is chosen.
  model_.setRootPath(root);
  PfadDirectoryListBox->setRootIndex(model_.index(root));
  PfadDirectoryListBox->setCurrentIndex(QModelIndex());
  SelectionChanged();
}

bool TPXPathDialog::ShowFolder(const QString& folder) {
  if (folder.isEmpty()) return false;
  const QFileInfo info(folder);
  if (!info.isAbsolute() || !info.isDir()) return false;
  const QString clean = QDir::cleanPath(info.absoluteFilePath());
  int best = -1;
  qsizetype bestLength = -1;
  for (int i = 0; i < PfadDriveComboBox->count(); ++i) {
    const QString root = PfadDriveComboBox->itemData(i).toString();
    if (Contains(root, clean) && root.size() > bestLength) best = i, bestLength = root.size();
  }
  if (best < 0) return false;
  ChooseDrive(best);
  if (clean == PfadDriveComboBox->itemData(best).toString()) return true;
  const QModelIndex index = model_.index(clean);
  if (!index.isValid()) return false;
  PfadDirectoryListBox->setCurrentIndex(index);
  RevealCurrent();
  SelectionChanged();
  return true;
}

void TPXPathDialog::RevealCurrent() {
  const QModelIndex current = PfadDirectoryListBox->currentIndex();
  if (!current.isValid()) return;
  for (QModelIndex p = current.parent(); p.isValid(); p = p.parent()) {
    PfadDirectoryListBox->expand(p);
  }
  PfadDirectoryListBox->scrollTo(current);
}

void TPXPathDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QTimer::singleShot(0, this, &TPXPathDialog::RevealCurrent);
}

QString TPXPathDialog::SelectedFolder() const {
  const QModelIndex index = PfadDirectoryListBox->currentIndex();
  if (index.isValid()) return QDir::cleanPath(model_.filePath(index));
  return PfadDriveComboBox->currentData().toString();
}

void TPXPathDialog::SelectionChanged() {
  VerzeichnisLabel->setText(SelectedFolder());
}

bool TPXPath::Execute(QWidget* parent) {
  TPXPathDialog dialog(German(), parent);
  // A folder that cannot be shown leaves the list where it started.
  if (!path_.isEmpty()) dialog.ShowFolder(path_);
  if (RunModal(dialog) != QDialog::Accepted) return false;
  path_ = dialog.SelectedFolder();
  return true;
}

}  // namespace pz
