#include "app/hauptformular.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>
#include <utility>

#include "app/uihooks.h"
#include "crypt/age.h"
#include "engine/checks.h"
#include "engine/compress.h"
#include "engine/header.h"
#include "engine/segments.h"
#include "lang/textblocks.h"
#include "platform/filehandle.h"
#include "platform/os.h"
#include "recovery/recoveryset.h"
#include "screens/common.h"

namespace pz {

namespace {

// Navy and silver come with screens/common.h.
const QColor kMaroon(128, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);

// The two groups side by side below the source row; the recovery rows made them taller than the
// classic window's, and everything below them moved down by as much.
constexpr int kGroupHeight = 162;

QFont WindowFont() {
  QFont f("Arial");
  f.setPixelSize(13);
  f.setBold(true);
  // Explicit, so that controls inside the italic group boxes stay upright.
  f.setItalic(false);
  f.setUnderline(false);
  return f;
}

QFont HeadingFont() {
  QFont f = WindowFont();
  f.setItalic(true);
  f.setUnderline(true);
  return f;
}

QFont GroupFont() {
  QFont f = WindowFont();
  f.setItalic(true);
  return f;
}

void SetTextColor(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, c);
  p.setColor(QPalette::ButtonText, c);
  w->setPalette(p);
}

template <typename W>
W* Make(QWidget* parent, const char* name, const QString& text = {}) {
  auto* w = new W(parent);
  w->setObjectName(name);
  if constexpr (!std::is_same_v<W, QLineEdit> && !std::is_same_v<W, QSpinBox>) {
    if (!text.isEmpty()) w->setText(text);
  }
  w->setFont(WindowFont());
  return w;
}

TShadowLabel* Heading(QWidget* parent, const char* name, const QString& text, int x, int y,
                      const QColor& fontColor, const QColor& shadowColor) {
  auto* l = new TShadowLabel(parent);
  l->setObjectName(name);
  l->setFont(HeadingFont());
  l->SetTransparent(true);
  l->SetFontColor(fontColor);
  l->SetShadowColor(shadowColor);
  l->SetCaption(text);
  l->SetAutoSize(true);
  l->move(x, y);
  return l;
}

// Selects or clears a button as a user's click would: its handler runs only on a change.
void SetChecked(QAbstractButton* button, bool on) {
  if (button->isChecked() != on) button->setChecked(on);
}

QString Utf8(const char* s) {
  return QString::fromUtf8(s);
}

// A filter of the open dialog: the description (without a pattern of its own in brackets,
// which the language files give) and the pattern once.
QString Filter(const QString& description, const char* pattern) {
  QString text = description.trimmed();
  const qsizetype open = text.lastIndexOf('(');
  if (text.endsWith(')') && open >= 0) text = text.left(open).trimmed();
  return text + " (" + pattern + ")";
}

}  // namespace

THauptformular::THauptformular(const std::string& programmPfad, QWidget* parent)
    : QMainWindow(parent),
      programmPfad_(programmPfad),
      ui_(this, language_),
      ctx_(ui_, language_, programmPfad) {
  setObjectName("Hauptformular");
  language_.SetUi(&ui_);
  pxPath_.SetLanguage(&language_);
  pxPath_.SetLanguageCodeLetter("E");
  ctx_.dekomprimieren = [this](const std::string& archiv, const std::string& ordner,
                               const std::string& member) {
    return Datei_Dekomprimieren(archiv, ordner, member);
  };
  // An archive of this window's own: two windows (or a window and the command line) never cut
  // or rebuild each other's. What windows that were killed left there goes first.
  static int windows = 0;
  const std::string tempFolder = FolderPart(TempArchivPfad(programmPfad_));
  RemoveLeftoverArchives(tempFolder);
  ctx_.tempArchive = RunTempArchive(tempFolder, windows++);
  ui_.onStatusText = [this](const QString& text) { SetStatusText(text); };

  setFont(WindowFont());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  BuildMenu();
  BuildControls();
  Connect();
  SetUpComponents();
  // Client area of fixed size below the menu bar; the window cannot be resized.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  // A file dropped anywhere, the fields included, is taken by the window, not typed as text.
  setAcceptDrops(true);
  for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->setAcceptDrops(false);
  FormCreate();
}

THauptformular::~THauptformular() {
  language_.SetUi(nullptr);
  if (ComponentInfoStore() == componentInfoStore_.get()) SetComponentInfoStore(nullptr);
}

void THauptformular::SetUpComponents() {
  TFont companyFont = startScreen_.CompanyNameLongFont();
  companyFont.font.setPointSize(22);
  startScreen_.SetCompanyNameLongFont(companyFont);
  TFont otherFont = startScreen_.OtherFont();
  otherFont.color = kBlack;
  startScreen_.SetOtherFont(otherFont);
  startScreen_.SetShowLogo(false);
  startScreen_.SetLanguage(&language_);
  infoScreen_.SetShowLogo(false);
  infoScreen_.SetLanguage(&language_);
  infoScreen_.SetPXInternalInfo(&internalInfo_);
  internalInfo_.SetLanguage(&language_);
  award_.SetLanguage(&language_);
}

void THauptformular::FormCreate() {
  QCoreApplication::setApplicationName(kApplicationTitle);
  // Docks and window lists match the window to its menu entry by this name.
  QGuiApplication::setDesktopFileName(PZ_APP_ID);
  // The program folder was computed from the program file before the window existed; the
  // window keeps that one, so that a test can hand in a folder of its own.
  einstellungen_ = OpenUserSettings();
  // A store that cannot be opened for writing stays absent: the window then keeps its defaults.
  if (einstellungen_ != nullptr && !einstellungen_->CreateKey(kSettingsKey)) einstellungen_.reset();
  componentInfoStore_ = OpenUserSettings();
  SetComponentInfoStore(componentInfoStore_.get());
  setWindowTitle(kWindowCaption);
  StatusPanels[0]->setText(kVersionPanel);
  StatusPanels[2]->setText(kMakerPanel);
}

void THauptformular::BuildMenu() {
  MenuDatei = menuBar()->addMenu("Datei");
  MenuDatei->setObjectName("MenuDatei");
  MenuSprache = MenuDatei->addAction("Sprache...");
  MenuSprache->setObjectName("MenuSprache");
  MenuJoiner = MenuDatei->addAction(Utf8("Browser-Zusammenführung mitschreiben"));
  MenuJoiner->setObjectName("MenuJoiner");
  MenuJoiner->setCheckable(true);
  MenuDatei->addSeparator();
  MenuBeenden = MenuDatei->addAction("&Beenden");
  MenuBeenden->setObjectName("MenuBeenden");
  MenuBeenden->setShortcut(Qt::Key_F10);
  MenuHilfe = menuBar()->addMenu("Hilfe");
  MenuHilfe->setObjectName("MenuHilfe");
  MenuInhalt = MenuHilfe->addAction("&Inhalt...");
  MenuInhalt->setObjectName("MenuInhalt");
  MenuInhalt->setShortcut(QKeySequence::HelpContents);
  MenuHilfe->addSeparator();
  MenuAwards = MenuHilfe->addAction("&Awards...");
  MenuAwards->setObjectName("MenuAwards");
  MenuInfo = MenuHilfe->addAction("Inf&o...");
  MenuInfo->setObjectName("MenuInfo");
}

