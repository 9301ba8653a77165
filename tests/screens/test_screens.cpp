#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

#include "controls/desktopshell.h"
#include "controls/linklabel.h"
#include "controls/shadowlabel.h"
#include "platform/settings.h"
#include "screens/award.h"
#include "screens/document.h"
#include "screens/infoscreen.h"
#include "screens/internalinfo.h"
#include "screens/startscreen.h"

using namespace pz;

namespace {

const std::string kKey = "Software\\Pellimorex\\PX-Parzello";

class FakeShell : public TDesktopShell {
 public:
  QString HandlerCommand(const QString&) override { return {}; }
  bool Open(const QUrl& url) override {
    opened << url;
    return true;
  }
  QList<QUrl> opened;
};

// Runs inspect inside the modal loop that run() starts, once the window is up.
void WhileModal(const std::function<void()>& run, const std::function<void()>& inspect) {
  bool inspected = false;
  QTimer::singleShot(0, [&] {
    inspect();
    inspected = true;
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  run();
  QVERIFY(inspected);
}

// Controls placed with their size, and controls sized to their text at their place.
void CheckPlaces(std::initializer_list<std::pair<QWidget*, QRect>> placed,
                 std::initializer_list<std::pair<QWidget*, QPoint>> moved = {}) {
  for (const auto& [control, geometry] : placed) {
    QVERIFY2(control->geometry() == geometry, qPrintable(control->objectName()));
  }
  for (const auto& [control, place] : moved) {
    QVERIFY2(control->pos() == place, qPrintable(control->objectName()));
  }
}

// Saves a picture of the widget when screenshots are asked for.
void Shot(QWidget* w, const QString& name) {
  const QString dir = qEnvironmentVariable("PZ_SHOT_DIR");
  if (!dir.isEmpty() && w != nullptr) w->grab().save(dir + "/" + name + ".png");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* w = parent->findChild<T*>(name);
  if (w == nullptr) qWarning("no child %s", name);
  return w;
}

}  // namespace

class TestScreens : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    store_ = OpenUserSettings(dir_.path().toStdString() + "/config");
    QVERIFY(store_ != nullptr);
    SetComponentInfoStore(store_.get());
    SetDesktopShell(&shell_);
  }
  void cleanupTestCase() {
    SetComponentInfoStore(nullptr);
    SetDesktopShell(nullptr);
  }

  // ---- splash ----

  void commonShape() {
    TPXStartScreenA s;
    QCOMPARE(s.CIVersion(), std::string("1.02"));
    s.SetCIVersion("9.9");  // read-only
    QCOMPARE(s.CIVersion(), std::string("1.02"));
    QCOMPARE(s.LanguageCodeLetter(), std::string("E"));
    s.SetLanguageCodeLetter("d");
    QCOMPARE(s.LanguageCodeLetter(), std::string("D"));
    s.SetLanguageCodeLetter("x");
    QCOMPARE(s.LanguageCodeLetter(), std::string("E"));
  }

