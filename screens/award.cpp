#include "screens/award.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextEdit>
#include <memory>

#include "controls/desktopshell.h"
#include "controls/shadowlabel.h"
#include "screens/common.h"
#include "screens/document.h"
#include "screens/inifile.h"

namespace pz {

namespace {

QPointer<TPXAwardDialog> g_awardDialog;
QPointer<TPXAwardDialog2> g_awardDialog2;

// What the caller hands to the viewer.
QString g_viewerFile;
QString g_viewerTitle;
QString g_viewerLetter = "E";
TColor g_viewerCaptionBegin = kColorBlack;
TColor g_viewerCaptionEnd = kColorBlue;

constexpr int kWidth = 492;
constexpr int kHeight = 375;
const QColor kBlack{0, 0, 0};

void AddLogo(QWidget* parent, int left, const QString& suffix) {
  const TFont font = PixelFont("Times New Roman", 48, true, false, kBlack);
  QLabel* p = NewLabel(parent, "LabelLogoP" + suffix, QRect(left, 0, 0, 0), "P");
  QLabel* x = NewLabel(parent, "LabelLogoX" + suffix, QRect(left + 20, 10, 0, 0), "X");
  for (QLabel* l : {p, x}) {
    ApplyFont(*l, font);
    l->adjustSize();
  }
}

// A small printer for the "Print" button.
QIcon PrinterGlyph() {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(QColor(64, 64, 64));
  p.setBrush(Qt::white);
  p.drawRect(4, 1, 7, 5);  // paper going in
  p.setBrush(QColor(160, 160, 160));
  p.drawRect(1, 6, 13, 6);  // body
  p.setBrush(Qt::white);
  p.drawRect(4, 10, 7, 4);  // paper coming out
  p.fillRect(11, 8, 2, 1, QColor(0, 160, 0));
  return QIcon(pm);
}

bool IsWebPage(const QString& name) {
  const QString suffix = QFileInfo(name).suffix().toUpper();
  return suffix == "HTML" || suffix == "HTM";
}

}  // namespace

TPXAwardDialog* AwardDialog() {
  return g_awardDialog.data();
}
TPXAwardDialog2* AwardDialog2() {
  return g_awardDialog2.data();
}

TPXAwardDialog::TPXAwardDialog() {
  setObjectName("PXAwardDialog");
  SetUpFixedDialog(*this, QString(), kWidth, kHeight, PixelFont("Arial", 13, true, false, kBlack));

  PanelOben = NewPanel(this, "PanelOben", QRect(0, 0, kWidth, 60));
  PanelObenLinks = NewPanel(PanelOben, "PanelObenLinks", QRect(0, 0, 60, 60), kSilver);
  AddLogo(PanelObenLinks, 5, "Oben");
  LabelAward = NewShadowLabel(PanelOben, "LabelAward", QRect(281, 0, 200, 55));
  LabelAward->setAlignment(Qt::AlignRight);
  FillShadowLabel(*LabelAward, " Awards ", PixelFont("Arial", 48, true, true, QColor(0, 0, 255)),
                  kBlack, 2);
  NewBevel(this, "Bevel2", QRect(0, 60, kWidth, 4));

  ScrollBox = new QScrollArea(this);
  ScrollBox->setObjectName("ScrollBox");
  ScrollBox->setGeometry(0, 64, kWidth, 251);
  ScrollBox->setFrameShape(QFrame::NoFrame);
  ScrollBox->setWidgetResizable(false);
  QPalette silver = ScrollBox->palette();
  silver.setColor(QPalette::Window, kSilver);
  ScrollBox->setPalette(silver);
  ScrollBox->viewport()->setAutoFillBackground(true);
  ScrollContent = new QWidget;
  ScrollContent->setObjectName("ScrollContent");
  ScrollContent->resize(kWidth, 251);
  ScrollContent->setPalette(silver);
  ScrollContent->setAutoFillBackground(true);
  ScrollBox->setWidget(ScrollContent);

  PanelUnten = NewPanel(this, "PanelUnten", QRect(0, 315, kWidth, 60), kSilver);
  NewBevel(PanelUnten, "Bevel1", QRect(0, 0, kWidth, 4));
  AddLogo(PanelUnten, 435, "Unten");
  ButtonOK = NewOkButton(this, PanelUnten, QRect(196, 15, 100, 35));
  disconnect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(ButtonOK, &QPushButton::clicked, this, &TPXAwardDialog::ButtonOKClick);
  ButtonOK->setFocus();
}

QString TPXAwardDialog::FilePath(const QString& name) const {
  return path_ + "/" + name;
}

void TPXAwardDialog::GrowContent(int bottom) {
  // No wider than the view beside its vertical scroll bar unless an entry needs the room.
  const QRect used = ScrollContent->childrenRect();
  const int view = kWidth - ScrollBox->verticalScrollBar()->sizeHint().width();
  ScrollContent->resize(std::max(view, used.right() + 1),
                        std::max({251, used.bottom() + 1, bottom}));
}

void TPXAwardDialog::AnzeigeAufbauen(const QString& fileName, const QString& letter) {
  const QString file = FilePath(fileName);
  if (!QFileInfo(file).isFile()) return KeineEintraegeZeigen(letter);
  letter_ = letter;
  const IniFile ini(file.toStdString());
  const int n = std::min(ini.ReadInteger("COUNT", "COUNT", 0), kMaxAwardEntries);
  if (n <= 0) return KeineEintraegeZeigen(letter);
  int y = 5;
  for (int k = 1; k <= n; ++k) y = ZeileAufbauen(y, k, letter, ini);
  GrowContent(y);
}

void TPXAwardDialog::KeineEintraegeZeigen(const QString& letter) {
  // An empty grey box would look like a list that failed to load.
  const QString text = letter == "D"
                           ? QString::fromUtf8("Hier sind noch keine Auszeichnungen eingetragen.")
                           : QString("No awards have been entered here yet.");
  LabelKeineEintraege =
      NewLabel(ScrollContent, "LabelKeineEintraege", QRect(0, 0, kWidth, 251), text);
  LabelKeineEintraege->setAlignment(Qt::AlignCenter);
  LabelKeineEintraege->setWordWrap(true);
  // Black on the fixed silver, whatever the desktop's text colour.
  QPalette pal = LabelKeineEintraege->palette();
  pal.setColor(QPalette::WindowText, kBlack);
  LabelKeineEintraege->setPalette(pal);
  LabelKeineEintraege->show();
}

int TPXAwardDialog::ZeileAufbauen(int y, int k, const QString& letter, const IniFile& ini) {
  TAwardItem item;
  const std::string section = std::to_string(k);
  const std::string l = letter.toStdString();
  // A named file that exists in the folder; "" otherwise.
  auto existing = [&](const std::string& key) {
    const QString name = QString::fromStdString(ini.ReadString(section, key));
    return !name.isEmpty() && QFileInfo(FilePath(name)).isFile() ? name : QString();
  };

  const QString title = QString::fromStdString(ini.ReadString(section, "TEXT1_" + l));
  if (!title.isEmpty()) y = AddTitle(item, y, title);
  const QString picture = existing("GRAFIK");
  if (!picture.isEmpty()) y = AddPicture(item, y, picture);
  const QString text = existing("DIRECTSHOWTEXTFILE_" + l);
  if (!text.isEmpty()) y = AddTextView(item, y, text, letter);
  const QString info = existing("TEXTFILE_" + l);
  if (!info.isEmpty()) AddInfoButton(item, y, k, info);

  // The last entry shown gets no separator, also when the file asks for more than are read.
  if (k < std::min(ini.ReadInteger("COUNT", "COUNT", 0), kMaxAwardEntries)) {
    item.Separator = NewBevel(ScrollContent, "Separator", QRect(60, y, kWidth - 120, 3));
    item.Separator->show();
    y += 20;
  }

  items_.push_back(item);
  return y;
}

int TPXAwardDialog::AddTitle(TAwardItem& item, int y, const QString& title) {
  item.TitleLabel = NewLabel(ScrollContent, "TitleLabel", QRect(5, y, 0, 0), " " + title);
  QPalette pal = item.TitleLabel->palette();
  pal.setColor(QPalette::Window, kBlack);
  pal.setColor(QPalette::WindowText, QColor(255, 255, 0));
  item.TitleLabel->setPalette(pal);
  item.TitleLabel->setAutoFillBackground(true);
  item.TitleLabel->show();
  return y + 20;
}

int TPXAwardDialog::AddPicture(TAwardItem& item, int y, const QString& picture) {
  item.Picture =
      NewLabel(ScrollContent, "Picture", QRect(5, y, kEmptyPictureSize, kEmptyPictureSize));
  QPixmap pm;
  if (pm.load(FilePath(picture))) {
    item.Picture->setPixmap(pm);
    item.Picture->resize(pm.size());
  }
  item.Picture->show();
  return y + item.Picture->height() + 10;
}

int TPXAwardDialog::AddTextView(TAwardItem& item, int y, const QString& text,
                                const QString& letter) {
  item.TextView = new QTextEdit(ScrollContent);
  item.TextView->setObjectName("TextView");
  item.TextView->setGeometry(5, y, 380, 90);
  QPalette pal = item.TextView->palette();
  pal.setColor(QPalette::Base, kSilver);
  item.TextView->setPalette(pal);
  item.TextView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  item.TextView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  item.TextView->setReadOnly(true);
  item.TextView->setFrameShape(QFrame::NoFrame);
  LoadDocument(*item.TextView, FilePath(text), letter);
  item.TextView->show();
  return y + item.TextView->height() + 10;
}

void TPXAwardDialog::AddInfoButton(TAwardItem& item, int y, int k, const QString& info) {
  // Beside the last 20 pixels of what the entry has shown so far.
  item.InfoButton = new QPushButton("Info...", ScrollContent);
  item.InfoButton->setObjectName("InfoButton");
  item.InfoButton->setGeometry(395, y - 20, 70, 20);
  item.InfoButton->setProperty("Tag", k);
  item.InfoButton->setAutoDefault(false);
  connect(item.InfoButton, &QPushButton::clicked, this, &TPXAwardDialog::ButtonClick);
  item.InfoButton->show();
  item.InfoFile = info.left(kMaxInfoFileChars);
}

void TPXAwardDialog::ButtonClick() {
  const int k = sender() != nullptr ? sender()->property("Tag").toInt() : 0;
  if (k < 1 || k > static_cast<int>(items_.size())) return;
  const QString file = items_[static_cast<std::size_t>(k - 1)].InfoFile;
  if (IsWebPage(file)) {
    DesktopShell().Open(QUrl::fromLocalFile(FilePath(file)));
  } else {
    ShowAwardInfo(FilePath(file), "Award-Info", captionBegin_, captionEnd_, letter_);
  }
}

void TPXAwardDialog::ButtonOKClick() {
  accept();
}

TPXAwardDialog2::TPXAwardDialog2() {
  setObjectName("PXAwardDialog2");
  SetUpFixedDialog(*this, QString(), 626, 329, PixelFont("Arial", 11, true, false, kBlack));
  Panel2 = NewPanel(this, "Panel2", QRect(0, 0, 626, 289));
  RichEdit = new QTextEdit(Panel2);
  RichEdit->setObjectName("RichEdit");
  RichEdit->setGeometry(0, 0, 626, 289);
  RichEdit->setReadOnly(true);
  RichEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* bevelled = new QFrame(this);
  bevelled->setObjectName("Panel1");
  bevelled->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  bevelled->setGeometry(0, 289, 626, 40);
  Panel1 = bevelled;
  ButtonOK = NewOkButton(this, Panel1, QRect(268, 5, 90, 30));
  ButtonOK->setFont(PixelFont("Arial", 13, true, false, kBlack).font);
  ButtonPrint = new QPushButton(PrinterGlyph(), "Print", Panel1);
  ButtonPrint->setObjectName("ButtonPrint");
  ButtonPrint->setGeometry(530, 5, 90, 30);
  ButtonPrint->setAutoDefault(false);
  connect(ButtonPrint, &QPushButton::clicked, this, &TPXAwardDialog2::ButtonPrintClick);
}

void TPXAwardDialog2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TPXAwardDialog2::FormShow() {
  setWindowTitle(g_viewerTitle);
  if (QFileInfo(g_viewerFile).isFile()) LoadDocument(*RichEdit, g_viewerFile, g_viewerLetter);
}

void TPXAwardDialog2::ButtonPrintClick() {
  const PrintResult result = PrintDocument(*RichEdit->document(), g_viewerTitle);
  if (result == PrintResult::Printed) return;
  QMessageBox box(QMessageBox::Warning, g_viewerTitle, PrintMessage(result, g_viewerLetter),
                  QMessageBox::Ok, this);
  RunModal(box, DialogPlacement::OverParent);
}

void ShowAwardInfo(const QString& filePath, const QString& title, TColor captionBegin,
                   TColor captionEnd, const QString& letter) {
  g_viewerFile = filePath;
  g_viewerLetter = letter;
  g_viewerTitle = title;
  g_viewerCaptionBegin = captionBegin;
  g_viewerCaptionEnd = captionEnd;
  // Freed also when the modal loop ends by an exception.
  auto viewer = std::make_unique<TPXAwardDialog2>();
  g_awardDialog2 = viewer.get();
  RunModal(*viewer);
}

void TPXAward::SetPath(const QString& path) {
  path_ = path;
  if (path_.size() > 1 && (path_.endsWith('\\') || path_.endsWith('/'))) path_.chop(1);
}

void TPXAward::Execute() {
  if (path_.isEmpty()) return;
  // Freed also when the modal loop ends by an exception.
  auto dialog = std::make_unique<TPXAwardDialog>();
  g_awardDialog = dialog.get();
  dialog->setWindowTitle("Awards");
  dialog->SetPath(path_);
  dialog->SetCaptionColors(CaptionBeginColor(), CaptionEndColor());
  dialog->AnzeigeAufbauen("info.ini", QString::fromStdString(LanguageCodeLetter()));
  RunModal(*dialog);
}

}  // namespace pz