void THauptformular::BuildControls() {
  auto* client = new QWidget(this);
  client->setObjectName("ClientArea");
  client->setFixedSize(574, 398);
  setCentralWidget(client);
  BuildActionBar(client);
  BuildSourceArea(client);
  BuildTargetArea(client);
  BuildButtonBar(client);
  BuildStatusBar(client);
  SetTabOrder();
  Formulardarstellung_Anpassen();
}

void THauptformular::SetTabOrder() {
  QWidget* const order[] = {RadioTrennen,
                            RadioZusammenfuehren,
                            EditTrennDatei,
                            ButtonTrennDatei,
                            Radio144,
                            Radio12,
                            Radio720,
                            Radio360,
                            Radio100,
                            RadioAuto,
                            RadioHand,
                            EditHand,
                            CheckKomprimieren,
                            RadioStark,
                            RadioSchwach,
                            CheckLoeschen,
                            CheckPasswort,
                            CheckWiederherstellung,
                            SpinWiederherstellung,
                            EditZielPfad,
                            ButtonZiel,
                            EditZielName,
                            ButtonAusfuehren,
                            ButtonBeenden};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void THauptformular::BuildActionBar(QWidget* client) {
  // 25 px: the heading and the two modes.
  PanelAktion = new QWidget(client);
  PanelAktion->setObjectName("PanelAktion");
  PanelAktion->setGeometry(0, 0, 574, 25);
  PanelAktion->setAutoFillBackground(true);
  LabelAktion = Heading(PanelAktion, "LabelAktion", "Aktion :", 8, 5, kWhite, kBlack);
  RadioTrennen = Make<QRadioButton>(PanelAktion, "RadioTrennen", "Datei trennen");
  RadioTrennen->setGeometry(120, 4, 150, 18);
  RadioZusammenfuehren =
      Make<QRadioButton>(PanelAktion, "RadioZusammenfuehren", Utf8("Trennsegmente zusammenführen"));
  RadioZusammenfuehren->setGeometry(300, 4, 260, 18);
  SetTextColor(RadioTrennen, kWhite);
  SetTextColor(RadioZusammenfuehren, kWhite);
  RadioTrennen->setChecked(true);
}

void THauptformular::BuildSourceArea(QWidget* client) {
  // From below the action bar to the target area: the source row, the two groups, the sizes.
  PanelQuelle = new QWidget(client);
  PanelQuelle->setObjectName("PanelQuelle");
  PanelQuelle->setGeometry(0, 25, 574, 245);
  LabelTrennDatei =
      Heading(PanelQuelle, "LabelTrennDatei", "Zu trennende Datei :", 8, 4, kMaroon, kWhite);
  EditTrennDatei = Make<QLineEdit>(PanelQuelle, "EditTrennDatei");
  EditTrennDatei->setGeometry(8, 22, 540, 22);
  ButtonTrennDatei = Make<QPushButton>(PanelQuelle, "ButtonTrennDatei", "...");
  ButtonTrennDatei->setGeometry(550, 22, 22, 22);
  BuildSizeGroup();
  BuildOptionsGroup();
  BuildSizeLabels();
}

void THauptformular::BuildSizeGroup() {
  GroupTrennGroesse = new QGroupBox(Utf8("Größe der Trennsegmente"), PanelQuelle);
  GroupTrennGroesse->setObjectName("GroupTrennGroesse");
  GroupTrennGroesse->setFont(GroupFont());
  GroupTrennGroesse->setGeometry(8, 50, 276, kGroupHeight);
  Radio144 = Make<QRadioButton>(GroupTrennGroesse, "Radio144", "1.44 MB");
  Radio12 = Make<QRadioButton>(GroupTrennGroesse, "Radio12", "1.2 MB");
  Radio720 = Make<QRadioButton>(GroupTrennGroesse, "Radio720", "720 K");
  Radio360 = Make<QRadioButton>(GroupTrennGroesse, "Radio360", "360 K");
  Radio100 = Make<QRadioButton>(GroupTrennGroesse, "Radio100", "100 MB (ZIP)");
  RadioAuto = Make<QRadioButton>(GroupTrennGroesse, "RadioAuto", "automatisch");
  RadioHand = Make<QRadioButton>(GroupTrennGroesse, "RadioHand", "von Hand");
  int y = 20;
  for (QRadioButton* r : {Radio144, Radio12, Radio720, Radio360, Radio100}) {
    r->setGeometry(10, y, 120, 18);
    y += 19;
  }
  RadioAuto->setGeometry(140, 20, 130, 18);
  RadioHand->setGeometry(140, 39, 130, 18);
  EditHand = Make<QLineEdit>(GroupTrennGroesse, "EditHand");
  // The unit stays inside the group's frame.
  EditHand->setGeometry(146, 60, 80, 22);
  EditHand->setText("350000000");
  // Digits only, so no typo becomes a size; what the settings hold is checked at Start.
  EditHand->setValidator(
      new QRegularExpressionValidator(QRegularExpression("[0-9]{0,19}"), EditHand));
  Label1 = Make<QLabel>(GroupTrennGroesse, "Label1", "Bytes");
  Label1->move(230, 64);
  Radio144->setChecked(true);
}

void THauptformular::BuildOptionsGroup() {
  GroupOptionen = new QGroupBox("Optionen", PanelQuelle);
  GroupOptionen->setObjectName("GroupOptionen");
  GroupOptionen->setFont(GroupFont());
  GroupOptionen->setGeometry(290, 50, 276, kGroupHeight);
  CheckKomprimieren =
      Make<QCheckBox>(GroupOptionen, "CheckKomprimieren", "Datei vorher komprimieren");
  CheckKomprimieren->setGeometry(10, 20, 260, 18);
  RadioStark = Make<QRadioButton>(GroupOptionen, "RadioStark", "stark");
  RadioStark->setGeometry(30, 40, 100, 18);
  RadioSchwach = Make<QRadioButton>(GroupOptionen, "RadioSchwach", "schwach");
  RadioSchwach->setGeometry(130, 40, 120, 18);
  RadioStark->setChecked(true);
  CheckLoeschen =
      Make<QCheckBox>(GroupOptionen, "CheckLoeschen", Utf8("Datei nach Trennung löschen"));
  CheckLoeschen->setGeometry(10, 66, 260, 18);
  CheckPasswort =
      Make<QCheckBox>(GroupOptionen, "CheckPasswort", Utf8("Trennung mit Paßwort schützen"));
  CheckPasswort->setGeometry(10, 90, 260, 18);
  // The percentage beside its box, the count it rebuilds below, indented as the levels are.
  CheckWiederherstellung =
      Make<QCheckBox>(GroupOptionen, "CheckWiederherstellung", "&Wiederherstellungsdaten (%)");
  CheckWiederherstellung->setGeometry(10, 114, 204, 18);
  SpinWiederherstellung = Make<QSpinBox>(GroupOptionen, "SpinWiederherstellung");
  SpinWiederherstellung->setGeometry(216, 112, 52, 22);
  SpinWiederherstellung->setRange(1, recovery::kMaxPercent);
  SpinWiederherstellung->setValue(recovery::kDefaultPercent);
  LabelWiederherstellbar = Make<QLabel>(GroupOptionen, "LabelWiederherstellbar");
  LabelWiederherstellbar->setGeometry(30, 138, 240, 16);
}

void THauptformular::BuildSizeLabels() {
  LabelDateiGroesse = Make<QLabel>(PanelQuelle, "LabelDateiGroesse", Utf8("Dateigröße in Byte :"));
  LabelDateiGroesse->move(8, 220);
  LabelDateiGroesse2 = Make<QLabel>(PanelQuelle, "LabelDateiGroesse2");
  LabelDateiGroesse2->setGeometry(160, 220, 124, 16);
  LabelTrennungen = Make<QLabel>(PanelQuelle, "LabelTrennungen", "Anzahl Trennungen :");
  LabelTrennungen->move(290, 220);
  LabelTrennungen2 = Make<QLabel>(PanelQuelle, "LabelTrennungen2");
  LabelTrennungen2->setGeometry(440, 220, 126, 16);
  SetTextColor(LabelDateiGroesse2, kNavy);
  SetTextColor(LabelTrennungen2, kNavy);
}

void THauptformular::BuildTargetArea(QWidget* client) {
  // 74 px: the heading, the folder row and the name row.
  PanelZiel = new QFrame(client);
  PanelZiel->setObjectName("PanelZiel");
  PanelZiel->setGeometry(0, 270, 574, 74);
  LabelZiel = Heading(PanelZiel, "LabelZiel", "Ziel :", 8, 4, kMaroon, kWhite);
  LabelZielPfad = Make<QLabel>(PanelZiel, "LabelZielPfad", "Pfad : ");
  LabelZielPfad->move(8, 28);
  EditZielPfad = Make<QLineEdit>(PanelZiel, "EditZielPfad");
  EditZielPfad->setGeometry(104, 24, 440, 22);
  ButtonZiel = Make<QPushButton>(PanelZiel, "ButtonZiel", "...");
  ButtonZiel->setGeometry(548, 24, 22, 22);
  LabelZielName = Make<QLabel>(PanelZiel, "LabelZielName", "DateiName : ");
  LabelZielName->move(8, 52);
  EditZielName = Make<QLineEdit>(PanelZiel, "EditZielName");
  EditZielName->setGeometry(104, 48, 280, 22);
}

void THauptformular::BuildButtonBar(QWidget* client) {
  // 35 px.
  PanelAusfuehren = new QWidget(client);
  PanelAusfuehren->setObjectName("PanelAusfuehren");
  PanelAusfuehren->setGeometry(0, 344, 574, 35);
  ButtonAusfuehren = Make<QPushButton>(PanelAusfuehren, "ButtonAusfuehren", Utf8("Ausführen"));
  ButtonAusfuehren->setGeometry(227, 4, 120, 27);
  ButtonAusfuehren->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  ButtonBeenden = Make<QPushButton>(PanelAusfuehren, "ButtonBeenden", "Beenden");
  ButtonBeenden->setGeometry(446, 4, 120, 27);
  ButtonBeenden->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
}

void THauptformular::BuildStatusBar(QWidget* client) {
  // 19 px: three panels, or one busy text across the whole bar.
  StatusBar = new QFrame(client);
  StatusBar->setObjectName("StatusBar");
  StatusBar->setGeometry(0, 379, 574, 19);
  const int widths[3] = {100, 330, 150};
  int x = 0;
  for (int i = 0; i < 3; ++i) {
    auto* panel = new QLabel(StatusBar);
    panel->setObjectName(QString("StatusPanel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignCenter);
    panel->setGeometry(x, 0, widths[i], 19);
    panel->setFont(WindowFont());
    StatusPanels[i] = panel;
    x += widths[i];
  }
  StatusSimple = new QLabel(StatusBar);
  StatusSimple->setObjectName("StatusSimple");
  StatusSimple->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  StatusSimple->setGeometry(0, 0, 574, 19);
  StatusSimple->setFont(WindowFont());
  StatusSimple->hide();
}

void THauptformular::Connect() {
  // Radio buttons report a click only when they become selected: one RadioClick per change,
  // with the newly selected button as sender.
  for (QRadioButton* r : {RadioTrennen, RadioZusammenfuehren, Radio144, Radio12, Radio720, Radio360,
                          Radio100, RadioAuto, RadioHand}) {
    connect(r, &QRadioButton::toggled, this, [this, r](bool on) {
      if (on) Guarded([&] { RadioClick(r); });
    });
  }
  connect(CheckKomprimieren, &QCheckBox::toggled, this,
          [this] { Guarded([&] { RadioClick(CheckKomprimieren); }); });
  connect(CheckWiederherstellung, &QCheckBox::toggled, this, [this] {
    Guarded([&] {
      Formulardarstellung_Anpassen();
      ShowRebuildCount();
    });
  });
  // An encrypted split cuts a slightly larger file: its segments may differ.
  connect(CheckPasswort, &QCheckBox::toggled, this,
          [this] { Guarded([&] { ShowRebuildCount(); }); });
  connect(SpinWiederherstellung, &QSpinBox::valueChanged, this,
          [this] { Guarded([&] { ShowRebuildCount(); }); });
  for (QRadioButton* r : {RadioStark, RadioSchwach}) {
    connect(r, &QRadioButton::toggled, this, [this](bool on) {
      if (on) Guarded([&] { RadioKompLevelClick(); });
    });
  }
  // textChanged fires only when the text really changes.
  connect(EditTrennDatei, &QLineEdit::textChanged, this,
          [this] { Guarded([&] { EditTrennDateiChange(); }); });
  connect(EditTrennDatei, &QLineEdit::textChanged, this, [this] {
    Guarded([&] {
      ZielVorschlagen();
      OptionenAnzeigen();
    });
  });
  connect(EditZielPfad, &QLineEdit::textChanged, this,
          [this] { Guarded([&] { EditZielPfadChange(); }); });
  connect(EditHand, &QLineEdit::textChanged, this, [this] { Guarded([&] { EditHandChange(); }); });
  connect(ButtonTrennDatei, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonTrennDateiClick(); }); });
  connect(ButtonZiel, &QPushButton::clicked, this, [this] { Guarded([&] { ButtonZielClick(); }); });
  connect(ButtonAusfuehren, &QPushButton::clicked, this, [this] {
    Guarded([&] { ButtonAusfuehrenClick(); });
    // Closed during the work, which has ended now.
    if (std::exchange(closeAfterRun_, false)) close();
  });
  connect(ButtonBeenden, &QPushButton::clicked, this, &THauptformular::ButtonBeendenClick);
  connect(MenuSprache, &QAction::triggered, this, &THauptformular::MenuSpracheClick);
  connect(MenuBeenden, &QAction::triggered, this, &THauptformular::MenuBeendenClick);
  connect(MenuInhalt, &QAction::triggered, this, &THauptformular::MenuInhaltClick);
  connect(MenuAwards, &QAction::triggered, this, &THauptformular::MenuAwardsClick);
  connect(MenuInfo, &QAction::triggered, this, &THauptformular::MenuInfoClick);
}