  void splashShowsCaptionsInTheirFonts() {
    TPXStartScreenA s;
    s.SetCompanyNameLong("Tarnwick");
    s.SetProgramName("Parzello");
    s.SetVersionPrg("1.1");
    s.SetYear("2026");
    s.SetTextVersionFor("Version for Linux");
    s.SetDisplayTime(0);
    s.SetBitmap(QString::fromStdString(std::string(PZ_DATA_DIR) + "/graphics_parzello/Start.bmp"));
    s.Execute();
    TStartScreenFormular* f = StartScreenFormular();
    QVERIFY(f != nullptr);
    QVERIFY(f->isVisible());
    QCOMPARE(f->size(), QSize(500, 270));
    QVERIFY(f->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(f->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!f->ImageHinter->pixmap().isNull());
    const std::pair<QString, QString> captions[] = {
        {f->LabelCompany->Caption(), "Tarnwick"},
        {f->LabelCompanyOben->Caption(), "Tarnwick "},
        {f->LabelProgramName->Caption(), "PX-Parzello"},
        {f->LabelVersion->Caption(), "Version 1.1"},
        {f->LabelVersionFor->text(), "Version for Linux"},
        {f->LabelCopyright->text(), "(c) by Tarnwick 2026"},
        {f->LabelPXLogo1->Caption(), "P"},
        {f->LabelPXLogo2->Caption(), "X"}};
    for (const auto& [shown, expected] : captions) QCOMPARE(shown, expected);
    CheckPlaces({{f->LabelCompanyOben, {210, 5, 280, 25}},
                 {f->LabelProgramName, {205, 140, 285, 65}},
                 {f->LabelVersion, {205, 210, 285, 30}},
                 {f->LabelVersionFor, {205, 245, 285, 15}}},
                {{f->LabelCompany, {210, 88}}, {f->LabelCopyright, {30, 245}}});
    QCOMPARE(f->LabelCompany->font().pointSize(), 16);
    QCOMPARE(f->LabelCompany->FontColor(), QColor(Qt::white));
    QCOMPARE(f->LabelCompany->ShadowColor(), QColor(Qt::black));
    QCOMPARE(f->LabelCompany->Deep(), 2);
    QCOMPARE(f->LabelCompanyOben->Deep(), 1);
    QVERIFY(f->LabelCompanyOben->font().italic());
    QCOMPARE(f->LabelProgramName->font().family(), QString("Times New Roman"));
    QCOMPARE(f->LabelProgramName->FontColor(), QColor(255, 255, 0));
    QCOMPARE(f->LabelVersionFor->font().pointSize(), 8);
    QCOMPARE(f->LabelCopyright->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(f->LabelPXLogo1->font().pointSize(), 36);
    QVERIFY(f->LabelPXLogo1->isVisible());
    Shot(f, "splash");
    f->close();
  }

  void splashOptions() {
    TPXStartScreenA s;
    s.SetDisplayTime(0);
    s.SetShowLogo(false);
    s.SetShowVersion(false);
    s.SetProgramName("");
    s.SetCompanyNameLong("Tarnwick");
    s.SetCompanyNameLongShadowDeep(0);
    s.SetProgramNameShadowDeep(3);
    s.SetBitmap(dir_.path() + "/missing.bmp");
    s.Execute();
    TStartScreenFormular* f = StartScreenFormular();
    QVERIFY(f != nullptr);
    QVERIFY(f->ImageHinter->pixmap().isNull());
    QCOMPARE(f->LabelCopyright->text(), QString("(c) by Tarnwick "));
    QCOMPARE(f->LabelProgramName->Caption(), QString("PX-"));
    QVERIFY(!f->LabelPXLogo1->isVisible() && !f->LabelPXLogo2->isVisible());
    QVERIFY(!f->LabelVersion->isVisible());
    QVERIFY(f->LabelVersionFor->isVisible());
    QCOMPARE(f->LabelCompany->Deep(), 1);  // the depth the form gave it
    QCOMPARE(f->LabelProgramName->Deep(), 1);
    f->close();

    s.SetShowYear(false);
    s.SetShowCompanyNameShort(false);
    s.SetProgramName("Parzello");
    WriteFile(dir_.path() + "/broken.bmp", "BM not a picture");
    s.SetBitmap(dir_.path() + "/broken.bmp");
    s.Execute();
    f = StartScreenFormular();
    QVERIFY(!f->LabelCopyright->isVisible());
    QCOMPARE(f->LabelProgramName->Caption(), QString("Parzello"));
    QVERIFY(f->ImageHinter->pixmap().isNull());
    f->close();
  }

  void splashTimerAndClick() {
    TPXStartScreenA s;
    s.SetDisplayTime(50);
    s.Execute();
    QPointer<TStartScreenFormular> timed = StartScreenFormular();
    QVERIFY(timed && timed->Timer->isActive());
    QCOMPARE(timed->Timer->interval(), 50);
    QTRY_VERIFY_WITH_TIMEOUT(timed.isNull(), 2000);  // closed and freed

    s.SetDisplayTime(0);
    s.Execute();
    QPointer<TStartScreenFormular> first = StartScreenFormular();
    QVERIFY(!first->Timer->isActive());
    s.SetDisplayTime(60000);
    s.Execute();  // a second splash while the first is up
    QPointer<TStartScreenFormular> second = StartScreenFormular();
    QVERIFY(first != second);
    QTest::qWait(200);
    QVERIFY(!first.isNull() && first->isVisible());  // display time 0: stays until clicked
    QTest::mouseClick(second->LabelCompany, Qt::LeftButton);
    QVERIFY(!second.isNull() && !second->isVisible() && !second->Timer->isActive());
    QTest::mouseClick(first->ImageHinter, Qt::LeftButton);
    QTRY_VERIFY(first.isNull() && second.isNull());
    QVERIFY(StartScreenFormular() == nullptr);
  }

  void componentsRecordThemselves() {
    TPXStartScreenA s;
    s.WriteComponentInfo(kKey + "\\");
    const std::string ci = kKey + "\\CI\\TPXStartScreenA";
    QCOMPARE(store_->ReadString(ci, "Company").value_or(""), std::string("Pellimorex"));
    QCOMPARE(store_->ReadString(ci, "Version").value_or(""), std::string("1.02"));
    QCOMPARE(store_->ReadString(ci, "Last Change").value_or(""), std::string("01.02.2000"));
    TPXInfoScreenA info;
    info.WriteComponentInfo(kKey);
    QCOMPARE(store_->ReadString(kKey + "\\CI\\TPXInfoScreenA", "Version").value_or(""),
             std::string("1.06"));
    TPXAward award;
    award.WriteComponentInfo(kKey);
    QCOMPARE(store_->ReadString(kKey + "\\CI\\TPXAward", "Last Change").value_or(""),
             std::string("01.02.2000"));
  }

  // ---- information screen ----

  void infoScreenAddressesAreTheProjects() {
    TPXInfoScreenA s;
    QCOMPARE(s.Mail(), QString("parzello@users.noreply.github.com"));
    QCOMPARE(s.URL(), QString("parzello.github.io"));
  }

  void infoScreenShowsLinesAndLinks() {
    TPXInfoScreenA s;
    TPXInternalInfo internal;
    internal.WriteComponentInfo(kKey);
    s.SetPXInternalInfo(&internal);
    s.SetCompanyNameLong("Tarnwick");
    s.SetProgramName("Parzello");
    s.SetVersionPrg("1.1");
    s.SetYear("2026");
    s.SetMail("mailto:support@example.org");
    s.SetShowLogo(false);
    WhileModal([&] { s.Execute(); },
               [&] {
                 TInfoScreenFormular* f = InfoScreenFormular();
                 QVERIFY(f != nullptr && f->isModal());
                 QCOMPARE(f->size(), QSize(500, 300));
                 // The caption of the mail link keeps the prefix; address and hint drop it.
                 const std::pair<QString, QString> captions[] = {
                     {f->windowTitle(), "Infos"},
                     {f->LabelProgramName->Caption(), "PX-Parzello"},
                     {f->LabelVersion->text(), "Version 1.1"},
                     {f->LabelCopyright->text(), "(c) 2026 by Tarnwick"},
                     {f->URLLabelWeb->Caption(), kMakerURL},
                     {f->LabelURLBez->text(), "Internet :"},
                     {f->URLLabelMail->Caption(), "mailto:support@example.org"},
                     {f->URLLabelMail->URL(), "support@example.org"},
                     {f->URLLabelMail->toolTip(), "support@example.org"},
                     {f->ButtonInternal->text(), "Internal"}};
                 for (const auto& [shown, expected] : captions) QCOMPARE(shown, expected);
                 CheckPlaces({{f->LabelProgramName, {65, 45, 290, 45}},
                              {f->LabelCopyright, {65, 119, 290, 20}},
                              {f->ButtonInternal, {415, 270, 75, 25}}},
                             {{f->URLLabelWeb, {342, 225}}});
                 QCOMPARE(f->LabelProgramName->FontColor(), QColor(128, 0, 128));
                 QCOMPARE(f->LabelVersion->font().pointSize(), 10);
                 QVERIFY(!f->LabelPXLogo1->isVisible());
                 QCOMPARE(f->URLLabelWeb->LinkType(), TLinkType::http);
                 QCOMPARE(f->URLLabelMail->LinkType(), TLinkType::mailto);
                 QVERIFY(f->URLLabelMail->font().underline());
                 QCOMPARE(f->URLLabelMail->font().pixelSize(), 11);
                 // Hints are not switched on: the tooltip event never reaches the label.
                 QLabel control("x");
                 control.setToolTip("shown");
                 control.show();
                 QHelpEvent shown(QEvent::ToolTip, QPoint(2, 2), control.mapToGlobal(QPoint(2, 2)));
                 QApplication::sendEvent(&control, &shown);
                 QVERIFY(QToolTip::isVisible());  // an ordinary label shows its hint
                 QToolTip::hideText();
                 QTRY_VERIFY(!QToolTip::isVisible());
                 QCOMPARE(f->URLLabelWeb->toolTip(), QString(kMakerURL));
                 QHelpEvent help(QEvent::ToolTip, QPoint(2, 2),
                                 f->URLLabelWeb->mapToGlobal(QPoint(2, 2)));
                 QApplication::sendEvent(f->URLLabelWeb, &help);
                 QVERIFY(!QToolTip::isVisible());
                 QVERIFY(f->ButtonInternal->isVisible());
                 QCOMPARE(f->focusWidget(), f->ButtonOK);
                 Shot(f, "info");
                 shell_.opened.clear();
                 QTest::mouseClick(f->URLLabelMail, Qt::LeftButton, {}, QPoint(2, 2));
                 QTest::mouseClick(f->URLLabelWeb, Qt::LeftButton, {}, QPoint(2, 2));
                 QCOMPARE(shell_.opened, (QList<QUrl>{QUrl("mailto:support@example.org"),
                                                      QUrl("http://parzello.github.io")}));
                 // "Internal" opens the list on top; closing it returns to the information screen.
                 bool listed = false;
                 QTimer::singleShot(0, [&] {
                   listed = InternalInfoDialog() != nullptr && InternalInfoDialog()->isVisible();
                   InternalInfoDialog()->close();
                 });
                 f->ButtonInternal->click();
                 QVERIFY(listed);
                 QVERIFY(InfoScreenFormular() == f && f->isVisible());
               });
    QTRY_VERIFY(InfoScreenFormular() == nullptr);  // freed after closing
  }

  void infoScreenOptions() {
    TPXInfoScreenA s;
    s.SetShowURL(false);
    s.SetShowCompanyNameShort(false);
    s.SetShowVersion(false);
    s.SetProgramName("Parzello");
    WhileModal([&] { s.Execute(); },
               [&] {
                 TInfoScreenFormular* f = InfoScreenFormular();
                 QVERIFY(f != nullptr);
                 QVERIFY(!f->URLLabelWeb->isVisible() && !f->LabelURLBez->isVisible());
                 QVERIFY(f->URLLabelMail->isVisible() && f->LabelMailBez->isVisible());
                 QCOMPARE(f->URLLabelMail->pos(), QPoint(342, 245));
                 QCOMPARE(f->LabelCopyright->text(), QString("(c)  by Pellimorex"));
                 QCOMPARE(f->LabelProgramName->Caption(), QString("Parzello"));
                 QVERIFY(!f->LabelVersion->isVisible());
                 QVERIFY(!f->ButtonInternal->isVisible());  // no internal-information component
                 QVERIFY(f->LabelPXLogo1->isVisible());
                 QCOMPARE(f->LabelPXLogo1->font().pointSize(), 36);
               });
    s.SetShowMail(false);
    s.SetShowYear(false);
    WhileModal([&] { s.Execute(); },
               [&] {
                 TInfoScreenFormular* f = InfoScreenFormular();
                 QVERIFY(!f->URLLabelMail->isVisible() && !f->LabelMailBez->isVisible());
                 QVERIFY(!f->LabelCopyright->isVisible());
               });
  }

  // ---- internal information ----

  void internalInfoListsComponentsSorted() {
    auto store = OpenUserSettings(dir_.path().toStdString() + "/internal");
    SetComponentInfoStore(store.get());
    TPXStartScreenA splash;
    TPXAward award;
    TPXInternalInfo internal;
    splash.WriteComponentInfo(kKey);  // written first, listed last
    award.WriteComponentInfo(kKey);
    internal.WriteComponentInfo(kKey + "\\");
    QCOMPARE(internal.CIKeyPath(), kKey + "\\CI");
    // A subkey without values of its own (it only holds a deeper key).
    store->WriteString(kKey + "\\CI\\aEmpty\\deeper", "x", "y");

    TPXInternalInfoDialog d;
    d.AssembleDisplay(internal.CIKeyPath());
    SetComponentInfoStore(store_.get());
    auto rows = [&](const char* name) {
      QList<QPair<int, QString>> out;
      for (QLabel* l : d.ScrollContent->findChildren<QLabel*>(name))
        out << qMakePair(l->y(), l->text());
      std::sort(out.begin(), out.end());
      return out;
    };
    const auto names = rows("LabelComponent");
    QCOMPARE(names.size(), 4);
    QCOMPARE(names[0], qMakePair(30, QString("aEmpty")));
    QCOMPARE(names[1], qMakePair(55, QString("TPXAward")));
    QCOMPARE(names[2], qMakePair(160, QString("TPXInternalInfo")));
    QCOMPARE(names[3], qMakePair(265, QString("TPXStartScreenA")));
    const auto valueNames = rows("LabelValueName");
    QCOMPARE(valueNames.size(), 9);
    QCOMPARE(valueNames[0].first, 55);
    QCOMPARE(valueNames[1].first, 87);
    QCOMPARE(valueNames[2].first, 119);
    const auto values = rows("LabelValue");
    QCOMPARE(values[0].first, 71);
    QCOMPARE(values[2], qMakePair(135, values[2].second));
    QVERIFY(d.ScrollContent->height() > d.ScrollBox->viewport()->height());  // it scrolls
    QLabel* name = d.ScrollContent->findChildren<QLabel*>("LabelComponent").first();
    QCOMPARE(name->size(), QSize(150, 16));
    QLabel* valueName = d.ScrollContent->findChildren<QLabel*>("LabelValueName").first();
    QCOMPARE(valueName->x(), 160);
    QCOMPARE(valueName->palette().color(QPalette::WindowText), QColor(128, 128, 128));
    QLabel* value = d.ScrollContent->findChildren<QLabel*>("LabelValue").first();
    QCOMPARE(value->x(), 180);
    QCOMPARE(value->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  }

  void internalInfoExecuteInGerman() {
    auto store = OpenUserSettings(dir_.path().toStdString() + "/two");
    SetComponentInfoStore(store.get());
    TPXStartScreenA splash;
    TPXAward award;
    TPXInternalInfo internal;
    splash.WriteComponentInfo(kKey);
    award.WriteComponentInfo(kKey);
    internal.SetLanguageCodeLetter("d");
    internal.WriteComponentInfo(kKey);
    store->WriteString(kKey + "\\CI\\lower", "Company", "x");  // case-insensitive order
    WhileModal(
        [&] { internal.Execute(); },
        [&] {
          TPXInternalInfoDialog* d = InternalInfoDialog();
          QVERIFY(d != nullptr);
          QCOMPARE(d->windowTitle(), QString("Internal Infos"));
          QCOMPARE(d->size(), QSize(492, 320));
          QCOMPARE(d->Label1->text(),
                   QString("Die folgenden Komponenten wurden in diesem Programm verwendet :"));
          QCOMPARE(d->Label2->text(), QString("Component"));
          QCOMPARE(d->Label3->geometry(), QRect(160, 5, 300, 16));
          QStringList order;
          QList<int> ys;
          for (QLabel* l : d->ScrollContent->findChildren<QLabel*>("LabelComponent")) {
            order << l->text();
            ys << l->y();
          }
          QCOMPARE(order, (QStringList{"lower", "TPXAward", "TPXInternalInfo", "TPXStartScreenA"}));
          QCOMPARE(ys[0], 30);
          QCOMPARE(ys[1], 71);  // "lower" holds one value: rows 30 and 46
          QList<int> rows;
          for (QLabel* l : d->ScrollContent->findChildren<QLabel*>()) {
            if (l->objectName().startsWith("LabelValue") && l->y() >= 71 && l->y() < 176)
              rows << l->y();
          }
          std::sort(rows.begin(), rows.end());
          // The TPXAward block: three pairs of rows, the next block 25 pixels after the last.
          QCOMPARE(rows, (QList<int>{71, 87, 103, 119, 135, 151}));
          QCOMPARE(ys[2], 176);
          Shot(d, "internal");
        });
    SetComponentInfoStore(store_.get());
  }

  void internalInfoTwoComponentsThreeValues() {
    // Two components with three values each: rows 30..110, second block at 135.
    auto store = OpenUserSettings(dir_.path().toStdString() + "/example");
    SetComponentInfoStore(store.get());
    TPXStartScreenA splash;
    TPXAward award;
    splash.WriteComponentInfo(kKey);
    award.WriteComponentInfo(kKey);
    TPXInternalInfoDialog d;
    d.AssembleDisplay(kKey + "\\CI");
    QList<int> ys;
    for (QLabel* l : d.ScrollContent->findChildren<QLabel*>())
      if (l->objectName().startsWith("LabelValue") || l->objectName() == "LabelComponent")
        ys << l->y();
    std::sort(ys.begin(), ys.end());
    QCOMPARE(ys, (QList<int>{30, 30, 46, 62, 78, 94, 110, 135, 135, 151, 167, 183, 199, 215}));
    SetComponentInfoStore(store_.get());
  }

  void internalInfoWithoutData() {
    TPXInternalInfo internal;  // no WriteComponentInfo: empty path
    QVERIFY(internal.CIKeyPath().empty());
    WhileModal([&] { internal.Execute(); },
               [&] {
                 TPXInternalInfoDialog* d = InternalInfoDialog();
                 QCOMPARE(d->Label1->text(),
                          QString("The following components are included in this application :"));
                 QCOMPARE(d->ScrollContent->findChildren<QLabel*>().size(), 2);  // the headings
               });
    TPXInternalInfoDialog d;
    d.AssembleDisplay("Software\\Nobody\\Nothing\\CI");
    QCOMPARE(d.ScrollContent->findChildren<QLabel*>().size(), 2);
    SetComponentInfoStore(nullptr);
    d.AssembleDisplay(kKey + "\\CI");
    QCOMPARE(d.ScrollContent->findChildren<QLabel*>().size(), 2);
    SetComponentInfoStore(store_.get());
  }

  // ---- awards ----

  void awardLayoutForEachEntryShape() {
    const QString folder = AwardFixture();
    TPXAwardDialog d;
    d.SetPath(folder);
    d.AnzeigeAufbauen("info.ini", "E");
    const auto& items = d.Items();
    QCOMPARE(items.size(), std::size_t(5));
    // 1: title, text and button, no picture, at y = 5.
    QCOMPARE(items[0].TitleLabel->pos(), QPoint(5, 5));
    QCOMPARE(items[0].TitleLabel->text(), QString(" Best Splitter 2026"));
    QCOMPARE(items[0].TitleLabel->palette().color(QPalette::Window), QColor(Qt::black));
    QCOMPARE(items[0].TitleLabel->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    QVERIFY(items[0].Picture == nullptr);
    QCOMPARE(items[0].TextView->geometry(), QRect(5, 25, 380, 90));
    QCOMPARE(items[0].InfoButton->geometry(), QRect(395, 105, 70, 20));
    QCOMPARE(items[0].InfoButton->text(), QString("Info..."));
    QCOMPARE(items[0].InfoFile, QString("details.Htm"));
    QCOMPARE(items[0].Separator->geometry(), QRect(60, 125, 372, 3));
    // 2: title only, at 145; separator at 165.
    QCOMPARE(items[1].TitleLabel->y(), 145);
    QVERIFY(!items[1].Picture && !items[1].TextView && !items[1].InfoButton);
    QVERIFY(items[1].InfoFile.isEmpty());
    QCOMPARE(items[1].Separator->y(), 165);
    // 3: picture (40 x 30) and an RTF text with a button, at 185.
    QCOMPARE(items[2].Picture->geometry(), QRect(5, 185, 40, 30));
    QCOMPARE(items[2].TextView->y(), 225);
    QCOMPARE(items[2].InfoButton->y(), 305);
    QCOMPARE(items[2].Separator->y(), 325);
    // 4: a picture that cannot be read keeps the empty image size.
    QCOMPARE(items[3].Picture->geometry(), QRect(5, 345, 105, 105));
    QCOMPARE(items[3].Separator->y(), 460);
    // 5: the last entry, title only, gets no separator.
    QCOMPARE(items[4].TitleLabel->y(), 480);
    QVERIFY(items[4].Separator == nullptr);
    QVERIFY(d.ScrollContent->height() >= 500);

    // Plain text as is, rich text formatted.
    QCOMPARE(items[0].TextView->toPlainText(), QString("Plain <b>text</b> Grüße"));
    QCOMPARE(items[2].TextView->toPlainText(), QString("Gold medal\nfor splitting"));
    // Only what the rich text marks bold is bold, although the dialog's font is bold.
    const QTextBlock first = items[2].TextView->document()->firstBlock();
    QTextBlock::iterator it = first.begin();
    QCOMPARE(it.fragment().text(), QString("Gold"));
    QVERIFY(it.fragment().charFormat().font().bold());
    ++it;
    QCOMPARE(it.fragment().text(), QString(" medal"));
    const QFont base = items[2].TextView->document()->defaultFont();
    QVERIFY(!it.fragment().charFormat().font().resolve(base).bold());
    QVERIFY(items[0].TextView->font().bold());  // plain text keeps the view's font
    Shot(&d, "awards");
  }

  void awardLanguageLetterSelectsKeys() {
    const QString folder = AwardFixture();
    TPXAwardDialog d;
    d.SetPath(folder);
    d.AnzeigeAufbauen("info.ini", "D");
    const auto& items = d.Items();
    QCOMPARE(items.size(), std::size_t(5));
    // Entry 1 has a German title only; entry 3 keeps just its picture and separator.
    QCOMPARE(items[0].TitleLabel->text(), QString(" Bester Trenner 2026"));
    QVERIFY(items[0].TextView == nullptr && items[0].InfoButton == nullptr);
    QCOMPARE(items[0].Separator->y(), 25);
    QVERIFY(items[2].TitleLabel == nullptr && items[2].TextView == nullptr);
    QVERIFY(items[2].Picture != nullptr && items[2].Separator != nullptr);
  }

  void awardEmptyOrDamagedDescriptions() {
    QTemporaryDir folder;
    TPXAwardDialog none;
    none.SetPath(folder.path());
    none.AnzeigeAufbauen("info.ini", "E");  // no file
    QVERIFY(none.Items().empty());
    // No entries: a note says so, in the language of the letter, instead of an empty grey box.
    QVERIFY(none.LabelKeineEintraege != nullptr);
    QVERIFY(none.LabelKeineEintraege->isVisibleTo(&none));
    QVERIFY(none.LabelKeineEintraege->text().startsWith("No awards"));
    WriteFile(folder.path() + "/info.ini", "[COUNT]\nCOUNT=0\n");
    TPXAwardDialog zero;
    zero.SetPath(folder.path());
    zero.AnzeigeAufbauen("info.ini", "D");
    QVERIFY(zero.Items().empty());
    QVERIFY(zero.LabelKeineEintraege != nullptr);
    QVERIFY(zero.LabelKeineEintraege->text().contains("Auszeichnungen"));
    QCOMPARE(zero.LabelKeineEintraege->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    WriteFile(folder.path() + "/info.ini", "[count]\ncount=banana\n");
    TPXAwardDialog junk;
    junk.SetPath(folder.path());
    junk.AnzeigeAufbauen("info.ini", "E");
    QVERIFY(junk.Items().empty());
    WriteFile(folder.path() + "/info.ini", "[COUNT]\nCOUNT=2000000000\n");
    TPXAwardDialog huge;
    huge.SetPath(folder.path());
    huge.AnzeigeAufbauen("info.ini", "E");
    QCOMPARE(huge.Items().size(), std::size_t(kMaxAwardEntries));
    QVERIFY(huge.LabelKeineEintraege == nullptr);
    // The last entry shown is the last entry: no separator after it.
    QVERIFY(huge.Items().back().Separator == nullptr);
    QCOMPARE(huge.Items()[kMaxAwardEntries - 2].Separator->y(), 5 + (kMaxAwardEntries - 2) * 20);
  }

  // A document too long to lay out quickly is shown up to a limit, with a note that it was cut.
  void documentsAreCutToWhatCanBeShown() {
    QTextEdit view;
    const QString oneLine = dir_.path() + "/oneline.txt";
    WriteFile(oneLine, QByteArray(1 << 20, 'a'));
    QVERIFY(LoadDocument(view, oneLine));
    QCOMPARE(view.toPlainText(), QString(kMaxLineChars, 'a') + "\n" + DocumentCutNote("E"));

    const QString manyLines = dir_.path() + "/lines.txt";
    WriteFile(manyLines, QByteArray("line\n").repeated(kMaxShownLines + 1));
    QVERIFY(LoadDocument(view, manyLines, "D"));
    const QString shown = view.toPlainText();
    QVERIFY(shown.endsWith(DocumentCutNote("D")));
    QVERIFY(DocumentCutNote("D") != DocumentCutNote("E"));
    QCOMPARE(shown.count("line"), kMaxShownLines);

    // Millions of empty paragraphs: parsed and laid out only as far as they are shown.
    const QString paragraphs = dir_.path() + "/paragraphs.rtf";
    WriteFile(paragraphs, "{\\rtf1 " + QByteArray("\\par ").repeated(3000000) + "}");
    QVERIFY(LoadDocument(view, paragraphs));
    QVERIFY(view.toPlainText().endsWith(DocumentCutNote("E")));
    QVERIFY(view.document()->blockCount() <= kMaxShownLines + 2);

    // Exactly at the limits nothing is cut.
    WriteFile(manyLines, QByteArray("line\n").repeated(kMaxShownLines - 1) + "line");
    QVERIFY(LoadDocument(view, manyLines));
    QVERIFY(!view.toPlainText().contains(DocumentCutNote("E")));
    QCOMPARE(view.toPlainText().count("line"), kMaxShownLines);
  }

  void awardButtonsOpenDocuments() {
    const QString folder = AwardFixture();
    TPXAward award;
    award.SetPath(folder + "/");  // one trailing separator is dropped
    QCOMPARE(award.Path(), folder);
    shell_.opened.clear();
    QString viewerTitle, viewerText;
    bool viewerBold = false;
    WhileModal([&] { award.Execute(); },
               [&] {
                 TPXAwardDialog* d = AwardDialog();
                 QVERIFY(d != nullptr);
                 QCOMPARE(d->windowTitle(), QString("Awards"));
                 QCOMPARE(d->size(), QSize(492, 375));
                 QCOMPARE(d->LabelAward->Caption(), QString(" Awards "));
                 QCOMPARE(d->ScrollBox->geometry(), QRect(0, 64, 492, 251));
                 d->Items()[0].InfoButton->click();  // ".Htm": through the desktop
                 QTimer::singleShot(0, [&] {
                   TPXAwardDialog2* v = AwardDialog2();
                   viewerTitle = v->windowTitle();
                   viewerText = v->RichEdit->toPlainText();
                   viewerBold = v->RichEdit->document()
                                    ->firstBlock()
                                    .begin()
                                    .fragment()
                                    .charFormat()
                                    .fontWeight() >= QFont::Bold;
                   QCOMPARE(v->size(), QSize(626, 329));
                   QCOMPARE(v->ButtonPrint->text(), QString("Print"));
                   Shot(v, "award_viewer");
                   v->close();
                 });
                 d->Items()[2].InfoButton->click();  // ".rtf": in the viewer
               });
    QCOMPARE(shell_.opened, QList<QUrl>{QUrl::fromLocalFile(folder + "/details.Htm")});
    QCOMPARE(viewerTitle, QString("Award-Info"));
    QCOMPARE(viewerText, QString("The jury said: fast."));
    QVERIFY(viewerBold);
    QTRY_VERIFY(AwardDialog() == nullptr && AwardDialog2() == nullptr);

    TPXAward empty;
    empty.Execute();  // no folder: nothing is shown
    QVERIFY(AwardDialog() == nullptr);
  }

  void printing() {
    QTextDocument doc;
    doc.setPlainText(QString("line\n").repeated(200));  // more than one page
    const QString pdf = dir_.path() + "/out.pdf";
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    QCOMPARE(PrintDocument(doc, "Award-Info", printer), PrintResult::Printed);
    QCOMPARE(printer.docName(), QString("Award-Info"));
    QFile out(pdf);
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QByteArray bytes = out.readAll();
    QVERIFY(bytes.startsWith("%PDF"));
    QVERIFY(bytes.size() > 1000);

    if (!QPrinterInfo::defaultPrinter().isNull()) QSKIP("a default printer is installed");
    QCOMPARE(PrintDocument(doc, "Award-Info"), PrintResult::NoPrinter);
    // The viewer reports the missing printer instead of failing silently, in the language of
    // the awards screen.
    const auto reported = [&](const QString& letter) {
      QString text;
      QTimer::singleShot(0, [&] {
        TPXAwardDialog2* v = AwardDialog2();
        QTimer::singleShot(0, [&] {
          if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            box->close();
          }
        });
        v->ButtonPrint->click();
        v->close();
      });
      ShowAwardInfo(dir_.path() + "/none.txt", "Award-Info", kColorBlack, kColorBlue, letter);
      return text;
    };
    QVERIFY(reported("E").contains("printer"));
    QVERIFY(reported("D").contains("Standarddrucker"));
  }

 private:
  // An awards folder: five entries of different shapes.
  QString AwardFixture() {
    const QString folder = dir_.path() + "/award" + QString::number(++fixtures_);
    QDir().mkpath(folder);
    WriteFile(folder + "/info.ini",
              "; test awards\r\n[COUNT]\r\nCOUNT=5\r\n"
              "[1]\r\nTEXT1_E=Best Splitter 2026\r\nTEXT1_D=Bester Trenner 2026\r\n"
              "DirectShowTextFile_E=short.txt\r\nTEXTFILE_E=details.Htm\r\n"
              "[2]\r\nTEXT1_E=Runner-up\r\nGRAFIK=missing.png\r\n"
              "[3]\r\ngrafik=medal.bmp\r\nDIRECTSHOWTEXTFILE_E=short.rtf\r\nTEXTFILE_E=long.rtf\r\n"
              "[4]\r\nGRAFIK=broken.png\r\n"
              "[5]\r\nTEXT1_E=Last\r\nTEXTFILE_E=absent.rtf\r\n");
    WriteFile(folder + "/short.txt",
              "Plain <b>text</b> Gr\xFC\xDF"
              "e");
    WriteFile(folder + "/short.rtf", "{\\rtf1\\ansi {\\b Gold} medal\\par for splitting}");
    WriteFile(folder + "/long.rtf", "{\\rtf1 {\\b The jury} said: {\\i fast}.}");
    WriteFile(folder + "/details.Htm", "<html><body>x</body></html>");
    WriteFile(folder + "/broken.png", "not a picture");
    QImage medal(40, 30, QImage::Format_RGB32);
    medal.fill(QColor(200, 160, 40));
    medal.save(folder + "/medal.bmp", "BMP");
    return folder;
  }

  QTemporaryDir dir_;
  std::unique_ptr<SettingsStore> store_;
  FakeShell shell_;
  int fixtures_ = 0;
};

QTEST_MAIN(TestScreens)
#include "test_screens.moc"
