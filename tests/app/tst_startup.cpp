// The program as a user meets it from start to end: the settings that survive a restart, the
// first start with its language choice, the texts of a language on the window, the help file of
// the language, the maker's screens behind the menu, and what closing leaves behind.
#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/hauptformular.h"
#include "controls/linklabel.h"
#include "engine/segments.h"
#include "lang/languagedialog.h"
#include "platform/os.h"
#include "screens/award.h"
#include "screens/infoscreen.h"
#include "screens/startscreen.h"
#include "test_support_qt.h"

using namespace pztest;
using pz::THauptformular;

namespace {

const std::string kKey = pz::kSettingsKey;

// A language file whose blocks read "T<number>", for the given blocks.
QByteArray NumberedLanguage(const QByteArray& name, const QByteArray& letter,
                            const std::vector<int>& blocks) {
  QByteArray bytes = name + "\r\n" + letter + "\r\nTest\r\n1\r\n";
  for (int b : blocks) bytes += QByteArray::number(b) + ",T" + QByteArray::number(b) + "\r\n";
  return bytes;
}

std::vector<int> Blocks(int from, int to, int without = -1) {
  std::vector<int> out;
  for (int b = from; b <= to; ++b) {
    if (b != without) out.push_back(b);
  }
  return out;
}

// A help file whose topic "Inhalt" lies far below its top, so that a jump to it scrolls.
QByteArray HelpFile(const QByteArray& marker) {
  QByteArray html = "<html><body><h1>" + marker + "</h1>";
  for (int i = 0; i < 200; ++i) html += "<p>Zeile " + QByteArray::number(i) + "</p>";
  return html + "<h2 id=\"Inhalt\">Inhalt</h2><p>Ende</p></body></html>";
}

// Answers waiting for their modal window; a test that fails early leaves its answers here, and
// they must not answer the next test's windows.
std::vector<QPointer<QTimer>> g_pendingAnswers;

void DropPendingAnswers() {
  for (const QPointer<QTimer>& timer : g_pendingAnswers) delete timer.data();
  g_pendingAnswers.clear();
}

// Answers the next modal window once it is up (the window is passed to the answer).
void AnswerNextModal(const std::function<void(QWidget*)>& answer) {
  auto* timer = new QTimer;
  g_pendingAnswers.emplace_back(timer);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    timer->stop();
    timer->deleteLater();
    answer(modal);
  });
  timer->start();
}