template <typename F>
void THauptformular::Guarded(F&& handler) {
  try {
    handler();
  } catch (const EngineStopped& e) {
    ShowFailure(e.what(), MsgIcon::Information);  // asked for, not failed
  } catch (const std::exception& e) {
    ShowFailure(e.what());
  } catch (...) {
    ShowFailure("?");
  }
}

void THauptformular::ShowFailure(const char* what, MsgIcon icon) {
  ui_.SetBusy(false);
  ui_.StatusText("");
  QString text = QString::fromStdString(what);
  if (const auto held = ui_.TakeHeldMessage()) text = held->text + "\n\n" + text;
  pz::ShowMessage(this, text, icon);
}

void THauptformular::SetStatusText(const QString& text) {
  const bool simple = !text.isEmpty();
  StatusSimple->setText(text);
  StatusSimple->setVisible(simple);
  for (QLabel* panel : StatusPanels) panel->setVisible(!simple);
}

QString THauptformular::StatusSimpleText() const {
  return StatusSimple->isVisible() ? StatusSimple->text() : QString();
}

void THauptformular::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  // Once the showing is complete: a window shown from inside it (the language choice, the
  // splash) makes the window system give the main window its default size instead.
  QMetaObject::invokeMethod(
      this, [this] { Guarded([&] { FormShow(); }); }, Qt::QueuedConnection);
}

