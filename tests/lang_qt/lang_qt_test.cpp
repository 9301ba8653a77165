// The language selection dialog, the settings store and the help viewer.
#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>

#include "lang/component.h"
#include "lang/languagedialog.h"
#include "platform/helpviewer.h"
#include "platform/modal_qt.h"
#include "platform/settings.h"

namespace pz {

namespace {

void WriteLanguage(const QString& path, const std::string& name, const std::string& letter,
                   const std::string& texts = "") {
  std::ofstream out(path.toStdString(), std::ios::binary);
  out << name << "\r\n" << letter << "\r\n\r\n0\r\n" << texts;
}

// Answers the next modal dialog: clicks the named button once the dialog is up.
void ClickLater(const QString& buttonName, const QString& radioText = "") {
  QTimer::singleShot(0, [=] {
    QWidget* w = QApplication::activeModalWidget();
    QVERIFY(w != nullptr);
    if (!radioText.isEmpty()) {
      for (auto* r : w->findChildren<QRadioButton*>()) {
        if (r->text() == radioText) r->click();
      }
    }
    auto* b = w->findChild<QPushButton*>(buttonName);
    QVERIFY(b != nullptr);
    b->click();
  });
}

class Component : public TPXComponent {
 public:
  const char* ClassName() const override { return "TPXTest"; }
  const char* Version() const override { return "9.9"; }
  const char* LastCompile() const override { return "01.01.2001"; }
};

}  // namespace

class LangQtTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QVERIFY(dir_.isValid());
    folder_ = dir_.path() + "/lang" + QString::number(counter_++);
    QDir().mkpath(folder_);
  }

  void entriesAreSortedByNameAndPreselectedIgnoringCase() {
    WriteLanguage(folder_ + "/b.lng", "Deutsch", "D");
    WriteLanguage(folder_ + "/a.lng", "English", "E");
    WriteLanguage(folder_ + "/c.lng", "Nederlands", "N");
    QFile::copy(QFINDTESTDATA("../../data/language_parzello/Deutsch.bmp"), folder_ + "/b.bmp");
    TLanguageDialog d;
    d.BuildScreen(folder_, "DEUTSCH");
    QCOMPARE(int(d.Entries().size()), 3);
    const int ys[] = {10, 50, 90};
    const char* names[] = {"English", "Deutsch", "Nederlands"};
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(d.Entries()[i].Button->geometry(), QRect(50, ys[i], 240, 24));
      QCOMPARE(d.Entries()[i].Flag->geometry(), QRect(10, ys[i], 32, 24));
      QCOMPARE(d.Entries()[i].Button->text(), QString(names[i]));
    }
    QVERIFY(d.Entries()[1].Button->isChecked());
    QCOMPARE(d.SelectedFile(), QString("b.lng"));
    QVERIFY(!d.Entries()[1].Flag->pixmap().isNull());
    QVERIFY(d.Entries()[0].Flag->pixmap().isNull());
    d.Entries()[2].Button->click();
    QCOMPARE(d.SelectedFile(), QString("c.lng"));
  }

  void nothingLoadedSelectsTheFirstAndConfirmingLoadsIt() {
    QLocale::setDefault(QLocale::c());
    WriteLanguage(folder_ + "/English.lng", "English", "E", "31,Start\r\n");
    WriteLanguage(folder_ + "/Deutsch.lng", "Deutsch", "D", "31,Ausf\xFChren\r\n");
    TPXLanguage lang;
    lang.SetPath(folder_.toStdString());
    ClickLater("ButtonOK");
    QVERIFY(RunLanguageDialog(lang));
    QCOMPARE(QString::fromStdString(lang.FileName()), QString("Deutsch.lng"));
    QCOMPARE(QString::fromStdString(lang.GetText(31)), QString::fromUtf8("Ausf\xC3\xBChren"));

    ClickLater("ButtonOK", "English");
    QVERIFY(RunLanguageDialog(lang));
    QCOMPARE(QString::fromStdString(lang.CodeLetter()), QString("E"));

    ClickLater("ButtonCancel", "Deutsch");
    QVERIFY(!RunLanguageDialog(lang));
    QCOMPARE(QString::fromStdString(lang.FileName()), QString("English.lng"));
  }

  // The first start offers the language of the user's locale; one without a file of its own
  // gets the first entry.
  void nothingLoadedPreselectsTheLocalesLanguage() {
    WriteLanguage(folder_ + "/Deutsch.lng", "Deutsch", "D");
    WriteLanguage(folder_ + "/English.lng", "English", "E");
    const std::pair<const char*, const char*> cases[] = {
        {"de_DE", "Deutsch.lng"}, {"de_AT", "Deutsch.lng"}, {"en_GB", "English.lng"},
        {"en_US", "English.lng"}, {"fr_FR", "Deutsch.lng"}, {"C", "Deutsch.lng"}};
    for (const auto& [locale, file] : cases) {
      QLocale::setDefault(QLocale(locale));
      TLanguageDialog d;
      d.BuildScreen(folder_, "");
      QCOMPARE(d.SelectedFile(), QString(file));
      const auto checked = std::count_if(d.Entries().begin(), d.Entries().end(),
                                         [](const auto& e) { return e.Button->isChecked(); });
      QCOMPARE(checked, 1);
    }
    QLocale::setDefault(QLocale::c());
  }

  void dialogIsCentredOnTheScreenNotOverItsParent() {
    WriteLanguage(folder_ + "/English.lng", "English", "E");
    TPXLanguage lang;
    lang.SetPath(folder_.toStdString());
    QWidget parent;
    parent.setGeometry(0, 0, 200, 100);
    parent.show();
    QPoint offset(1000, 1000);
    QTimer::singleShot(0, [&] {
      QWidget* w = QApplication::activeModalWidget();
      QVERIFY(w != nullptr);
      offset = w->frameGeometry().center() - w->screen()->availableGeometry().center();
      w->findChild<QPushButton*>("ButtonCancel")->click();
    });
    QVERIFY(!RunLanguageDialog(lang, &parent));
    QVERIFY2(offset.manhattanLength() <= 4,
             qPrintable(QString("off by %1, %2").arg(offset.x()).arg(offset.y())));
  }

  // The language choice is run the one way every modal dialog is, so a test hook reaches it.
  void languageChoiceRunsThroughTheOneModalPath() {
    WriteLanguage(folder_ + "/English.lng", "English", "E");
    TPXLanguage lang;
    lang.SetPath(folder_.toStdString());
    int hooked = 0;
    pz::SetDialogHook([&](QDialog& d) {
      ++hooked;
      d.findChild<QPushButton*>("ButtonOK")->click();
    });
    QTimer::singleShot(0, [] {  // ends a dialog that bypassed the hook
      if (QWidget* w = QApplication::activeModalWidget())
        w->findChild<QPushButton*>("ButtonCancel")->click();
    });
    const bool chosen = RunLanguageDialog(lang);
    pz::SetDialogHook(nullptr);
    QCoreApplication::processEvents();  // the fallback finds no dialog now
    QCOMPARE(hooked, 1);
    QVERIFY(chosen);
    QCOMPARE(QString::fromStdString(lang.FileName()), QString("English.lng"));
  }

  void unmatchedOrEmptyFolderSelectsNothing() {
    WriteLanguage(folder_ + "/x.lng", "Xhosa", "X");
    TLanguageDialog d;
    d.BuildScreen(folder_, "Klingon");
    QVERIFY(!d.Entries()[0].Button->isChecked());
    QVERIFY(d.SelectedFile().isEmpty());

    TPXLanguage lang;
    lang.SetPath((dir_.path() + "/empty").toStdString());
    ClickLater("ButtonOK");
    QVERIFY(RunLanguageDialog(lang));
    QVERIFY(lang.FileName().empty());
    QCOMPARE(lang.TextCount(), 0);
  }

  void dialogCaptionsFollowTheDialogLanguage() {
    TLanguageDialog d;
    QCOMPARE(d.size(), QSize(318, 349));
    d.SetDialogLanguage(TLangDialog::English);
    QCOMPARE(d.windowTitle(), QString("Choose language"));
    QCOMPARE(d.ButtonCancel()->text(), QString("Cancel"));
    d.SetDialogLanguage(TLangDialog::Deutsch);
    QCOMPARE(d.windowTitle(), QString::fromUtf8("Sprache w\xC3\xA4hlen"));
    QCOMPARE(d.ButtonCancel()->text(), QString("Abbruch"));
  }

  void settingsStoreRoundTripInATemporaryFolder() {
    auto store = OpenUserSettings(dir_.path().toStdString());
    QVERIFY(store != nullptr);
    const std::string key = "Software\\Pellimorex\\PX-Parzello";
    QVERIFY(!store->ReadString(key + "\\Settings", "Size").has_value());
    QVERIFY(store->WriteString(key + "\\Settings", "Size", "3"));
    QVERIFY(store->WriteString(key + "\\Settings", "UserSize", "a b, c=d"));
    QCOMPARE(store->ReadString(key + "\\Settings", "Size").value_or(""), std::string("3"));
    QCOMPARE(store->ReadString(key + "\\Settings\\", "UserSize").value_or(""),
             std::string("a b, c=d"));
    QVERIFY(QFileInfo::exists(dir_.path() + "/Pellimorex/PX-Parzello.ini"));
    QVERIFY(store->KeyExists(key + "\\Settings"));
    QVERIFY(!store->KeyExists(key + "\\Language"));

    // Components record themselves under CI; a trailing backslash names the same key.
    SetComponentInfoStore(store.get());
    Component c;
    c.WriteComponentInfo(key + "\\");
    SetComponentInfoStore(nullptr);
    const auto subKeys = store->SubKeys(key + "\\CI");
    QCOMPARE(subKeys, std::vector<std::string>{"TPXTest"});
    QCOMPARE(store->ReadString(key + "\\CI\\TPXTest", "Company").value_or(""),
             std::string("Pellimorex"));
    QCOMPARE(store->ReadString(key + "\\CI\\TPXTest", "Last Change").value_or(""),
             std::string("01.01.2001"));
    QCOMPARE(store->ValueNames(key + "\\CI\\TPXTest").size(), size_t(3));

    // Without a store nothing is written and nothing fails.
    c.WriteComponentInfo(key);
  }

  void componentLanguageLetter() {
    Component c;
    QCOMPARE(QString::fromStdString(c.LanguageCodeLetter()), QString("E"));
    c.SetLanguageCodeLetter("d");
    QCOMPARE(QString::fromStdString(c.LanguageCodeLetter()), QString("D"));
    c.SetLanguageCodeLetter("x");
    QCOMPARE(QString::fromStdString(c.LanguageCodeLetter()), QString("E"));
    TPXLanguage lang;
    WriteLanguage(folder_ + "/n.lng", "N", "N");
    lang.SetPath(folder_.toStdString());
    lang.SetFileName("n.lng");
    c.SetLanguage(&lang);
    c.SetLanguageCodeLetter("D");
    QCOMPARE(QString::fromStdString(c.LanguageCodeLetter()), QString("N"));
    QVERIFY(!c.German());
    c.SetCIVersion("0.0");
    QCOMPARE(QString::fromStdString(c.CIVersion()), QString("9.9"));
  }

  // The help window lies wholly on the screen, with room for its frame, also on small screens
  // and on a second screen.
  void helpWindowFitsTheScreen() {
    const QRect screens[] = {{0, 0, 1920, 1080},
                             {0, 0, 1024, 600},
                             {0, 0, 800, 480},
                             {1920, 0, 1366, 768},
                             {0, 32, 1280, 700}};
    for (const QRect& available : screens) {
      const QRect rect = HelpWindowRect(available, QSize(640, 560));
      QVERIFY(available.adjusted(30, 30, -30, -30).contains(rect));
      QCOMPARE(rect.center(), available.center());
      QCOMPARE(rect.width(), std::min(640, available.width() - 80));
    }
  }

  void helpViewerOpensJumpsAndCloses() {
    HelpViewer viewer;
    QVERIFY(!viewer.OpenContents(dir_.path() + "/missing.hlp"));
    const QString help = QFINDTESTDATA("../../data/help_parzello/Parzello_E.hlp");
    QVERIFY(viewer.OpenContents(help));
    QVERIFY(viewer.IsOpen());
    QVERIFY(viewer.Window()->toPlainText().contains("Parzello"));
    const QRect screen = viewer.Window()->screen()->availableGeometry();
    QVERIFY(screen.contains(viewer.Window()->geometry()));
    viewer.JumpToTopic("Inhalt");
    viewer.Close();
    QCoreApplication::processEvents();
    QVERIFY(!viewer.IsOpen());
  }

 private:
  QTemporaryDir dir_;
  QString folder_;
  int counter_ = 0;
};

}  // namespace pz

QTEST_MAIN(pz::LangQtTest)
#include "lang_qt_test.moc"
