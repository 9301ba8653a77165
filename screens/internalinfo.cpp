#include "screens/internalinfo.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <algorithm>
#include <memory>

#include "platform/settings.h"
#include "screens/common.h"

namespace pz {

namespace {

QPointer<TPXInternalInfoDialog> g_internalInfo;

constexpr int kWidth = 492;
constexpr int kHeight = 320;
constexpr int kRowHeight = 16;
constexpr int kBlockGap = 25;

QLabel* NewHeading(QWidget* parent, const QString& name, const QRect& geometry,
                   const QString& caption) {
  QLabel* label = NewLabel(parent, name, geometry, caption);
  ApplyFont(*label, PixelFont("Arial", 11, true, false, QColor(255, 255, 0)));
  QPalette pal = label->palette();
  pal.setColor(QPalette::Window, kGray);
  label->setPalette(pal);
  label->setAutoFillBackground(true);
  return label;
}

bool LessNoCase(const std::string& a, const std::string& b) {
  return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
}

}  // namespace

TPXInternalInfoDialog* InternalInfoDialog() {
  return g_internalInfo.data();
}

TPXInternalInfoDialog::TPXInternalInfoDialog() {
  setObjectName("PXInternalInfoDialog");
  SetUpFixedDialog(*this, "Internal Infos", kWidth, kHeight,
                   PixelFont("Arial", 11, true, false, QColor(0, 0, 0)));

  Panel2 = NewPanel(this, "Panel2", QRect(0, 0, kWidth, 30));
  Label1 = NewLabel(Panel2, "Label1", QRect(5, 5, 0, 0));
  NewBevel(Panel2, "Bevel1", QRect(0, 26, kWidth, 4));

  ScrollBox = new QScrollArea(this);
  ScrollBox->setObjectName("ScrollBox");
  ScrollBox->setGeometry(0, 30, kWidth, kHeight - 30 - 35);
  ScrollBox->setFrameShape(QFrame::NoFrame);
  ScrollBox->setWidgetResizable(false);
  ScrollContent = new QWidget;
  ScrollContent->setObjectName("ScrollContent");
  ScrollContent->resize(ScrollBox->viewport()->size());
  ScrollBox->setWidget(ScrollContent);
  Label2 = NewHeading(ScrollContent, "Label2", QRect(5, 5, 150, 16), "Component");
  Label3 = NewHeading(ScrollContent, "Label3", QRect(160, 5, 300, 16), "Information");

  Panel1 = NewPanel(this, "Panel1", QRect(0, kHeight - 35, kWidth, 35));
  NewBevel(Panel1, "Bevel2", QRect(0, 0, kWidth, 4));
  ButtonOK = NewOkButton(this, Panel1, QRect(201, 5, 90, 30));
}

QLabel* TPXInternalInfoDialog::AddRow(const QString& name, const QRect& geometry,
                                      const QString& text, const QColor& color) {
  QLabel* label = NewLabel(ScrollContent, name, geometry, text);
  ApplyFont(*label, TFont{font(), color});
  label->show();
  // The content grows with the rows so that the scroll box can scroll to all of them.
  const QRect needed = ScrollContent->childrenRect() | QRect(QPoint(0, 0), ScrollContent->size());
  ScrollContent->resize(needed.right() + 1, needed.bottom() + 1);
  return label;
}

void TPXInternalInfoDialog::AssembleDisplay(const std::string& keyPath) {
  if (keyPath.empty()) return;
  SettingsStore* store = ComponentInfoStore();
  if (store == nullptr || !store->KeyExists(keyPath)) return;
  std::vector<std::string> components = store->SubKeys(keyPath);
  std::stable_sort(components.begin(), components.end(), LessNoCase);
  int y = 30;
  for (const std::string& component : components) {
    AddRow("LabelComponent", QRect(5, y, 150, kRowHeight), QString::fromStdString(component),
           QColor(0, 0, 0));
    const std::string key = keyPath + "\\" + component;
    const std::vector<std::string> names = store->ValueNames(key);
    for (std::size_t i = 0; i < names.size(); ++i) {
      AddRow("LabelValueName", QRect(160, y, 0, 0), QString::fromStdString(names[i]), kGray);
      y += kRowHeight;
      AddRow("LabelValue", QRect(180, y, 0, 0),
             QString::fromStdString(store->ReadString(key, names[i]).value_or("")), kNavy);
      if (i + 1 < names.size()) y += kRowHeight;
    }
    y += kBlockGap;
  }
}

void TPXInternalInfo::WriteComponentInfo(const std::string& keyPath) {
  TPXComponent::WriteComponentInfo(keyPath);
  ciKeyPath_ = TrimKeyPath(keyPath) + "\\CI";
}

void TPXInternalInfo::Execute() {
  // Freed also when the modal loop ends by an exception.
  auto dialog = std::make_unique<TPXInternalInfoDialog>();
  g_internalInfo = dialog.get();
  dialog->setWindowTitle("Internal Infos");
  dialog->Label1->setText(German()
                              ? "Die folgenden Komponenten wurden in diesem Programm verwendet :"
                              : "The following components are included in this application :");
  dialog->Label1->adjustSize();
  dialog->AssembleDisplay(ciKeyPath_);
  RunModal(*dialog);
}

}  // namespace pz