void THauptformular::FormShow() {
  LabelDateiGroesse2->clear();
  LabelTrennungen2->clear();
  komprimiert_ = false;
  trennGroesse_ = 1;

  award_.WriteComponentInfo(kSettingsKey);
  award_.SetPath(QString::fromStdString(DataFolder(programmPfad_, kAwardFolder)));
  internalInfo_.WriteComponentInfo(kSettingsKey);
  language_.WriteComponentInfo(kSettingsKey);
  language_.SetPath(DataFolder(programmPfad_, kLanguageFolder));

  Einstellungen_Laden();
  // A size button that was already selected when the settings named it reported no click, so
  // the segment size would stay at its start value of 1 byte and every split would be refused.
  if (QRadioButton* size = SelectedSizeButton();
      size != nullptr && RadioTrennen->isChecked() && trennGroesse_ == 1) {
    RadioClick(size);
  }

  zip_.SetDLLDirectory(DataFolder(programmPfad_, kDllFolder));
  HilfedateiWaehlen();

  startScreen_.WriteComponentInfo(kSettingsKey);
  startScreen_.SetCompanyNameLong(kBrandName);
  startScreen_.SetCompanyNameShort(kBrandShort);
  startScreen_.SetBitmap(
      QString::fromStdString(JoinPath(DataFolder(programmPfad_, kGraphicsFolder), kSplashPicture)));
  startScreen_.SetProgramName(kProgramName);
  startScreen_.SetTextVersionFor(QString::fromUtf8(kPlatformLine));
  startScreen_.SetVersionPrg(kProgramVersion);
  startScreen_.SetYear(kProgramYear);
  startScreen_.Execute();
  if (!startDatei_.isEmpty()) DateiUebernehmen(std::exchange(startDatei_, QString()));
}

std::array<QRadioButton*, 7> THauptformular::SizeButtons() const {
  return {Radio144, Radio12, Radio720, Radio360, Radio100, RadioAuto, RadioHand};
}

QRadioButton* THauptformular::SelectedSizeButton() const {
  for (QRadioButton* r : SizeButtons()) {
    if (r->isChecked()) return r;
  }
  return nullptr;
}

void THauptformular::HilfedateiWaehlen() {
  const std::string path = JoinPath(DataFolder(programmPfad_, kHelpFolder),
                                    Sprachkennung_Einfuegen(kHelpFileBase, language_.CodeLetter()));
  if (FileExists(path)) helpFile_ = path;
}

namespace {

// The settings live in sections below the program's key.
std::string Section(const char* name) {
  return std::string(kSettingsKey) + "\\" + name;
}

// Ends a load or save block at its first failure; nothing is reported.
struct StoreFailure {};

// The stored integer, or the default when it is missing or no integer.
int ReadInteger(SettingsStore& store, const char* section, const char* name, int fallback) {
  const std::optional<std::string> text = store.ReadString(Section(section), name);
  if (!text) return fallback;
  bool ok = false;
  const int value = QString::fromStdString(*text).trimmed().toInt(&ok);
  return ok ? value : fallback;
}

bool ReadBool(SettingsStore& store, const char* section, const char* name) {
  return ReadInteger(store, section, name, 0) != 0;
}

void Write(SettingsStore& store, const char* section, const char* name, const std::string& value) {
  if (!store.WriteString(Section(section), name, value)) throw StoreFailure{};
}

}  // namespace

void THauptformular::Einstellungen_Laden() {
  if (einstellungen_ == nullptr) return;
  SettingsStore& store = *einstellungen_;
  try {
    Write(store, "InstallPath", "Path", programmPfad_);
    if (ReadInteger(store, "Settings", "Action", 0) != 0)
      SetChecked(RadioZusammenfuehren, true);
    else
      SetChecked(RadioTrennen, true);

    const int size = ReadInteger(store, "Settings", "Size", 1);
    if (size >= 1 && size <= static_cast<int>(SizeButtons().size())) {
      SetChecked(SizeButtons()[size - 1], true);
    } else if (QRadioButton* selected = SelectedSizeButton()) {
      // Exclusive buttons refuse to be cleared one by one.
      selected->setAutoExclusive(false);
      selected->setChecked(false);
      selected->setAutoExclusive(true);
    }

    SetTextIfDifferent(
        EditHand,
        QString::fromStdString(store.ReadString(Section("Settings"), "UserSize").value_or("")));
    OptionenSetzen({ReadBool(store, "Settings", "Compress"), ReadBool(store, "Settings", "Delete"),
                    ReadBool(store, "Settings", "Password"),
                    ReadBool(store, "Settings", "Recovery")});
    const int percent =
        ReadInteger(store, "Settings", "RecoveryPercent", recovery::kDefaultPercent);
    SpinWiederherstellung->setValue(
        percent >= 1 && percent <= recovery::kMaxPercent ? percent : recovery::kDefaultPercent);
    MenuJoiner->setChecked(ReadBool(store, "Settings", "Joiner"));
    if (ReadInteger(store, "Settings", "Compression", 0) != 0)
      SetChecked(RadioSchwach, true);
    else
      SetChecked(RadioStark, true);

    const std::string file = store.ReadString(Section("Language"), "File").value_or("");
    if (!file.empty()) {
      language_.SetFileName(file);
    } else if (!language_.Execute()) {
      language_.SetFileName(kDefaultLanguageFile);
    }
    TextbausteineZuweisen();
    Formulardarstellung_Anpassen();
  } catch (const StoreFailure&) {
  }
}