// Picks a language file in the selection dialog and confirms, or cancels with an empty name.
void ChooseLanguage(const QString& file, int* shown = nullptr, QString* preselected = nullptr) {
  AnswerNextModal([=](QWidget* modal) {
    auto* dialog = qobject_cast<pz::TLanguageDialog*>(modal);
    if (dialog == nullptr) qFatal("expected the language dialog");
    if (shown != nullptr) ++*shown;
    if (preselected != nullptr) *preselected = dialog->SelectedFile();
    if (file.isEmpty()) {
      dialog->ButtonCancel()->click();
      return;
    }
    for (const pz::TLanguageEntry& entry : dialog->Entries()) {
      if (entry.LanguageFile == file) entry.Button->click();
    }
    dialog->ButtonOK()->click();
  });
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> program_;
  std::unique_ptr<QTemporaryDir> config_;
  std::unique_ptr<MessageRecorder> messages_;
  std::unique_ptr<THauptformular> w_;

  QString Program(const QString& relative) { return program_->path() + "/" + relative; }
  std::unique_ptr<pz::SettingsStore> Store() {
    return pz::OpenUserSettings(config_->path().toStdString());
  }
  std::string Stored(const char* section, const char* name) {
    return Store()->ReadString(kKey + "\\" + section, name).value_or("<none>");
  }
  void Store(const char* section, const char* name, const std::string& value) {
    QVERIFY(Store()->WriteString(kKey + "\\" + section, name, value));
  }
  QString T(std::uint16_t block) { return QString::fromStdString(w_->Language().GetText(block)); }

  void Open() {
    w_ = std::make_unique<THauptformular>(program_->path().toStdString());
    w_->show();
    QCoreApplication::processEvents();  // the start-up work follows the showing
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
  }
  void Reopen() {
    w_->close();
    w_.reset();
    Open();
  }

 private slots:
  void init() {
    // The first start preselects the locale's language; these tests expect the first file.
    QLocale::setDefault(QLocale::c());
    program_ = std::make_unique<QTemporaryDir>();
    config_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", config_->path().toUtf8());
    QDir program(program_->path());
    for (const char* folder : {pz::kLanguageFolder, pz::kHelpFolder, pz::kGraphicsFolder,
                               pz::kAwardFolder, pz::kTempFolder}) {
      program.mkdir(folder);
    }
    for (const char* file : {"Deutsch.lng", "Deutsch.bmp", "English.lng", "English.bmp"}) {
      QFile::copy(QString(PZ_DATA_DIR "/language_parzello/") + file,
                  Program("language_parzello/") + file);
    }
    QFile::copy(PZ_DATA_DIR "/graphics_parzello/Start.bmp", Program("graphics_parzello/Start.bmp"));
    QFile::copy(PZ_DATA_DIR "/award_parzello/info.ini", Program("award_parzello/info.ini"));
    WriteFile(Program("help_parzello/Parzello_D.hlp"), HelpFile("Deutsche Hilfe"));
    WriteFile(Program("help_parzello/Parzello_E.hlp"), HelpFile("English help"));
    messages_ = std::make_unique<MessageRecorder>();
  }

  void cleanup() {
    DropPendingAnswers();
    w_.reset();
    delete pz::StartScreenFormular();
    messages_.reset();
  }

  void firstStartAsksForTheLanguageAndCancellingLoadsGerman() {
    QVERIFY(!Store()->KeyExists(kKey));
    int shown = 0;
    QString preselected;
    ChooseLanguage("", &shown, &preselected);
    Open();
    QCOMPARE(shown, 1);
    // Nothing loaded yet, in a locale without a file of its own: the first file is preselected.
    QCOMPARE(preselected, QString("Deutsch.lng"));
    QCOMPARE(Stored("InstallPath", "Path"), program_->path().toStdString());
    QVERIFY(w_->RadioTrennen->isChecked());
    QVERIFY(w_->Radio144->isChecked());
    QCOMPARE(w_->TrennGroesse(), pz::PresetBytes(pz::SizePreset::Floppy144));
    QCOMPARE(w_->EditHand->text(), QString());
    QVERIFY(!w_->CheckKomprimieren->isChecked() && !w_->CheckLoeschen->isChecked() &&
            !w_->CheckPasswort->isChecked());
    QVERIFY(w_->RadioStark->isChecked());
    QCOMPARE(w_->Language().FileName(), std::string("Deutsch.lng"));
    QCOMPARE(w_->ButtonBeenden->text(), QString("Beenden"));
    QCOMPARE(w_->RadioTrennen->text(), T(11));
    QVERIFY(messages_->messages.empty());

    // The choice is remembered: the next start asks no more.
    Reopen();
    QCOMPARE(shown, 1);
    QCOMPARE(Stored("Language", "File"), std::string("Deutsch.lng"));
  }

  void firstStartWithAChosenLanguage() {
    ChooseLanguage("English.lng");
    Open();
    QCOMPARE(w_->Language().FileName(), std::string("English.lng"));
    QCOMPARE(w_->Language().CodeLetter(), std::string("E"));
    QCOMPARE(w_->MenuDatei->title(), QString("File"));
    QCOMPARE(w_->ButtonBeenden->text(), T(32));
    QCOMPARE(w_->HelpFile(), Program("help_parzello/Parzello_E.hlp").toStdString());
    w_->close();
    QCOMPARE(Stored("Language", "File"), std::string("English.lng"));
  }

  void settingsRoundTrip() {
    Store("Language", "File", "Deutsch.lng");
    Open();
    w_->Radio720->click();
    w_->EditHand->setText("4096");
    w_->CheckKomprimieren->click();
    w_->RadioSchwach->click();
    w_->CheckLoeschen->click();
    w_->CheckPasswort->click();
    w_->MenuJoiner->trigger();
    w_->RadioZusammenfuehren->click();
    ChooseLanguage("English.lng");
    w_->MenuSpracheClick();
    // Nothing is stored during the run.
    QCOMPARE(Stored("Settings", "Action"), std::string("<none>"));
    w_->ButtonBeenden->click();
    QVERIFY(w_->Einstellungen() == nullptr);
    QCOMPARE(Stored("Settings", "Action"), std::string("1"));
    QCOMPARE(Stored("Settings", "Size"), std::string("3"));
    QCOMPARE(Stored("Settings", "UserSize"), std::string("4096"));
    QCOMPARE(Stored("Settings", "Compress"), std::string("1"));
    QCOMPARE(Stored("Settings", "Delete"), std::string("1"));
    QCOMPARE(Stored("Settings", "Password"), std::string("1"));
    QCOMPARE(Stored("Settings", "Compression"), std::string("1"));
    QCOMPARE(Stored("Settings", "Joiner"), std::string("1"));
    QCOMPARE(Stored("Language", "File"), std::string("English.lng"));

    w_.reset();
    Open();
    QVERIFY(w_->MenuJoiner->isChecked());
    QCOMPARE(w_->MenuJoiner->text(), QString::fromStdString(w_->Language().GetText(301)));
    QVERIFY(w_->RadioZusammenfuehren->isChecked());
    QCOMPARE(w_->LabelTrennDatei->Caption(), T(8) + " :");
    QVERIFY(w_->Radio720->isChecked());
    QCOMPARE(w_->EditHand->text(), QString("4096"));
    // Join mode shows the options of the set, none yet; the stored ones are the split's.
    QVERIFY(!w_->CheckKomprimieren->isChecked() && !w_->CheckLoeschen->isChecked() &&
            !w_->CheckPasswort->isChecked());
    QVERIFY(w_->RadioSchwach->isChecked());
    QCOMPARE(w_->Language().FileName(), std::string("English.lng"));
    QCOMPARE(w_->RadioTrennen->text(), QString::fromStdString(w_->Language().GetText(11)));

    // Back to the other values, this time closing with F10.
    w_->RadioTrennen->click();
    QVERIFY(w_->CheckKomprimieren->isChecked() && w_->CheckLoeschen->isChecked() &&
            w_->CheckPasswort->isChecked());
    w_->RadioStark->click();
    w_->CheckKomprimieren->click();
    w_->RadioHand->click();
    w_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
    QTest::keyClick(w_.get(), Qt::Key_F10);
    QVERIFY(!w_->isVisible());
    QCOMPARE(Stored("Settings", "Action"), std::string("0"));
    QCOMPARE(Stored("Settings", "Size"), std::string("7"));
    QCOMPARE(Stored("Settings", "Compress"), std::string("0"));
    QCOMPARE(Stored("Settings", "Compression"), std::string("0"));
    w_.reset();
    Open();
    QVERIFY(w_->RadioTrennen->isChecked() && w_->RadioHand->isChecked());
    QCOMPARE(w_->TrennGroesse(), 4096);
  }

  void storedValuesAtTheirEdges() {
    Store("Language", "File", "Deutsch.lng");
    Store("Settings", "Size", "8");
    Store("Settings", "Compress", "ja");
    Store("Settings", "Delete", "-1");
    Store("Settings", "Compression", "2");
    Open();
    // No size button: the size stays at one byte, so every split is refused.
    for (QRadioButton* r : {w_->Radio144, w_->Radio12, w_->Radio720, w_->Radio360, w_->Radio100,
                            w_->RadioAuto, w_->RadioHand}) {
      QVERIFY(!r->isChecked());
    }
    QCOMPARE(w_->TrennGroesse(), 1);
    QVERIFY(!w_->CheckKomprimieren->isChecked());
    QVERIFY(w_->CheckLoeschen->isChecked());
    QVERIFY(w_->RadioSchwach->isChecked());
    QTemporaryDir work;
    WriteFile(work.path() + "/quelle.bin", QByteArray(100, 'x'));
    w_->EditTrennDatei->setText(work.path() + "/quelle.bin");
    QCOMPARE(w_->LabelTrennungen2->text(), QString("1124"));
    w_->EditZielPfad->setText(work.path());
    w_->EditZielName->setText("teil");
    w_->ButtonAusfuehren->click();
    QCOMPARE(messages_->Texts(), QStringList{T(45)});

    // Leaving without a size button keeps the stored size.
    w_->close();
    QCOMPARE(Stored("Settings", "Size"), std::string("8"));
    QCOMPARE(Stored("Settings", "Compress"), std::string("0"));
    QCOMPARE(Stored("Settings", "Delete"), std::string("1"));

    Store("Settings", "Action", "2");
    Store("Settings", "Size", "zwei");
    w_.reset();
    Open();
    QVERIFY(w_->RadioZusammenfuehren->isChecked());
    QCOMPARE(w_->LabelTrennDatei->Caption(), T(8) + " :");
    QVERIFY(!w_->GroupTrennGroesse->isEnabled());
    // Letters read as the default size.
    QVERIFY(w_->Radio144->isChecked());
  }

  void sizeAlreadyShownByTheFormIsApplied() {
    // Every value matches what the form shows: no handler reports a change, yet the segment
    // size must follow the selected button.
    Store("Language", "File", "Deutsch.lng");
    Store("Settings", "Action", "0");
    Store("Settings", "Size", "1");
    Store("Settings", "UserSize", "350000000");
    Open();
    QVERIFY(w_->Radio144->isChecked());
    QCOMPARE(w_->TrennGroesse(), pz::PresetBytes(pz::SizePreset::Floppy144));
  }

  void storeThatCannotBeOpenedKeepsTheDefaults() {
    // The configuration folder is a file: nothing can be created below it.
    const QString blocked = config_->path() + "/blockiert";
    WriteFile(blocked, "x");
    qputenv("XDG_CONFIG_HOME", blocked.toUtf8());
    int shown = 0;
    ChooseLanguage("", &shown);
    Open();
    QVERIFY(w_->Einstellungen() == nullptr);
    QCOMPARE(w_->EditHand->text(), QString("350000000"));
    QCOMPARE(w_->Language().TextCount(), 0);
    QCOMPARE(w_->RadioTrennen->text(), QString("Datei trennen"));
    QCOMPARE(w_->TrennGroesse(), pz::PresetBytes(pz::SizePreset::Floppy144));
    QCOMPARE(shown, 0);
    // The language component works without the store: the pending answer goes to the menu's
    // dialog.
    w_->MenuSpracheClick();
    QCOMPARE(shown, 1);
    w_->close();
    QVERIFY(messages_->messages.empty());
  }

  void textsOfTheLanguageOnTheWindow() {
    WriteFile(Program("language_parzello/Voll.lng"), NumberedLanguage("Voll", "E", Blocks(1, 32)));
    WriteFile(Program("language_parzello/Ohne31.lng"),
              NumberedLanguage("Ohne31", "E", Blocks(1, 32, 31)));
    WriteFile(Program("language_parzello/Kopf.lng"), NumberedLanguage("Kopf", "E", {}));
    Store("Language", "File", "Voll.lng");
    Open();
    const auto title = [](QMenu* m) { return m->title(); };
    QCOMPARE(title(w_->MenuDatei), QString("T1"));
    QCOMPARE(title(w_->MenuHilfe), QString("T2"));
    QCOMPARE(w_->MenuSprache->text(), QString("T3..."));
    QCOMPARE(w_->MenuBeenden->text(), QString("T4"));
    QCOMPARE(w_->MenuInhalt->text(), QString("T5..."));
    QCOMPARE(w_->MenuInfo->text(), QString("T6..."));
    QCOMPARE(w_->MenuAwards->text(), QString("&Awards..."));
    QCOMPARE(w_->LabelTrennDatei->Caption(), QString("T7 :"));
    QCOMPARE(w_->LabelAktion->Caption(), QString("T9 :"));
    QCOMPARE(w_->LabelZiel->Caption(), QString("T10 :"));
    QCOMPARE(w_->GroupTrennGroesse->title(), QString("T13"));
    QCOMPARE(w_->GroupOptionen->title(), QString("T14"));
    const std::pair<QAbstractButton*, int> buttons[] = {
        {w_->RadioTrennen, 11},     {w_->RadioZusammenfuehren, 12},
        {w_->Radio144, 15},         {w_->Radio12, 16},
        {w_->Radio720, 17},         {w_->Radio360, 18},
        {w_->Radio100, 19},         {w_->RadioAuto, 20},
        {w_->RadioHand, 21},        {w_->CheckKomprimieren, 22},
        {w_->RadioStark, 23},       {w_->RadioSchwach, 24},
        {w_->CheckLoeschen, 25},    {w_->CheckPasswort, 26},
        {w_->ButtonAusfuehren, 31}, {w_->ButtonBeenden, 32}};
    for (const auto& [button, block] : buttons) {
      QCOMPARE(button->text(), QString("T%1").arg(block));
    }
    QCOMPARE(w_->LabelDateiGroesse->text(), QString("T27 :"));
    QCOMPARE(w_->LabelTrennungen->text(), QString("T28 :"));
    QCOMPARE(w_->LabelZielPfad->text(), QString("T29 :"));
    QCOMPARE(w_->LabelZielName->text(), QString("T30 :"));
    QCOMPARE(w_->Label1->text(), QString("Bytes"));
    QCOMPARE(w_->ButtonZiel->text(), QString("..."));
    QCOMPARE(w_->StatusPanels[0]->text(), QString("Version 1.2"));

    // A file without block 31 leaves the execute button without caption.
    ChooseLanguage("Ohne31.lng");
    w_->MenuSpracheClick();
    QCOMPARE(w_->ButtonAusfuehren->text(), QString());
    QCOMPARE(w_->ButtonBeenden->text(), QString("T32"));

    // Join mode takes block 8.
    ChooseLanguage("Voll.lng");
    w_->RadioZusammenfuehren->click();
    w_->MenuSpracheClick();
    QCOMPARE(w_->LabelTrennDatei->Caption(), QString("T8 :"));
    QCOMPARE(w_->ButtonAusfuehren->text(), QString("T31"));

    // Header lines only: the captions stay as they were.
    ChooseLanguage("Kopf.lng");
    w_->MenuSpracheClick();
    QCOMPARE(w_->Language().TextCount(), 0);
    QCOMPARE(w_->ButtonAusfuehren->text(), QString("T31"));
    QCOMPARE(w_->MenuDatei->title(), QString("T1"));
    QCOMPARE(w_->LabelZielName->text(), QString("T30 :"));

    // Cancelling changes nothing.
    ChooseLanguage("");
    w_->MenuSpracheClick();
    QCOMPARE(w_->Language().FileName(), std::string("Kopf.lng"));
  }

  void helpFileFollowsTheLanguage() {
    QCOMPARE(pz::Sprachkennung_Einfuegen("Parzello.hlp", "D"), std::string("Parzello_D.hlp"));
    QCOMPARE(pz::Sprachkennung_Einfuegen("a.b.c", "E"), std::string("a_E.b.c"));
    QCOMPARE(pz::Sprachkennung_Einfuegen("Hilfe", "E"), std::string("Hilfe_E"));

    WriteFile(Program("language_parzello/Francais.lng"),
              NumberedLanguage("Francais", "F", Blocks(1, 32)));
    Store("Language", "File", "English.lng");
    Open();
    QCOMPARE(w_->HelpFile(), Program("help_parzello/Parzello_E.hlp").toStdString());

    // A language without a help file keeps the previous one.
    ChooseLanguage("Francais.lng");
    w_->MenuSpracheClick();
    QCOMPARE(w_->Language().CodeLetter(), std::string("F"));
    QCOMPARE(w_->HelpFile(), Program("help_parzello/Parzello_E.hlp").toStdString());
    ChooseLanguage("Deutsch.lng");
    w_->MenuSpracheClick();
    QCOMPARE(w_->HelpFile(), Program("help_parzello/Parzello_D.hlp").toStdString());

    // The contents command opens the file and jumps to its topic.
    w_->MenuInhalt->trigger();
    QTextBrowser* viewer = w_->Help().Window();
    QVERIFY(viewer != nullptr);
    QVERIFY(viewer->isVisible());
    QVERIFY(viewer->toPlainText().startsWith("Deutsche Hilfe"));
    QTRY_VERIFY(viewer->verticalScrollBar()->value() > 0);

    // Closing the program closes the viewer.
    w_->close();
    QVERIFY(!w_->Help().IsOpen());
  }

  // In each language no letter marks two items of one menu, so that Alt and the letter reach
  // one command; F1 opens the help, F10 stays the way out.
  void keyboardOfTheMenus() {
    for (const char* file : {"Deutsch.lng", "English.lng"}) {
      Store("Language", "File", file);
      Open();
      for (QMenu* menu : {w_->MenuDatei, w_->MenuHilfe}) {
        QString letters;
        for (const QAction* action : menu->actions()) {
          const QString text = action->text();
          const qsizetype amp = text.indexOf('&');
          if (amp >= 0 && amp + 1 < text.size()) letters += text.at(amp + 1).toUpper();
        }
        for (const QChar letter : letters) {
          QVERIFY2(letters.count(letter) == 1,
                   qPrintable(QString("%1, %2: %3").arg(file, menu->title(), letters)));
        }
      }
      QCOMPARE(w_->MenuBeenden->shortcut(), QKeySequence(Qt::Key_F10));
      w_->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(w_.get()));
      QTest::keyClick(w_.get(), Qt::Key_F1);
      QVERIFY2(w_->Help().IsOpen(), file);
      w_->close();
      w_.reset();
    }
  }

  void withoutHelpFileTheContentsCommandDoesNothing() {
    QDir(Program("help_parzello")).removeRecursively();
    Store("Language", "File", "Deutsch.lng");
    Open();
    QCOMPARE(w_->HelpFile(), std::string());
    w_->MenuInhaltClick();
    QVERIFY(w_->Help().Window() == nullptr);
  }

  void componentsRecordThemselvesAndTheSplashShows() {
    Store("Language", "File", "Deutsch.lng");
    Open();
    const auto ci = [&](const char* cls, const char* name) {
      return Store()->ReadString(kKey + "\\CI\\" + cls, name).value_or("<none>");
    };
    const std::pair<const char*, std::pair<const char*, const char*>> recorded[] = {
        {"TPXLanguage", {"1.06", "21.08.2000"}},
        {"TPXAward", {"1.03", "01.02.2000"}},
        {"TPXInternalInfo", {"2.0", "05.02.2000"}},
        {"TPXStartScreenA", {"1.02", "01.02.2000"}}};
    for (const auto& [cls, info] : recorded) {
      QCOMPARE(ci(cls, "Company"), std::string("Pellimorex"));
      QCOMPARE(ci(cls, "Version"), std::string(info.first));
      QCOMPARE(ci(cls, "Last Change"), std::string(info.second));
    }
    // The information screen records itself when it is opened.
    QCOMPARE(ci("TPXInfoScreenA", "Version"), std::string("<none>"));

    pz::TStartScreenFormular* splash = pz::StartScreenFormular();
    QVERIFY(splash != nullptr && splash->isVisible());
    QCOMPARE(splash->LabelCompany->Caption(), QString("Tarnwick"));
    QCOMPARE(splash->LabelProgramName->Caption(), QString("PX-Parzello"));
    QVERIFY(splash->LabelVersion->Caption().contains("1.2"));
    QCOMPARE(splash->LabelVersionFor->text(), QString::fromUtf8(pz::kPlatformLine));
    QVERIFY(splash->LabelCopyright->text().contains("Tarnwick"));
    QVERIFY(splash->LabelCopyright->text().contains("2001"));
    QVERIFY(!splash->ImageHinter->pixmap().isNull());
    QVERIFY(splash->LabelPXLogo1->isHidden());
    QCOMPARE(w_->StartScreen().Bitmap(), Program("graphics_parzello/Start.bmp"));
    QCOMPARE(w_->Award().Path(), Program("award_parzello"));

    // Information screen: the program's values and the support addresses.
    QString version, copyright, web, mail, licence;
    bool internalButton = false;
    AnswerNextModal([&](QWidget*) {
      pz::TInfoScreenFormular* info = pz::InfoScreenFormular();
      QVERIFY(info != nullptr);
      version = info->LabelVersion->text();
      copyright = info->LabelCopyright->text();
      web = info->URLLabelWeb->Caption();
      mail = info->URLLabelMail->Caption();
      licence = info->LabelLizenz->isVisibleTo(info) ? info->LabelLizenz->text() : QString();
      internalButton = !info->ButtonInternal->isHidden();
      info->ButtonOK->click();
    });
    w_->MenuInfo->trigger();
    QVERIFY(version.contains("1.2"));
    QVERIFY(copyright.contains("Tarnwick") && copyright.contains("2001"));
    QCOMPARE(web, QString(pz::kMakerURL));
    QCOMPARE(mail, QString(pz::kMakerMail));
    QCOMPARE(licence, QString("Freie Software unter der MIT-Lizenz"));
    QVERIFY(internalButton);
    QCOMPARE(ci("TPXInfoScreenA", "Version"), std::string("1.06"));

    // Awards: the dialog for the program's award folder.
    QString awardPath;
    AnswerNextModal([&](QWidget* modal) {
      pz::TPXAwardDialog* awards = pz::AwardDialog();
      if (awards != nullptr) awardPath = awards->Path();
      modal->close();
    });
    w_->MenuAwards->trigger();
    QCOMPARE(awardPath, Program("award_parzello"));
  }

  void closingDeletesTheTemporaryArchive() {
    Store("Language", "File", "Deutsch.lng");
    Open();
    const QString archive = QString::fromStdString(w_->TempArchiv());
    WriteFile(archive, "zip");
    w_->MenuBeenden->trigger();
    QVERIFY(!w_->isVisible());
    QVERIFY(!QFile::exists(archive));
  }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