void THauptformular::Einstellungen_Speichern() {
  if (einstellungen_ == nullptr) return;
  SettingsStore& store = *einstellungen_;
  const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
  try {
    Write(store, "Settings", "Action", flag(!RadioTrennen->isChecked()));
    const auto sizes = SizeButtons();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      if (sizes[i]->isChecked()) Write(store, "Settings", "Size", std::to_string(i + 1));
    }
    Write(store, "Settings", "UserSize", EditHand->text().toStdString());
    const SplitOptionen optionen = GewaehlteOptionen();
    Write(store, "Settings", "Compress", flag(optionen.komprimieren));
    Write(store, "Settings", "Delete", flag(optionen.loeschen));
    Write(store, "Settings", "Password", flag(optionen.passwort));
    Write(store, "Settings", "Recovery", flag(optionen.wiederherstellung));
    Write(store, "Settings", "RecoveryPercent", std::to_string(SpinWiederherstellung->value()));
    Write(store, "Settings", "Joiner", flag(MenuJoiner->isChecked()));
    Write(store, "Settings", "Compression", flag(!RadioStark->isChecked()));
    Write(store, "Language", "File", language_.FileName());
  } catch (const StoreFailure&) {
  }
}

void THauptformular::closeEvent(QCloseEvent* event) {
  if (running_) {
    // The work is asked to stop and cleans up; the window closes once it has.
    event->ignore();
    if (!ui_.CancelRequested() && AskYesNo(this, Text(language_, tb::kCancelRunning))) {
      closeAfterRun_ = true;
      ui_.RequestCancel();
    }
    return;
  }
  FormClose();
  event->accept();
}

void THauptformular::FormClose() {
  // The window itself is freed by its owner once closed (main's stack, a test's pointer).
  Einstellungen_Speichern();
  helpViewer_.Close();
  // The temporary archive holds a copy of the user's data: it does not outlive the window.
  const std::string archive = ctx_.TempArchive();
  if (FileExists(archive)) DeleteFile(archive);
  if (einstellungen_ != nullptr) einstellungen_->Flush();
  einstellungen_.reset();
  // The splash may still be up; it must not keep the program alive. Without a running event
  // loop (tests) this does nothing.
  QCoreApplication::quit();
}

void THauptformular::Formulardarstellung_Anpassen() {
  const bool split = RadioTrennen->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{
           GroupTrennGroesse, Radio144, Radio12, Radio720, Radio360, Radio100, RadioAuto, RadioHand,
           GroupOptionen, CheckKomprimieren, RadioStark, RadioSchwach, CheckLoeschen, CheckPasswort,
           CheckWiederherstellung}) {
    w->setEnabled(split);
  }
  LabelTrennDatei->SetCaption(
      Text(language_, split ? tb::kLabelTrennDateiSplit : tb::kLabelTrennDateiJoin) + " :");
  const QColor colour = split ? kMaroon : kNavy;
  QPalette bar = PanelAktion->palette();
  bar.setColor(QPalette::Window, colour);
  PanelAktion->setPalette(bar);
  LabelTrennDatei->SetFontColor(colour);
  LabelZiel->SetFontColor(colour);
  for (QLabel* w : {LabelDateiGroesse, LabelDateiGroesse2, LabelTrennungen, LabelTrennungen2,
                    LabelWiederherstellbar}) {
    w->setVisible(split);
  }

  const bool handEditable = GroupTrennGroesse->isEnabled() && RadioHand->isChecked();
  EditHand->setReadOnly(!handEditable);
  QPalette hand = EditHand->palette();
  hand.setColor(QPalette::Base, handEditable ? kWhite : kSilver);
  // Black on the fixed ground, also where the desktop's text colour is light.
  hand.setColor(QPalette::Text, kBlack);
  // Disabled with its group in join mode, the value stays legible on the silver ground.
  hand.setColor(QPalette::Disabled, QPalette::Base, kSilver);
  hand.setColor(QPalette::Disabled, QPalette::Text, kBlack);
  EditHand->setPalette(hand);

  if (GroupOptionen->isEnabled()) {
    RadioStark->setEnabled(CheckKomprimieren->isChecked());
    RadioSchwach->setEnabled(CheckKomprimieren->isChecked());
  }
  // The percentage only with its box ticked; in join mode it is the user's, not the set's.
  SpinWiederherstellung->setEnabled(split && CheckWiederherstellung->isChecked());
  LabelWiederherstellbar->setEnabled(split && CheckWiederherstellung->isChecked());
}

void THauptformular::RadioClick(QObject* sender) {
  if (sender == RadioTrennen || sender == RadioZusammenfuehren) {
    // The user's split options go aside while join mode shows those of the set.
    if (sender == RadioZusammenfuehren) {
      splitOptionen_ = {CheckKomprimieren->isChecked(), CheckLoeschen->isChecked(),
                        CheckPasswort->isChecked(), CheckWiederherstellung->isChecked()};
    }
    SetTextIfDifferent(EditTrennDatei, QString());
    SetTextIfDifferent(EditZielPfad, QString());
    SetTextIfDifferent(EditZielName, QString());
    if (sender == RadioTrennen) OptionenZeigen(splitOptionen_);
    OptionenAnzeigen();
  }
  Formulardarstellung_Anpassen();
  if (!RadioTrennen->isChecked()) return;

  const std::pair<QRadioButton*, SizePreset> presets[] = {
      {Radio144, SizePreset::Floppy144}, {Radio12, SizePreset::Floppy12},
      {Radio720, SizePreset::Floppy720}, {Radio360, SizePreset::Floppy360},
      {Radio100, SizePreset::Zip100},    {RadioAuto, SizePreset::Auto}};
  for (const auto& [button, preset] : presets) {
    if (button->isChecked()) trennGroesse_ = PresetBytes(preset);
  }
  // 0 for a hand size that is none: the count shows nothing and Start says why.
  if (RadioHand->isChecked())
    trennGroesse_ = HandGroesse(EditHand->text().toStdString()).value_or(0);
  EditTrennDateiChange();
}

void THauptformular::RadioKompLevelClick() {
  EditTrennDateiChange();
}

void THauptformular::ShowSegmentCount(std::int64_t dataSize) {
  // A packed split's count is that of the archive, known once it is packed at Start.
  if (RadioAuto->isChecked() || CheckKomprimieren->isChecked()) {
    LabelTrennungen2->setText("?");
  } else if (trennGroesse_ <= 0) {
    LabelTrennungen2->clear();  // the hand size is no size
  } else {
    LabelTrennungen2->setText(
        QString::number(Anzahl_Trennungen_Berechnen(trennGroesse_, dataSize)));
  }
}

void THauptformular::ShowRebuildCount() {
  // Unknown, as the segment count, while the archive or the volumes decide the segments.
  QString count;
  if (quellGroesse_ && (RadioAuto->isChecked() || CheckKomprimieren->isChecked())) {
    count = "?";
  } else if (quellGroesse_) {
    // A protected split cuts the age file, which is a little larger than the source.
    const std::int64_t cut = CheckPasswort->isChecked()
                                 ? age::EncryptedSize(*quellGroesse_, ctx_.workFactor)
                                 : *quellGroesse_;
    if (const auto n = RebuildableSegments(trennGroesse_, cut, SpinWiederherstellung->value()))
      count = QString::number(*n);
  }
  LabelWiederherstellbar->setText(Text(language_, tb::kRecoveryRebuildsHint) + " " + count);
}

void THauptformular::EditTrennDateiChange() {
  // Nothing that follows typing reads or packs the file (a large one would hold the window):
  // packing waits for Start.
  komprimiert_ = false;
  const std::string source = EditTrennDatei->text().toStdString();
  quellGroesse_.reset();
  if (!FileExists(source)) {
    LabelDateiGroesse2->clear();
    LabelTrennungen2->clear();
  } else {
    quellGroesse_ = Dateigroesse_Ermitteln(source, ctx_);
    LabelDateiGroesse2->setText(QString::number(*quellGroesse_));
    ShowSegmentCount(*quellGroesse_);
  }
  ShowRebuildCount();
}

void THauptformular::EditZielPfadChange() {
  if (RadioTrennen->isChecked() && RadioAuto->isChecked()) RadioClick(RadioAuto);
}

void THauptformular::EditHandChange() {
  RadioClick(RadioHand);
}

void THauptformular::ZielVorschlagen() {
  const QFileInfo source(EditTrennDatei->text());
  const bool file = !EditTrennDatei->text().isEmpty() && source.isFile();
  const bool split = RadioTrennen->isChecked();
  // A field still showing the suggestion follows the source, also when the source is refused
  // or gone; what the user typed stays. The target folder's own handler would only refresh the
  // source display, which the source's change does anyway.
  const auto follow = [](QLineEdit* field, QString& suggested, const QString& value) {
    if (!field->text().isEmpty() && field->text() != suggested) return;
    const QSignalBlocker quiet(field);
    suggested = value;
    SetTextIfDifferent(field, value);
  };
  follow(EditZielPfad, vorgeschlagenerPfad_, file ? source.absolutePath() : QString());
  // In join mode the name comes from the first segment's header, when it is chosen.
  if (split || !file)
    follow(EditZielName, vorgeschlagenerName_, file ? source.fileName() : QString());
}

THauptformular::SplitOptionen THauptformular::GewaehlteOptionen() const {
  if (!RadioTrennen->isChecked()) return splitOptionen_;
  return {CheckKomprimieren->isChecked(), CheckLoeschen->isChecked(), CheckPasswort->isChecked(),
          CheckWiederherstellung->isChecked()};
}

void THauptformular::OptionenSetzen(const SplitOptionen& optionen) {
  if (!RadioTrennen->isChecked()) {
    splitOptionen_ = optionen;
    return;
  }
  SetChecked(CheckKomprimieren, optionen.komprimieren);
  SetChecked(CheckLoeschen, optionen.loeschen);
  SetChecked(CheckPasswort, optionen.passwort);
  SetChecked(CheckWiederherstellung, optionen.wiederherstellung);
}

void THauptformular::OptionenZeigen(const SplitOptionen& optionen) {
  // Only shown: packing and the source display do not react.
  const QSignalBlocker k(CheckKomprimieren);
  const QSignalBlocker l(CheckLoeschen);
  const QSignalBlocker p(CheckPasswort);
  const QSignalBlocker r(CheckWiederherstellung);
  CheckKomprimieren->setChecked(optionen.komprimieren);
  CheckLoeschen->setChecked(optionen.loeschen);
  CheckPasswort->setChecked(optionen.passwort);
  CheckWiederherstellung->setChecked(optionen.wiederherstellung);
}

void THauptformular::OptionenAnzeigen() {
  if (RadioTrennen->isChecked()) return;
  SplitOptionen set;
  if (!EditTrennDatei->text().isEmpty()) {
    const HeaderRead read = ReadSegmentHeader(EditTrennDatei->text().toStdString());
    set.komprimieren = read.status == HeaderRead::Status::Valid && read.info.compressed;
    set.passwort = read.status == HeaderRead::Status::Valid && read.info.password;
    // Recovery files are not in the header: their index lies beside the first segment.
    set.wiederherstellung = read.status == HeaderRead::Status::Valid &&
                            FileExists(RecoveryIndexPath(EditTrennDatei->text().toStdString()));
  }
  OptionenZeigen(set);
}

bool THauptformular::Komprimierung_Einleiten_Falls_Noetig() {
  CompressionRequest request;
  request.splitMode = RadioTrennen->isChecked();
  request.compress = CheckKomprimieren->isChecked();
  request.strong = RadioStark->isChecked();
  request.source = EditTrennDatei->text().toStdString();
  komprimiert_ = pz::Komprimierung_Einleiten_Falls_Noetig(request, ctx_, zip_);
  return komprimiert_;
}

bool THauptformular::Datei_Komprimieren(const std::string& quelle, const std::string& archiv,
                                        int level) {
  return pz::Datei_Komprimieren(quelle, archiv, level, ctx_, zip_);
}

bool THauptformular::Datei_Dekomprimieren(const std::string& archiv, const std::string& ordner,
                                          const std::string& member) {
  return pz::Datei_Dekomprimieren(archiv, ordner, ctx_, zip_, member);
}

void THauptformular::ButtonTrennDateiClick() {
  const bool split = RadioTrennen->isChecked();
  QFileDialog dialog(this);
  dialog.setObjectName("OpenDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (split) {
    dialog.setNameFilter(Filter(Text(language_, tb::kFilterSplit), "*"));
  } else {
    dialog.setNameFilter(Filter(Text(language_, tb::kFilterJoin), "*.PZX000 *.pzx000"));
    dialog.setDefaultSuffix("PZX000");
  }
  if (RunModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString chosen = dialog.selectedFiles().first();
  SetTextIfDifferent(EditTrennDatei, chosen);
  if (split) return;

  const HeaderRead read = ReadSegmentHeader(chosen.toStdString());
  if (read.status == HeaderRead::Status::Valid) {
    vorgeschlagenerName_ = QString::fromStdString(PlainFileName(read.info.name));
    SetTextIfDifferent(EditZielName, vorgeschlagenerName_);
  } else if (read.status == HeaderRead::Status::NoHeader ||
             read.status == HeaderRead::Status::TooShort) {
    SetTextIfDifferent(EditTrennDatei, QString());
    pz::ShowMessage(this, Text(language_, tb::kNoFirstSegment), MsgIcon::Error);
  } else {
    // Unreadable or damaged: a first segment perhaps, but not one that can be used.
    SetTextIfDifferent(EditTrennDatei, QString());
    pz::ShowMessage(this,
                    QString::fromStdString(
                        HeaderRefusal(read, chosen.toStdString(), language_, tb::kNoFirstSegment)),
                    MsgIcon::Error);
  }
}

void THauptformular::ButtonZielClick() {
  pxPath_.SetLanguageCodeLetter(language_.CodeLetter());
  if (pxPath_.Execute(this)) SetTextIfDifferent(EditZielPfad, pxPath_.Path());
}

void THauptformular::ButtonAusfuehrenClick() {
  // The window answers while the work runs; never start a second command.
  if (running_) return;
  running_ = true;
  const ScopeGuard idle([this] { running_ = false; });

  CheckInput in = EingabenLesen();
  if (!EingabenPruefen(in)) return;
  bool ersetzen = false;
  if (!in.split && !ErsetzenErlaubt(in, ersetzen)) return;
  ui_.ClearCancel();
  ArbeitAnzeigen(true);
  const ScopeGuard idleLook([this] { ArbeitAnzeigen(false); });
  // The engine's reason for a refusal or a cancel goes into the closing message.
  ui_.HoldMessages(true);
  const ScopeGuard release([this] { ui_.HoldMessages(false); });
  JoinReport joinReport;
  SplitReport splitReport;
  bool done = false;
  {
    // The busy text goes before the closing message is shown.
    ui_.StatusText(language_.GetText(in.split ? tb::kSplitBusy : tb::kJoinBusy) + "...");
    const ScopeGuard clearStatus([this] { ui_.StatusText(""); });
    try {
      done = AuftragAusfuehren(in, ersetzen, joinReport, splitReport);
    } catch (const EngineStopped&) {
      throw;  // asked for: said as such
    } catch (const std::exception& e) {
      // A failure the engine could only throw is the reason of this run's closing message; it
      // says itself when the partial result was removed.
      ui_.ShowMessage(e.what(), MsgIcon::Error);
      joinReport.partialRemoved = false;
    }
  }
  ErgebnisMelden(in.split, done, joinReport, splitReport);
  ui_.HoldMessages(false);
  // The source itself, never the temporary archive; a failure is shown as a warning. A deleted
  // source leaves its field, which would name a file that is gone.
  if (done && in.split && CheckLoeschen->isChecked() && Quelle_Loeschen(in.source, ctx_))
    SetTextIfDifferent(EditTrennDatei, QString());
}

bool THauptformular::ErsetzenErlaubt(const CheckInput& in, bool& ersetzen) {
  const std::string target = JoinPath(in.targetFolder, in.targetName);
  const HeaderRead read = ReadSegmentHeader(in.source);
  // A packed set never replaces a file: its join says so itself.
  if (read.status != HeaderRead::Status::Valid || read.info.compressed || !PathExists(target))
    return true;
  ersetzen =
      AskYesNo(this, Text(language_, tb::kReplaceTarget) + "\n" + QString::fromStdString(target));
  return ersetzen;
}

void THauptformular::ArbeitAnzeigen(bool running) {
  for (QWidget* w : {PanelAktion, PanelQuelle, PanelZiel, static_cast<QWidget*>(ButtonAusfuehren)})
    w->setEnabled(!running);
  // The texts the work reads must not change under it; Exit (F10) closes, which asks and cancels.
  MenuSprache->setEnabled(!running);
  if (running) {
    beendenText_ = ButtonBeenden->text();
    ButtonBeenden->setText(Text(language_, tb::kButtonCancel));
  } else if (!beendenText_.isEmpty()) {
    ButtonBeenden->setText(std::exchange(beendenText_, QString()));
  }
}

bool THauptformular::ImHintergrund(const std::function<bool()>& work) {
  bool result = false;
  std::exception_ptr error;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    try {
      result = work();
    } catch (...) {
      error = std::current_exception();
    }
    done = true;
    QMetaObject::invokeMethod(
        qApp, [] {}, Qt::QueuedConnection);  // wakes the loop below
  });
  // The window's events, and the work's calls into the window, until the work has ended.
  while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  worker.join();
  if (error) std::rethrow_exception(error);
  return result;
}

CheckInput THauptformular::EingabenLesen() const {
  CheckInput in;
  in.split = RadioTrennen->isChecked();
  in.source = EditTrennDatei->text().toStdString();
  bool counted = false;
  const qlonglong shown = LabelTrennungen2->text().toLongLong(&counted);
  in.segmentCount = in.split && counted ? shown : 0;
  in.sizeInvalid = in.split && RadioHand->isChecked() &&
                   !HandGroesse(EditHand->text().toStdString()).has_value();
  in.targetFolder = EditZielPfad->text().toStdString();
  in.targetName = EditZielName->text().toStdString();
  return in;
}

bool THauptformular::EingabenPruefen(CheckInput& in) {
  const std::optional<CheckFailure> failure = CheckInputs(in);
  // The folder loses one trailing separator once it has passed its checks. The root keeps its
  // "/" in the field: an empty field would be refused by the next run.
  if (!in.targetFolder.empty())
    SetTextIfDifferent(EditZielPfad, QString::fromStdString(in.targetFolder));
  if (!failure) return true;
  pz::ShowMessage(this, Text(language_, failure->block), failure->icon);
  if (failure->focus == InputField::Source) EditTrennDatei->setFocus();
  if (failure->focus == InputField::HandSize) EditHand->setFocus();
  if (failure->focus == InputField::TargetFolder) EditZielPfad->setFocus();
  if (failure->focus == InputField::TargetName) EditZielName->setFocus();
  return false;
}

bool THauptformular::AuftragAusfuehren(const CheckInput& in, bool ersetzen, JoinReport& joinReport,
                                       SplitReport& splitReport) {
  // The hourglass ends with the work, before its result is shown.
  ui_.SetBusy(true);
  const ScopeGuard idle([this] { ui_.SetBusy(false); });
  ui_.Repaint();
  if (!in.split) {
    const JoinJob job{in.source, in.targetFolder, in.targetName, ersetzen};
    return ImHintergrund([&] { return Trennsegmente_Zusammenfuehren(job, ctx_, &joinReport); });
  }
  return TrennungAusfuehren(in, splitReport);
}

bool THauptformular::TrennungAusfuehren(const CheckInput& in, SplitReport& splitReport) {
  CompressionRequest request;
  request.compress = CheckKomprimieren->isChecked();
  request.strong = RadioStark->isChecked();
  request.source = in.source;
  SplitJob job;
  job.quellName = in.source;
  job.passwort = CheckPasswort->isChecked();
  job.zielPfad = in.targetFolder;
  job.zielName = in.targetName;
  job.trennGroesse = trennGroesse_;
  job.automatisch = RadioAuto->isChecked();
  job.recoveryPercent = CheckWiederherstellung->isChecked() ? SpinWiederherstellung->value() : 0;
  ctx_.joinerPage = MenuJoiner->isChecked()
                        ? JoinPath(DataFolder(programmPfad_, kWebFolder), kJoinerPageName)
                        : std::string();
  const std::string splitBusy = language_.GetText(tb::kSplitBusy) + "...";
  bool komprimiert = false;
  const ScopeGuard flag([&] { komprimiert_ = komprimiert; });
  return ImHintergrund([&] {
    komprimiert = pz::Komprimierung_Einleiten_Falls_Noetig(request, ctx_, zip_);
    if (request.compress && !komprimiert) return false;  // said by the packing
    ui_.StatusText(splitBusy);
    job.komprimiert = komprimiert;
    job.quelle = komprimiert ? ctx_.TempArchive() : in.source;
    if (komprimiert && !job.automatisch &&
        Anzahl_Trennungen_Berechnen(job.trennGroesse, FileSize(job.quelle)) > kMaxSegments)
      return Refuse(ui_, language_.GetText(tb::kTooManySegments), MsgIcon::Warning);
    // The archive is read back before it is cut: only a checked split may delete the source.
    return Gepackte_Trennung_Pruefen(request.compress, komprimiert, job.quelle, in.source, ctx_,
                                     zip_) &&
           Datei_Trennen(job, ctx_, &splitReport);
  });
}

void THauptformular::ErgebnisMelden(bool split, bool done, const JoinReport& joinReport,
                                    const SplitReport& splitReport) {
  const tb::Block result =
      split ? (done ? tb::kSplitDone : tb::kSplitFailed) : (done ? tb::kJoinDone : tb::kJoinFailed);
  // A join says how far its result was verified, and what became of an unfinished one; a split
  // names a part segment it could not remove.
  QString text = Text(language_, result);
  const std::string detail = split ? (done ? SplitReportText(splitReport, language_) : "")
                                   : JoinReportText(joinReport, done, language_);
  if (!detail.empty()) text += "\n" + QString::fromStdString(detail);
  // Joined, but not confirmed by the checksum file that is there: a warning, not a success.
  const bool notVerified = !split && done && joinReport.verdict == Verdict::Incomplete;
  const bool warn = !done || (split && !detail.empty()) || notVerified;
  MsgIcon icon = warn ? MsgIcon::Warning : MsgIcon::Information;
  // What the engine said last (why it refused, that it was cancelled) follows in the same box.
  if (const auto held = ui_.TakeHeldMessage()) {
    text += "\n\n" + held->text;
    icon = std::max(icon, held->icon);
  }
  pz::ShowMessage(this, text, icon);
}

void THauptformular::ButtonBeendenClick() {
  // While work runs the button reads Cancel.
  if (running_) {
    ui_.RequestCancel();
    return;
  }
  MenuBeendenClick();
}

void THauptformular::MenuBeendenClick() {
  close();
}

void THauptformular::MenuSpracheClick() {
  if (!language_.Execute()) return;
  TextbausteineZuweisen();
  HilfedateiWaehlen();
}

void THauptformular::MenuInhaltClick() {
  if (helpFile_.empty()) return;
  if (helpViewer_.OpenContents(QString::fromStdString(helpFile_)))
    helpViewer_.JumpToTopic(kHelpTopic);
}

void THauptformular::MenuAwardsClick() {
  award_.Execute();
}

void THauptformular::MenuInfoClick() {
  infoScreen_.WriteComponentInfo(kSettingsKey);
  infoScreen_.SetCompanyNameLong(kBrandName);
  infoScreen_.SetProgramName(kProgramName);
  infoScreen_.SetVersionPrg(kProgramVersion);
  infoScreen_.SetYear(kProgramYear);
  infoScreen_.SetLizenz(Text(language_, tb::kLizenz));
  infoScreen_.SetMail(kMakerMail);
  infoScreen_.SetURL(kMakerURL);
  infoScreen_.Execute();
}

std::string Sprachkennung_Einfuegen(const std::string& fileName, const std::string& codeLetter) {
  const std::size_t dot = fileName.find('.');
  if (dot == std::string::npos) return fileName + "_" + codeLetter;
  return fileName.substr(0, dot) + "_" + codeLetter + fileName.substr(dot);
}

void THauptformular::QtTexteLaden() {
  QCoreApplication::removeTranslator(&qtTexte_);
  // Qt's own dialog texts (file dialog, Yes and No) in the chosen language; English is built
  // in. The translations are Debian's, where Qt's own library looks for them.
  if (language_.CodeLetter() == "D" &&
      qtTexte_.load("qt_de", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&qtTexte_);
  }
}

void THauptformular::TextbausteineZuweisen() {
  QtTexteLaden();
  if (language_.TextCount() == 0) return;
  zip_.SetLanguageCodeLetter(language_.CodeLetter());
  const auto text = [this](tb::Block block) { return Text(language_, block); };
  MenuDatei->setTitle(text(tb::kMenuDatei));
  MenuHilfe->setTitle(text(tb::kMenuHilfe));
  MenuSprache->setText(text(tb::kMenuSprache) + "...");
  MenuJoiner->setText(text(tb::kCheckJoiner));
  MenuBeenden->setText(text(tb::kMenuBeenden));
  MenuInhalt->setText(text(tb::kMenuInhalt) + "...");
  MenuInfo->setText(text(tb::kMenuInfo) + "...");
  LabelTrennDatei->SetCaption(
      text(RadioTrennen->isChecked() ? tb::kLabelTrennDateiSplit : tb::kLabelTrennDateiJoin) +
      " :");
  LabelAktion->SetCaption(text(tb::kLabelAktion) + " :");
  LabelZiel->SetCaption(text(tb::kLabelZiel) + " :");
  const std::pair<QAbstractButton*, tb::Block> buttons[] = {
      {RadioTrennen, tb::kRadioTrennen},
      {RadioZusammenfuehren, tb::kRadioZusammenfuehren},
      {Radio144, tb::kRadio144},
      {Radio12, tb::kRadio12},
      {Radio720, tb::kRadio720},
      {Radio360, tb::kRadio360},
      {Radio100, tb::kRadio100},
      {RadioAuto, tb::kRadioAuto},
      {RadioHand, tb::kRadioHand},
      {CheckKomprimieren, tb::kCheckKomprimieren},
      {RadioStark, tb::kRadioStark},
      {RadioSchwach, tb::kRadioSchwach},
      {CheckLoeschen, tb::kCheckLoeschen},
      {CheckPasswort, tb::kCheckPasswort},
      {CheckWiederherstellung, tb::kRecoveryOption},
      {ButtonAusfuehren, tb::kButtonAusfuehren},
      {ButtonBeenden, tb::kButtonBeenden}};
  for (const auto& [button, block] : buttons) button->setText(text(block));
  GroupTrennGroesse->setTitle(text(tb::kGroupTrennGroesse));
  GroupOptionen->setTitle(text(tb::kGroupOptionen));
  const std::pair<QLabel*, tb::Block> labels[] = {{LabelDateiGroesse, tb::kLabelDateiGroesse},
                                                  {LabelTrennungen, tb::kLabelTrennungen},
                                                  {LabelZielPfad, tb::kLabelZielPfad},
                                                  {LabelZielName, tb::kLabelZielName}};
  for (const auto& [label, block] : labels) {
    label->setText(text(block) + " :");
    label->adjustSize();
  }
  ShowRebuildCount();
}

namespace {

// The one local file that a drag carries; "" for anything else.
QString DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

void THauptformular::DateiUebernehmen(const QString& path) {
  if (running_) return;
  const QString file = QFileInfo(path).absoluteFilePath();
  const HeaderRead read = ReadSegmentHeader(file.toStdString());
  const bool firstSegment = read.status == HeaderRead::Status::Valid;
  const HeaderInfo& info = read.info;
  SetChecked(firstSegment ? RadioZusammenfuehren : RadioTrennen, true);
  SetTextIfDifferent(EditTrennDatei, file);
  if (firstSegment) {
    vorgeschlagenerName_ = QString::fromStdString(PlainFileName(info.name));
    SetTextIfDifferent(EditZielName, vorgeschlagenerName_);
  }
  // For the installation test, which cannot look into the window.
  if (std::getenv("PARZELLO_PRINT_STATE") != nullptr) {
    std::printf("mode=%s\nsource=%s\nfolder=%s\nname=%s\n", firstSegment ? "join" : "split",
                EditTrennDatei->text().toUtf8().constData(),
                EditZielPfad->text().toUtf8().constData(),
                EditZielName->text().toUtf8().constData());
    std::fflush(stdout);
  }
}

void THauptformular::dragEnterEvent(QDragEnterEvent* event) {
  if (!running_ && !DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void THauptformular::dropEvent(QDropEvent* event) {
  const QString file = DroppedFile(event->mimeData());
  if (file.isEmpty()) return;
  event->acceptProposedAction();
  Guarded([&] { DateiUebernehmen(file); });
}

}  // namespace pz
