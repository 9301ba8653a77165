// The main window driven as a user would: its captions and layout, the handler chains of the
// mode, size and field changes, the checks before the work, and whole splits and joins with
// scripted dialogs.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "app/dialogs.h"
#include "app/hauptformular.h"
#include "engine/segments.h"
#include "test_support_qt.h"

using namespace pztest;
using pz::MsgIcon;
using pz::THauptformular;

// Removing a file whose path holds this text fails, as on a write-protected medium.
std::string g_undeletable;
extern "C" int unlink(const char* path) noexcept {
  if (!g_undeletable.empty() && std::strstr(path, g_undeletable.c_str()) != nullptr) {
    errno = EROFS;
    return -1;
  }
  return unlinkat(AT_FDCWD, path, 0);
}

namespace {

QByteArray RandomBytes(int n) {
  QByteArray b(n, '\0');
  for (int i = 0; i < n; ++i) b[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
  return b;
}

// Answers the open dialog with a file.
DialogScript::Step ChooseFile(const QString& path, QStringList* filters = nullptr,
                              QString* suffix = nullptr) {
  return [=](QDialog& dialog) {
    auto& d = dynamic_cast<QFileDialog&>(dialog);
    if (filters != nullptr) *filters = d.nameFilters();
    if (suffix != nullptr) *suffix = d.defaultSuffix();
    d.selectFile(path);
    dialog.accept();  // QFileDialog::accept, through the public base
  };
}

}  // namespace

class HauptformularTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> program_;  // the program folder with its data folders
  std::unique_ptr<QTemporaryDir> config_;   // the user's configuration folder
  std::unique_ptr<QTemporaryDir> work_;     // files to split and targets
  std::unique_ptr<MessageRecorder> messages_;
  std::unique_ptr<THauptformular> w_;

  QString T(std::uint16_t block) { return QString::fromStdString(w_->Language().GetText(block)); }
  QString Work(const QString& name) { return work_->path() + "/" + name; }
  QString Archive() { return QString::fromStdString(w_->TempArchiv()); }

  // Opens the window as a returning user whose settings name the language file.
  void Open(const std::string& languageFile = "Deutsch.lng") {
    pz::OpenUserSettings(config_->path().toStdString())
        ->WriteString(std::string(pz::kSettingsKey) + "\\Language", "File", languageFile);
    w_ = std::make_unique<THauptformular>(program_->path().toStdString());
    w_->show();
    QCoreApplication::processEvents();  // the start-up work follows the showing
    w_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
  }

  // A source file and a target that pass every check up to the work itself.
  QString PrepareSplit(int size) {
    const QString source = Work("quelle.bin");
    WriteFile(source, RandomBytes(size));
    w_->EditTrennDatei->setText(source);
    QDir(work_->path()).mkdir("out");
    w_->EditZielPfad->setText(Work("out"));
    w_->EditZielName->setText("teil");
    return source;
  }

  Message Last() { return messages_->messages.empty() ? Message{} : messages_->messages.back(); }

 private slots:
  void init() {
    program_ = std::make_unique<QTemporaryDir>();
    work_ = std::make_unique<QTemporaryDir>();
    config_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", config_->path().toUtf8());
    QDir program(program_->path());
    program.mkdir("language_parzello");
    program.mkdir("temp_parzello");
    QFile::copy(PZ_APP_TEST_DATA "/Deutsch.lng",
                program_->path() + "/language_parzello/Deutsch.lng");
    messages_ = std::make_unique<MessageRecorder>();
    Open();
  }

  void cleanup() {
    w_.reset();
    delete pz::StartScreenFormular();
    messages_.reset();
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void layoutAndCaptions() {
    QVERIFY(messages_->messages.empty());
    QCOMPARE(w_->windowTitle(), QString("Tarnwick - Parzello 1.2"));
    QCOMPARE(QCoreApplication::applicationName(), QString("Parzello"));
    // The menu entry's name, so that a dock shows the window under its launcher.
    QCOMPARE(QGuiApplication::desktopFileName(), QString("io.github.parzello.Parzello"));
    QCOMPARE(w_->centralWidget()->size(), QSize(574, 398));
    QCOMPARE(w_->minimumSize(), w_->maximumSize());

    // Every control at its place in its parent: the bars and areas from top to bottom, the
    // controls within them, the status bar's panels.
    const std::pair<QWidget*, QRect> placed[] = {{w_->PanelAktion, {0, 0, 574, 25}},
                                                 {w_->RadioTrennen, {120, 4, 150, 18}},
                                                 {w_->RadioZusammenfuehren, {300, 4, 260, 18}},
                                                 {w_->PanelQuelle, {0, 25, 574, 245}},
                                                 {w_->EditTrennDatei, {8, 22, 540, 22}},
                                                 {w_->ButtonTrennDatei, {550, 22, 22, 22}},
                                                 {w_->GroupTrennGroesse, {8, 50, 276, 162}},
                                                 {w_->Radio144, {10, 20, 120, 18}},
                                                 {w_->Radio12, {10, 39, 120, 18}},
                                                 {w_->Radio720, {10, 58, 120, 18}},
                                                 {w_->Radio360, {10, 77, 120, 18}},
                                                 {w_->Radio100, {10, 96, 120, 18}},
                                                 {w_->RadioAuto, {140, 20, 130, 18}},
                                                 {w_->RadioHand, {140, 39, 130, 18}},
                                                 {w_->EditHand, {146, 60, 80, 22}},
                                                 {w_->GroupOptionen, {290, 50, 276, 162}},
                                                 {w_->CheckKomprimieren, {10, 20, 260, 18}},
                                                 {w_->RadioStark, {30, 40, 100, 18}},
                                                 {w_->RadioSchwach, {130, 40, 120, 18}},
                                                 {w_->CheckLoeschen, {10, 66, 260, 18}},
                                                 {w_->CheckPasswort, {10, 90, 260, 18}},
                                                 {w_->CheckWiederherstellung, {10, 114, 204, 18}},
                                                 {w_->SpinWiederherstellung, {216, 112, 52, 22}},
                                                 {w_->LabelWiederherstellbar, {30, 138, 240, 16}},
                                                 {w_->LabelDateiGroesse2, {160, 220, 124, 16}},
                                                 {w_->LabelTrennungen2, {440, 220, 126, 16}},
                                                 {w_->PanelZiel, {0, 270, 574, 74}},
                                                 {w_->EditZielPfad, {104, 24, 440, 22}},
                                                 {w_->ButtonZiel, {548, 24, 22, 22}},
                                                 {w_->EditZielName, {104, 48, 280, 22}},
                                                 {w_->PanelAusfuehren, {0, 344, 574, 35}},
                                                 {w_->ButtonAusfuehren, {227, 4, 120, 27}},
                                                 {w_->ButtonBeenden, {446, 4, 120, 27}},
                                                 {w_->StatusBar, {0, 379, 574, 19}},
                                                 {w_->StatusPanels[0], {0, 0, 100, 19}},
                                                 {w_->StatusPanels[1], {100, 0, 330, 19}},
                                                 {w_->StatusPanels[2], {430, 0, 150, 19}},
                                                 {w_->StatusSimple, {0, 0, 574, 19}}};
    for (const auto& [control, geometry] : placed) {
      QVERIFY2(control->geometry() == geometry, qPrintable(control->objectName()));
    }
    // Labels sized to their texts: their places only.
    const std::pair<QWidget*, QPoint> moved[] = {
        {w_->LabelAktion, {8, 5}},         {w_->LabelTrennDatei, {8, 4}},
        {w_->Label1, {230, 64}},           {w_->LabelDateiGroesse, {8, 220}},
        {w_->LabelTrennungen, {290, 220}}, {w_->LabelZiel, {8, 4}},
        {w_->LabelZielPfad, {8, 28}},      {w_->LabelZielName, {8, 52}}};
    for (const auto& [control, place] : moved) {
      QVERIFY2(control->pos() == place, qPrintable(control->objectName()));
    }
    // "Bytes" ends inside the group's frame.
    QVERIFY(w_->Label1->geometry().right() < w_->GroupTrennGroesse->contentsRect().right());

    QCOMPARE(w_->font().family(), QString("Arial"));
    QCOMPARE(w_->font().pixelSize(), 13);
    QVERIFY(w_->font().bold());
    QVERIFY(w_->LabelAktion->font().italic() && w_->LabelAktion->font().underline());
    QVERIFY(w_->GroupOptionen->font().italic());
    QVERIFY(!w_->CheckLoeschen->font().italic());
    const std::pair<QColor, QColor> colours[] = {
        {w_->LabelAktion->ShadowColor(), QColor(0, 0, 0)},
        {w_->LabelAktion->FontColor(), QColor(255, 255, 255)},
        {w_->LabelZiel->ShadowColor(), QColor(255, 255, 255)},
        {w_->PanelAktion->palette().color(QPalette::Window), QColor(128, 0, 0)},
        {w_->LabelTrennDatei->FontColor(), QColor(128, 0, 0)},
        {w_->EditHand->palette().color(QPalette::Base), QColor(192, 192, 192)}};
    for (const auto& [shown, expected] : colours) QCOMPARE(shown, expected);
    QVERIFY(w_->EditHand->isReadOnly());

    // Texts of the language file, with their suffixes, and the built-in ones.
    const std::pair<QString, QString> captions[] = {
        {w_->LabelAktion->Caption(), "Aktion :"},
        {w_->LabelTrennDatei->Caption(), "Zu trennende Datei :"},
        {w_->LabelZielPfad->text(), "Pfad :"},
        {w_->ButtonAusfuehren->text(), QString::fromUtf8("Ausführen")},
        {w_->MenuSprache->text(), "Sprache..."},
        {w_->MenuInfo->text(), "Inf&o..."},
        {w_->MenuAwards->text(), "&Awards..."},
        {w_->Label1->text(), "Bytes"},
        {w_->ButtonZiel->text(), "..."},
        {w_->StatusPanels[0]->text(), "Version 1.2"}};
    for (const auto& [shown, expected] : captions) QCOMPARE(shown, expected);
    QVERIFY(w_->StatusPanels[1]->text().isEmpty());
    QVERIFY(w_->StatusPanels[2]->text().contains("2001"));
    QCOMPARE(w_->MenuBeenden->shortcut(), QKeySequence(Qt::Key_F10));
    QCOMPARE(w_->TrennGroesse(), pz::PresetBytes(pz::SizePreset::Floppy144));
    QCOMPARE(w_->ZipArchiver().DLLDirectory(), program_->path().toStdString() + "/dll_parzello");
  }

  // In each shipped language every control of the two groups lies inside its frame, clear of
  // the others, with its whole text, and no two buttons answer the same Alt key; the recovery
  // count at its widest, 1000 segments.
  void controlsFitInEitherLanguage_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("German") << "Deutsch.lng";
    QTest::newRow("English") << "English.lng";
  }
  void controlsFitInEitherLanguage() {
    QFETCH(QString, file);
    QFile::copy(PZ_DATA_DIR "/language_parzello/" + file,
                program_->path() + "/language_parzello/Shipped" + file);
    w_->Language().SetFileName(("Shipped" + file).toStdString());
    w_->TextbausteineZuweisen();
    QVERIFY(!w_->CheckWiederherstellung->text().isEmpty());
    for (QGroupBox* group : {w_->GroupTrennGroesse, w_->GroupOptionen}) {
      const auto controls = group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
      for (qsizetype i = 0; i < controls.size(); ++i) {
        const QString name = controls[i]->objectName();
        const QRect inside = group->contentsRect();
        const QRect at = controls[i]->geometry();
        QVERIFY2(at.left() >= inside.left() && at.right() <= inside.right() &&
                     at.bottom() <= inside.bottom(),
                 qPrintable(name));
        for (qsizetype j = i + 1; j < controls.size(); ++j)
          QVERIFY2(!at.intersects(controls[j]->geometry()),
                   qPrintable(name + " " + controls[j]->objectName()));
        if (auto* button = qobject_cast<QAbstractButton*>(controls[i]))
          QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(name));
      }
    }
    QList<QKeySequence> keys;
    for (const QAbstractButton* button : w_->centralWidget()->findChildren<QAbstractButton*>()) {
      const QKeySequence key = QKeySequence::mnemonic(button->text());
      QVERIFY2(key.isEmpty() || !keys.contains(key), qPrintable(button->text()));
      keys << key;
    }
    const QLabel* hint = w_->LabelWiederherstellbar;
    QVERIFY(hint->fontMetrics().horizontalAdvance(T(322) + " 1000") <= hint->width());
  }

  void builtInCaptionsWithoutLanguage() {
    w_.reset();
    messages_->messages.clear();
    Open("Fehlt.lng");
    QCOMPARE(messages_->messages.size(), 1u);
    QCOMPARE(Last().icon, MsgIcon::Error);
    QCOMPARE(w_->RadioTrennen->text(), QString("Datei trennen"));
    QCOMPARE(w_->LabelAktion->Caption(), QString("Aktion :"));
    QCOMPARE(w_->MenuBeenden->text(), QString("&Beenden"));
    QCOMPARE(w_->GroupTrennGroesse->title(), QString::fromUtf8("Größe der Trennsegmente"));
    // The mode presentation always takes its text block.
    QCOMPARE(w_->LabelTrennDatei->Caption(), QString(" :"));

    // A language file without text lines changes nothing.
    WriteFile(program_->path() + "/language_parzello/Leer.lng", "Leer\r\nE\r\nx\r\n1\r\n");
    w_.reset();
    Open("Leer.lng");
    QCOMPARE(w_->Language().TextCount(), 0);
    QCOMPARE(w_->ButtonBeenden->text(), QString("Beenden"));
    QCOMPARE(w_->LabelZielName->text(), QString("DateiName : "));
  }

  void modeSwitchClearsFieldsAndPresentsTheMode() {
    const QString source = PrepareSplit(100);
    QCOMPARE(w_->LabelDateiGroesse2->text(), QString("100"));
    w_->RadioZusammenfuehren->click();
    QVERIFY(w_->EditTrennDatei->text().isEmpty());
    QVERIFY(w_->EditZielPfad->text().isEmpty());
    QVERIFY(w_->EditZielName->text().isEmpty());
    QVERIFY(w_->LabelDateiGroesse2->text().isEmpty());
    QCOMPARE(w_->LabelTrennDatei->Caption(), T(8) + " :");
    QCOMPARE(w_->PanelAktion->palette().color(QPalette::Window), QColor(0, 0, 128));
    QCOMPARE(w_->LabelZiel->FontColor(), QColor(0, 0, 128));
    QVERIFY(w_->LabelTrennungen->isHidden() && w_->LabelDateiGroesse2->isHidden());
    QVERIFY(!w_->GroupTrennGroesse->isEnabled() && !w_->CheckPasswort->isEnabled());
    QVERIFY(w_->EditHand->isReadOnly());

    // The selected mode button again: nothing happens.
    w_->EditZielName->setText("bleibt");
    w_->RadioZusammenfuehren->click();
    QCOMPARE(w_->EditZielName->text(), QString("bleibt"));

    w_->RadioTrennen->click();
    QVERIFY(w_->EditZielName->text().isEmpty());
    QCOMPARE(w_->LabelTrennDatei->Caption(), T(7) + " :");
    QVERIFY(!w_->LabelTrennungen->isHidden());
    QVERIFY(w_->GroupTrennGroesse->isEnabled());
    // Level buttons follow the compression box.
    QVERIFY(!w_->RadioStark->isEnabled());
    w_->CheckKomprimieren->click();
    QVERIFY(w_->RadioStark->isEnabled() && w_->RadioSchwach->isEnabled());
    QVERIFY(!w_->Komprimiert());  // the placeholder ZIP stage builds no archive
    Q_UNUSED(source);
  }

  void sizeSelection() {
    PrepareSplit(5000);
    w_->Radio720->click();
    QCOMPARE(w_->TrennGroesse(), 730112);
    QCOMPARE(w_->LabelTrennungen2->text(), QString("1"));
    w_->Radio100->click();
    QCOMPARE(w_->TrennGroesse(), 100431872);
    w_->RadioAuto->click();
    QCOMPARE(w_->TrennGroesse(), 0);
    QCOMPARE(w_->LabelTrennungen2->text(), QString("?"));
    QCOMPARE(w_->LabelWiederherstellbar->text(), T(322) + " ?");

    w_->RadioHand->click();
    QVERIFY(!w_->EditHand->isReadOnly());
    QCOMPARE(w_->EditHand->palette().color(QPalette::Base), QColor(255, 255, 255));
    // No stored hand size: the field is empty, which is no size, so nothing is counted.
    QCOMPARE(w_->EditHand->text(), QString());
    QCOMPARE(w_->TrennGroesse(), 0);
    QCOMPARE(w_->LabelTrennungen2->text(), QString());
    // Each change of the hand size runs the chain down to the count; every size from 1025 bytes
    // to the largest the format holds counts, anything else is no size.
    const std::tuple<const char*, qint64, const char*> rows[] = {
        {"2048", 2048, "3"},
        {"1025", 1025, "6"},
        {"2147483648", 2147483648, "1"},
        {"3000000000", 3000000000, "1"},
        {"4294967295", 4294967295, "1"},
        {"9223372036854775807", pz::kMaxSegmentSize, "1"},
        {"1024", 0, ""},
        {"abc", 0, ""},
        {"1M", 0, ""},
        {"0", 0, ""},
        {"-5", 0, ""},
    };
    // Recovery data as large as the data rebuilds every segment: the same count.
    w_->CheckWiederherstellung->click();
    w_->SpinWiederherstellung->setValue(100);
    for (const auto& [text, size, count] : rows) {
      w_->EditHand->setText(text);
      QCOMPARE(w_->TrennGroesse(), size);
      QCOMPARE(w_->LabelTrennungen2->text(), QString(count));
      QCOMPARE(w_->LabelWiederherstellbar->text(), T(322) + " " + count);
    }
    // Typing takes digits only.
    w_->EditHand->clear();
    QTest::keyClicks(w_->EditHand, "1M5 x-2");
    QCOMPARE(w_->EditHand->text(), QString("152"));

    // The hand size is read, whatever button caused the refresh, only with RadioHand selected.
    w_->Radio144->click();
    QCOMPARE(w_->TrennGroesse(), 1457664);
    QVERIFY(w_->EditHand->isReadOnly());
    w_->EditHand->setText("4096");  // editing while another preset is selected
    QCOMPARE(w_->TrennGroesse(), 1457664);
  }

  // A field that is no size is said at Start (not counted as some size), with the focus there; a
  // 5 GiB file on FAT-sized segments is two segments.
  void handSizeThatIsNoSizeIsSaid() {
    PrepareSplit(5000);
    w_->RadioHand->click();
    for (const char* text : {"", "1024", "abc"}) {
      w_->EditHand->setText(text);
      w_->ButtonAusfuehren->click();
      QCOMPARE(Last().text, T(231));
      QCOMPARE(Last().icon, MsgIcon::Warning);
      QCOMPARE(w_->focusWidget(), w_->EditHand);
    }
    QVERIFY(!QFile::exists(Work("out/teil.PZX000")));
    w_->EditHand->setText("3000000000");
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(49));
    QCOMPARE(QFileInfo(Work("out/teil.PZX000")).size(), 5000 + 1024);

    const QString big = Work("fuenf.bin");
    {
      QFile f(big);
      QVERIFY(f.open(QIODevice::WriteOnly));
      QVERIFY(f.resize(qint64(5) << 30));  // sparse
    }
    w_->EditTrennDatei->setText(big);
    w_->EditHand->setText("4294967295");
    QCOMPARE(w_->LabelTrennungen2->text(), QString("2"));
  }

  void thousandSegmentsAcceptedAndOneMoreRefused() {
    const QString source = Work("gross.bin");
    const qint64 exact = 362496LL * 1000 - 1024;
    {
      QFile f(source);
      QVERIFY(f.open(QIODevice::WriteOnly));
      QVERIFY(f.resize(exact));  // sparse
    }
    w_->Radio360->click();
    // A target folder of the user's without a drive: the checks stop there, before any work.
    w_->EditZielPfad->setText("relativ");
    w_->EditTrennDatei->setText(source);
    QCOMPARE(w_->LabelTrennungen2->text(), QString("1000"));
    w_->ButtonAusfuehren->click();  // passes check 3, stops at the empty target folder
    QCOMPARE(Last().text, T(46));

    {
      QFile f(source);
      QVERIFY(f.open(QIODevice::ReadWrite));
      QVERIFY(f.resize(exact + 1));
    }
    w_->RadioAuto->click();
    QCOMPARE(w_->LabelTrennungen2->text(), QString("?"));
    w_->ButtonAusfuehren->click();  // "?" never refuses
    QCOMPARE(Last().text, T(46));
    w_->Radio360->click();
    QCOMPARE(w_->LabelTrennungen2->text(), QString("1001"));
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(45));
    QCOMPARE(Last().icon, MsgIcon::Warning);

    // A terabyte (sparse): size and count are shown in full, past 32 and 16 bits, and the rule
    // holds for the largest hand sizes.
    {
      QFile f(source);
      QVERIFY(f.open(QIODevice::ReadWrite));
      QVERIFY(f.resize((qint64(1) << 40) + 5));
    }
    w_->EditTrennDatei->clear();
    w_->EditTrennDatei->setText(source);
    QCOMPARE(w_->LabelDateiGroesse2->text(), QString("1099511627781"));
    QCOMPARE(w_->LabelTrennungen2->text(), QString("3033169"));
    w_->RadioHand->click();
    w_->EditHand->setText("1099511629");
    QCOMPARE(w_->LabelTrennungen2->text(), QString("1000"));
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(46));
    w_->EditHand->setText("1099511628");
    QCOMPARE(w_->LabelTrennungen2->text(), QString("1001"));
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(45));
  }

  void checksBeforeTheWork() {
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(43));
    QCOMPARE(Last().icon, MsgIcon::Information);
    QCOMPARE(w_->focusWidget(), w_->EditTrennDatei);
    w_->EditTrennDatei->setText(Work("fehlt.bin"));
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(44));

    PrepareSplit(10);
    w_->EditZielName->clear();
    w_->EditZielPfad->setText("relativ/ordner");
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(46));
    QCOMPARE(Last().icon, MsgIcon::Information);
    QCOMPARE(w_->focusWidget(), w_->EditZielPfad);

    // One trailing separator goes, and stays gone in the field.
    w_->EditZielPfad->setText(Work("out/"));
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(47));
    QCOMPARE(w_->focusWidget(), w_->EditZielName);
    QCOMPARE(w_->EditZielPfad->text(), Work("out"));
    w_->ButtonAusfuehren->click();
    QCOMPARE(w_->EditZielPfad->text(), Work("out"));
    // The root keeps its separator in the field.
    w_->EditZielPfad->setText("/");
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(47));
    QCOMPARE(w_->EditZielPfad->text(), QString("/"));

    w_->RadioZusammenfuehren->click();
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(51));
    w_->EditTrennDatei->setText(Work("fehlt.PZX000"));
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(52));
    QCOMPARE(w_->focusWidget(), w_->EditTrennDatei);
  }

  void splitWithPasswordThenJoin() {
    // Encrypted, the data grows by the age header and a tag: still three segments of 2048.
    const QByteArray data = RandomBytes(4000);
    const QString source = PrepareSplit(0);
    WriteFile(source, data);
    w_->EditTrennDatei->clear();
    w_->EditTrennDatei->setText(source);
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    w_->CheckPasswort->click();

    DialogScript script;
    QString busyText;
    bool hourglass = false;
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog&>(dialog);
      busyText = w_->StatusSimpleText();
      hourglass = QApplication::overrideCursor() != nullptr &&
                  QApplication::overrideCursor()->shape() == Qt::WaitCursor;
      d.Edit1->setText(QString::fromUtf8("Geheimnis-ä"));
      d.Edit2->setText(QString::fromUtf8("Geheimnis-ä"));
      d.ButtonOK->click();
    });
    w_->ButtonAusfuehren->click();
    QCOMPARE(script.shown, 1);
    QCOMPARE(busyText, T(48) + "...");
    QVERIFY(hourglass);
    QCOMPARE(Last().text, T(49));
    QCOMPARE(Last().icon, MsgIcon::Information);
    QVERIFY(w_->StatusSimpleText().isEmpty());
    QVERIFY(w_->StatusPanels[0]->isVisible());
    for (const char* name : {"teil.PZX000", "teil.PZX001", "teil.PZX002"}) {
      QVERIFY2(QFile::exists(Work("out/") + name), name);
    }
    QVERIFY(!QFile::exists(Work("out/teil.PZX003")));
    QVERIFY(QFile::exists(source));  // not asked to delete

    // Join: the "..." button reads the stored name from the header.
    w_->RadioZusammenfuehren->click();
    QStringList filters;
    QString suffix;
    script.steps.push_back(ChooseFile(Work("out/teil.PZX000"), &filters, &suffix));
    w_->ButtonTrennDatei->click();
    QCOMPARE(filters, QStringList{T(41) + " (*.PZX000 *.pzx000)"});
    QCOMPARE(suffix, QString("PZX000"));
    QCOMPARE(w_->EditTrennDatei->text(), Work("out/teil.PZX000"));
    QCOMPARE(w_->EditZielName->text(), QString("quelle.bin"));
    QDir(work_->path()).mkdir("back");
    w_->EditZielPfad->setText(Work("back"));

    // A wrong password ends the join with one message: the failure and its reason.
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog2&>(dialog);
      d.Edit->setText("falsch");
      d.ButtonOK->click();
    });
    auto before = messages_->messages.size();
    w_->ButtonAusfuehren->click();
    QCOMPARE(messages_->messages.size(), before + 1);
    QCOMPARE(Last().text, T(55) + "\n\n" + T(81));
    QCOMPARE(Last().icon, MsgIcon::Error);

    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog2&>(dialog);
      busyText = w_->StatusSimpleText();
      d.Edit->setText(QString::fromUtf8("Geheimnis-ä"));
      d.ButtonOK->click();
    });
    w_->ButtonAusfuehren->click();
    QCOMPARE(busyText, T(53) + "...");
    QCOMPARE(Last().text, T(54) + "\n" + T(170));
    QCOMPARE(ReadFile(Work("back/quelle.bin")), data);
    // The fields keep their contents after the work.
    QCOMPARE(w_->EditZielName->text(), QString("quelle.bin"));

    // A damaged segment: the failure message names it, and the file joined before stays.
    QByteArray bytes = ReadFile(Work("out/teil.PZX001"));
    bytes[10] = static_cast<char>(bytes[10] ^ 1);
    QFile segment(Work("out/teil.PZX001"));
    QVERIFY(segment.open(QIODevice::WriteOnly));
    segment.write(bytes);
    segment.close();
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog2&>(dialog);
      d.Edit->setText(QString::fromUtf8("Geheimnis-ä"));
      d.ButtonOK->click();
    });
    messages_->answers = {true};  // replace the file joined before, which a failure keeps
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(55) + "\n" + T(173) + " \"teil.PZX001\"\n" + T(175));
    QCOMPARE(ReadFile(Work("back/quelle.bin")), data);
  }

  void splitDeletesTheSourceWhenAsked() {
    const QString source = PrepareSplit(3000);
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    w_->CheckLoeschen->click();
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(49));
    QVERIFY(!QFile::exists(source));
    QVERIFY(QFile::exists(Work("out/teil.PZX001")));
    // The field names no file that is gone, and the size display is empty with it.
    QVERIFY(w_->EditTrennDatei->text().isEmpty());
    QVERIFY(w_->LabelDateiGroesse2->text().isEmpty());
    QCOMPARE(w_->EditZielName->text(), QString("teil"));
  }

  // Recovery files beside the segments when asked for, which Debian's par2 accepts; the closing
  // message says how many segments they rebuild, the count the window showed beforehand. One
  // that cannot be written is a warning after the split, as for the checksum file.
  void splitWritesRecoveryFilesWhenAsked_data() {
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("blocked");  // a folder has the index's name
    QTest::newRow("not asked") << false << false;
    QTest::newRow("asked") << true << false;
    QTest::newRow("cannot be written") << true << true;
  }
  void splitWritesRecoveryFilesWhenAsked() {
    QFETCH(bool, asked);
    QFETCH(bool, blocked);
    PrepareSplit(20000);  // 11 segments of 2048 bytes
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    if (asked) w_->CheckWiederherstellung->click();
    if (blocked) QVERIFY(QDir(Work("out")).mkdir("teil.PZX.par2"));
    const QString count = w_->LabelWiederherstellbar->text().mid(T(322).size() + 1);
    QVERIFY2(count.toInt() >= 1, qPrintable(w_->LabelWiederherstellbar->text()));
    w_->ButtonAusfuehren->click();
    QVERIFY(QFile::exists(Work("out/teil.PZX010")));
    const bool volumes = !QDir(Work("out")).entryList({"teil.PZX.vol*.par2"}).isEmpty();
    QCOMPARE(volumes, asked && !blocked);
    if (!asked) QCOMPARE(Last().text, T(49));
    if (blocked)
      QVERIFY2(Last().text.startsWith(T(49) + "\n\n" + T(312) + " "), qPrintable(Last().text));
    QCOMPARE(Last().icon, blocked ? MsgIcon::Warning : MsgIcon::Information);
    if (!volumes) return;
    QCOMPARE(Last().text, T(49) + "\n\n" + T(311) + " " + count);
    if (QStandardPaths::findExecutable("par2").isEmpty()) QSKIP("par2 is not installed");
    QProcess par2;
    par2.start("par2", {"verify", "-q", Work("out/teil.PZX.par2")});
    QVERIFY(par2.waitForFinished(60000));
    QCOMPARE(par2.exitCode(), 0);
  }

  // An engine's refusal: one message with the reason, shown when the busy text has gone.
  void refusalGivesOneMessageAndNoBusyText() {
    PrepareSplit(3000);
    w_->RadioHand->click();
    w_->EditHand->setText("1100");
    // The second segment cannot be made: a folder has its name.
    QVERIFY(QDir(Work("out")).mkdir("teil.PZX001"));
    QStringList statusAtMessages;
    pz::SetMessageHook([&](const QString&, MsgIcon) {
      statusAtMessages << w_->StatusSimpleText();
      return false;
    });
    w_->ButtonAusfuehren->click();
    messages_.reset();
    messages_ = std::make_unique<MessageRecorder>();
    QCOMPARE(statusAtMessages, QStringList{QString()});
    w_->ButtonAusfuehren->click();
    QCOMPARE(messages_->messages.size(), 1u);
    QVERIFY2(Last().text.startsWith(T(50) + "\n\n") && Last().text.contains("teil.PZX001"),
             qPrintable(Last().text));
    QCOMPARE(Last().icon, MsgIcon::Error);
    QVERIFY(w_->StatusPanels[0]->isVisible());
  }

  // An empty target takes the source's folder (and in split mode its name); what the user typed
  // stays, and a suggestion follows the source, also away again when the source is refused.
  void targetFollowsTheSource() {
    const QString source = Work("film.bin");
    WriteFile(source, RandomBytes(3000));
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    w_->EditTrennDatei->setText(source);
    QCOMPARE(w_->EditZielPfad->text(), work_->path());
    QCOMPARE(w_->EditZielName->text(), QString("film.bin"));
    w_->ButtonAusfuehren->click();  // not refused: the segments go beside the source
    QCOMPARE(Last().text, T(49));
    QVERIFY(QFile::exists(Work("film.bin.PZX001")));

    QDir(work_->path()).mkdir("sub");
    WriteFile(Work("sub/zwei.bin"), "x");
    w_->EditTrennDatei->setText(Work("sub/zwei.bin"));
    QCOMPARE(w_->EditZielPfad->text(), Work("sub"));
    QCOMPARE(w_->EditZielName->text(), QString("zwei.bin"));
    w_->EditZielPfad->setText(Work("out"));
    w_->EditTrennDatei->setText(source);
    QCOMPARE(w_->EditZielPfad->text(), Work("out"));
    QCOMPARE(w_->EditZielName->text(), QString("film.bin"));

    w_->RadioZusammenfuehren->click();
    DialogScript script;
    script.steps.push_back(ChooseFile(Work("film.bin.PZX000")));
    w_->ButtonTrennDatei->click();
    QCOMPARE(w_->EditZielPfad->text(), work_->path());
    QCOMPARE(w_->EditZielName->text(), QString("film.bin"));
    script.steps.push_back(ChooseFile(Work("sub/zwei.bin")));
    w_->ButtonTrennDatei->click();
    QCOMPARE(Last().text, T(42));
    for (QLineEdit* field : {w_->EditTrennDatei, w_->EditZielPfad, w_->EditZielName})
      QVERIFY2(field->text().isEmpty(), qPrintable(field->objectName()));

    w_->DateiUebernehmen(source);  // the program's file argument
    QCOMPARE(w_->EditZielPfad->text(), work_->path());
    QCOMPARE(w_->EditZielName->text(), QString("film.bin"));
  }

  // Join mode's greyed options tell what the set holds; the user's split options come back and
  // are the ones stored.
  void joinModeShowsTheOptionsOfTheSet() {
    PrepareSplit(3000);
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    w_->CheckPasswort->click();
    w_->CheckWiederherstellung->click();
    w_->SpinWiederherstellung->setValue(33);
    DialogScript script;
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog&>(dialog);
      d.Edit1->setText("geheim");
      d.Edit2->setText("geheim");
      d.ButtonOK->click();
    });
    w_->ButtonAusfuehren->click();
    QVERIFY(Last().text.startsWith(T(49) + "\n\n" + T(311)));
    w_->CheckLoeschen->click();

    const auto shown = [this] {
      return std::array<bool, 4>{w_->CheckKomprimieren->isChecked(), w_->CheckLoeschen->isChecked(),
                                 w_->CheckPasswort->isChecked(),
                                 w_->CheckWiederherstellung->isChecked()};
    };
    using Shown = std::array<bool, 4>;
    w_->RadioZusammenfuehren->click();
    QCOMPARE(shown(), (Shown{false, false, false, false}));
    w_->EditTrennDatei->setText(Work("out/teil.PZX000"));
    QCOMPARE(shown(), (Shown{false, false, true, true}));
    QVERIFY(!w_->CheckPasswort->isEnabled() && !w_->SpinWiederherstellung->isEnabled());
    QVERIFY(w_->LabelWiederherstellbar->isHidden());
    w_->EditTrennDatei->setText(Work("out/teil.PZX001"));  // no first segment
    QCOMPARE(shown(), (Shown{false, false, false, false}));
    QVERIFY(QFile::rename(Work("out/teil.PZX.par2"), Work("out/anders.par2")));
    w_->EditTrennDatei->setText(Work("out/teil.PZX000"));  // without the recovery index
    QCOMPARE(shown(), (Shown{false, false, true, false}));

    w_->RadioTrennen->click();
    QCOMPARE(shown(), (Shown{false, true, true, true}));
    QVERIFY(w_->SpinWiederherstellung->isEnabled());
    w_->RadioZusammenfuehren->click();
    w_->close();
    auto store = pz::OpenUserSettings(config_->path().toStdString());
    const std::string section = std::string(pz::kSettingsKey) + "\\Settings";
    const std::pair<const char*, const char*> stored[] = {{"Compress", "0"},
                                                          {"Delete", "1"},
                                                          {"Password", "1"},
                                                          {"Recovery", "1"},
                                                          {"RecoveryPercent", "33"}};
    for (const auto& [key, value] : stored)
      QCOMPARE(store->ReadString(section, key).value_or(""), std::string(value));
    w_.reset();
    Open();
    w_->RadioTrennen->click();
    QVERIFY(w_->CheckWiederherstellung->isChecked() && w_->SpinWiederherstellung->value() == 33);
  }

  // Tab walks the controls as they are read, left to right and top to bottom, the action bar
  // included, and comes back round; a group of round buttons is entered at the one chosen last.
  // The recovery option also answers its Alt key.
  void tabWalksTheControlsInReadingOrder() {
    QTest::keyClick(w_.get(), Qt::Key_W, Qt::AltModifier);
    // A button's Alt key clicks it a moment later.
    QTRY_VERIFY(w_->CheckWiederherstellung->isChecked() && w_->SpinWiederherstellung->isEnabled());
    const QList<QWidget*> reading = {w_->RadioTrennen,
                                     w_->RadioZusammenfuehren,
                                     w_->EditTrennDatei,
                                     w_->ButtonTrennDatei,
                                     w_->Radio144,
                                     w_->Radio12,
                                     w_->Radio720,
                                     w_->Radio360,
                                     w_->Radio100,
                                     w_->RadioAuto,
                                     w_->RadioHand,
                                     w_->EditHand,
                                     w_->CheckKomprimieren,
                                     w_->RadioStark,
                                     w_->RadioSchwach,
                                     w_->CheckLoeschen,
                                     w_->CheckPasswort,
                                     w_->CheckWiederherstellung,
                                     w_->SpinWiederherstellung,
                                     w_->EditZielPfad,
                                     w_->ButtonZiel,
                                     w_->EditZielName,
                                     w_->ButtonAusfuehren,
                                     w_->ButtonBeenden};
    for (QRadioButton* size : {w_->Radio144, w_->RadioHand}) {
      QTest::mouseClick(size, Qt::LeftButton);
      w_->EditZielName->setFocus();
      QList<QWidget*> walked;
      for (int i = 0; i < 2 * reading.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (walked.contains(QApplication::focusWidget())) break;
        walked << QApplication::focusWidget();
      }
      QStringList names;
      for (QWidget* w : walked) names << w->objectName();
      // Round from the name field: the buttons, then from the top.
      QVERIFY2(walked.size() >= 3 && walked[0] == w_->ButtonAusfuehren &&
                   walked[1] == w_->ButtonBeenden && walked[2] == w_->RadioTrennen,
               qPrintable(names.join(' ')));
      for (qsizetype i = 3; i < walked.size(); ++i) {
        QVERIFY2(reading.indexOf(walked[i]) > reading.indexOf(walked[i - 1]),
                 qPrintable(names.join(' ')));
      }
      // Every control that takes input is reached; of a group of round buttons the selected.
      for (QWidget* control : reading) {
        auto* radio = qobject_cast<QRadioButton*>(control);
        if (!control->isEnabled() || (radio != nullptr && !radio->isChecked())) continue;
        QVERIFY2(walked.contains(control),
                 qPrintable(control->objectName() + ": " + names.join(' ')));
      }
    }
  }

  // Colours not fixed by the window's design follow the desktop; the hand size stays black on
  // its fixed white or silver also under a dark theme.
  void darkPaletteKeepsTheFieldsReadable() {
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
      dark.setColor(role, QColor(40, 40, 40));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
      dark.setColor(role, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
    for (QRadioButton* size : {w_->RadioHand, w_->Radio144}) {
      size->click();
      const QPalette hand = w_->EditHand->palette();
      QCOMPARE(hand.color(QPalette::Active, QPalette::Text), QColor(0, 0, 0));
      QVERIFY(hand.color(QPalette::Active, QPalette::Base).lightness() > 150);
    }
    QCOMPARE(w_->EditZielPfad->palette().color(QPalette::Base), QColor(40, 40, 40));
    // A picture to look at, when asked for.
    if (const QString dir = qEnvironmentVariable("PZ_SHOT_DIR"); !dir.isEmpty())
      w_->grab().save(dir + "/window-dark.png");
    QApplication::setPalette(before);
  }

  void sourceThatCannotBeDeletedIsReported() {
    const QString source = PrepareSplit(3000);
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    w_->CheckLoeschen->click();
    g_undeletable = "quelle.bin";
    w_->ButtonAusfuehren->click();
    g_undeletable.clear();
    QCOMPARE(messages_->messages.size(), 2u);
    QCOMPARE(messages_->messages[0].text, T(49));  // the split stands
    QVERIFY(Last().text.startsWith(T(151) + " \"" + source + "\": "));
    QCOMPARE(Last().icon, MsgIcon::Warning);
    QVERIFY(QFile::exists(source));
  }

  // A damaged first segment is called damaged, not "no first segment".
  void chosenFirstSegmentWithADamagedHeader() {
    w_->RadioZusammenfuehren->click();
    QByteArray header(1024, '0');
    header.replace(0, 4, "001x");
    header.replace(302, 2, "PX");
    header.replace(350, 3, "0x1");
    WriteFile(Work("d.PZX000"), header);
    DialogScript script;
    script.steps.push_back(ChooseFile(Work("d.PZX000")));
    w_->ButtonTrennDatei->click();
    QVERIFY(Last().text.startsWith(T(110) + " \"" + Work("d.PZX000")));
    QCOMPARE(Last().icon, MsgIcon::Error);
    QVERIFY(w_->EditTrennDatei->text().isEmpty());
  }

  // Before the volume prompt the status bar shows how far the work has come.
  void progressIsUpToDateWhenAPromptOpens() {
    PrepareSplit(3000);
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(49));
    QVERIFY(QFile::remove(Work("out/teil.PZX001")));

    w_->RadioZusammenfuehren->click();
    w_->EditTrennDatei->setText(Work("out/teil.PZX000"));
    w_->EditZielPfad->setText(Work("out"));
    w_->EditZielName->setText("back.bin");
    DialogScript script;
    QString status;
    script.steps.push_back([&](QDialog& dialog) {
      QVERIFY(dynamic_cast<pz::TDatentraegerDialog*>(&dialog) != nullptr);
      status = w_->StatusSimpleText();
    });
    w_->ButtonAusfuehren->click();
    QCOMPARE(status, T(53) + "... 34 %");  // 1024 of 3000 bytes from the first segment
  }

  // Qt's own texts follow the language; the hand size stays legible while its group is off.
  void qtTextsFollowTheLanguageAndTheHandSizeStaysLegible() {
    const auto yes = [] {
      QMessageBox box;
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      return box.button(QMessageBox::Yes)->text();
    };
    QCOMPARE(yes(), QString("&Ja"));
    QFile::copy(PZ_DATA_DIR "/language_parzello/English.lng",
                program_->path() + "/language_parzello/English.lng");
    w_->Language().SetFileName("English.lng");
    w_->TextbausteineZuweisen();
    QCOMPARE(yes(), QString("&Yes"));

    w_->RadioZusammenfuehren->click();
    QVERIFY(!w_->EditHand->isEnabled());
    const QPalette hand = w_->EditHand->palette();
    const int contrast = hand.color(QPalette::Disabled, QPalette::Base).lightness() -
                         hand.color(QPalette::Disabled, QPalette::Text).lightness();
    QVERIFY2(contrast >= 128, qPrintable(QString::number(contrast)));
  }

  void chosenFileThatIsNoFirstSegment_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("short") << QByteArray("PX kurz");
    QTest::newRow("no marker") << QByteArray(1024, 'a');
    QTest::newRow("damaged") << QByteArray("PX").append(QByteArray(1022, 'z'));
  }
  void chosenFileThatIsNoFirstSegment() {
    QFETCH(QByteArray, content);
    w_->RadioZusammenfuehren->click();
    WriteFile(Work("x.PZX000"), content);
    DialogScript script;
    script.steps.push_back(ChooseFile(Work("x.PZX000")));
    w_->ButtonTrennDatei->click();
    QCOMPARE(Last().text, T(42));
    QCOMPARE(Last().icon, MsgIcon::Error);
    QVERIFY(w_->EditTrennDatei->text().isEmpty());
  }

  // A file handed to the window (the program's argument, a drop) picks the mode by its content:
  // a first segment under any name joins, anything else, even named like one, splits.
  void fileTakenByItsContent() {
    PrepareSplit(3000);
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(49));
    QVERIFY(QFile::rename(Work("out/teil.PZX000"), Work("out/renamed.bin")));
    WriteFile(Work("fake.PZX000"), QByteArray(2048, '0'));
    const auto messagesBefore = messages_->messages.size();

    w_.reset();
    w_ = std::make_unique<THauptformular>(program_->path().toStdString());
    w_->SetStartDatei(Work("out/renamed.bin"));
    w_->show();
    QCoreApplication::processEvents();
    QVERIFY(w_->RadioZusammenfuehren->isChecked());
    QCOMPARE(w_->EditTrennDatei->text(), Work("out/renamed.bin"));
    QCOMPARE(w_->EditZielName->text(), QString("quelle.bin"));

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Work("fake.PZX000"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w_.get(), &drop);
    QVERIFY(w_->RadioTrennen->isChecked());
    QCOMPARE(w_->EditTrennDatei->text(), Work("fake.PZX000"));
    QCOMPARE(w_->LabelDateiGroesse2->text(), QString("2048"));
    QCOMPARE(messages_->messages.size(), messagesBefore);  // no "not a first segment" refusal

    // Only one local file is taken: two files, or a web address, are refused.
    data.setUrls({QUrl::fromLocalFile(Work("fake.PZX000")), QUrl::fromLocalFile(Work("x"))});
    QDragEnterEvent two(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w_.get(), &two);
    QVERIFY(!two.isAccepted());
    data.setUrls({QUrl("https://www.example.org/a.PZX000")});
    QDragEnterEvent web(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w_.get(), &web);
    QVERIFY(!web.isAccepted());
  }

  void splitModeOpenDialog() {
    WriteFile(Work("a.txt"), "abc");
    DialogScript script;
    QStringList filters;
    script.steps.push_back(ChooseFile(Work("a.txt"), &filters));
    w_->ButtonTrennDatei->click();
    QCOMPARE(filters, QStringList{T(40) + " (*)"});
    QCOMPARE(w_->EditTrennDatei->text(), Work("a.txt"));
    QCOMPARE(w_->LabelDateiGroesse2->text(), QString("3"));
    QVERIFY(messages_->messages.empty());

    // A description that brings its own pattern, as the shipped files do: the pattern once.
    QFile::copy(PZ_DATA_DIR "/language_parzello/English.lng",
                program_->path() + "/language_parzello/English.lng");
    w_->Language().SetFileName("English.lng");
    script.steps.push_back(ChooseFile(Work("a.txt"), &filters));
    w_->ButtonTrennDatei->click();
    QCOMPARE(filters, QStringList{"All files (*)"});
  }

  void targetFolderFromThePicker() {
    DialogScript script;
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPXPathDialog&>(dialog);
      QCOMPARE(d.windowTitle(), QString::fromUtf8("Verzeichnis auswählen"));  // letter "D"
      QVERIFY(d.ShowFolder(work_->path()));
      d.OKButton->click();
    });
    w_->ButtonZiel->click();
    QCOMPARE(w_->EditZielPfad->text(), QDir::cleanPath(work_->path()));
  }

  void unhandledFailureReachesTheErrorDisplay() {
    PrepareSplit(3000);
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    w_->EditZielPfad->setText(Work("gibt-es-nicht"));
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().icon, MsgIcon::Error);
    QVERIFY2(Last().text.contains(Work("gibt-es-nicht/teil.PZX000")), qPrintable(Last().text));
    QVERIFY(!messages_->Texts().contains(T(50)));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(w_->StatusSimpleText().isEmpty());
    QVERIFY(w_->StatusPanels[2]->isVisible());
    // Still usable.
    w_->EditZielPfad->setText(Work("out"));
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(49));
  }

  void closingDeletesTheTemporaryArchive() {
    WriteFile(Archive(), "zip");
    w_->ButtonBeenden->click();
    QVERIFY(!w_->isVisible());
    QVERIFY(!QFile::exists(Archive()));

    w_.reset();
    Open();
    QTest::keyClick(w_.get(), Qt::Key_F10);
    QVERIFY(!w_->isVisible());
  }

  // Packing first: the archive is cut, the header says so, the join unpacks under the file's own
  // name; the source goes when asked, the archive stays until it is rebuilt or the window closes.
  void compressedSplitAndJoin() {
    QDir(program_->path()).mkdir("dll_parzello");
    for (const char* engine : {"ZIPENG.DLL", "UNZENG.DLL"}) {
      QVERIFY(QFile::copy(QString(PZ_DLL_DIR) + "/" + engine,
                          program_->path() + "/dll_parzello/" + engine));
    }
    w_.reset();
    Open();
    const QByteArray data = QByteArray("Parzello ").repeated(100000);  // 900000 bytes, packs well
    const QString source = PrepareSplit(0);
    WriteFile(source, data);
    w_->EditTrennDatei->clear();
    w_->EditTrennDatei->setText(source);
    w_->Radio360->click();
    QCOMPARE(w_->LabelTrennungen2->text(), QString("3"));
    // Nothing that follows the fields or the options packs: the count of the archive is known
    // once it is packed at Start.
    w_->CheckKomprimieren->click();
    w_->RadioSchwach->click();
    w_->EditTrennDatei->setText(source + " ");
    w_->EditTrennDatei->setText(source);
    QVERIFY(!w_->Komprimiert());
    QVERIFY(!QFile::exists(Archive()));
    QCOMPARE(w_->LabelDateiGroesse2->text(), QString("900000"));
    QCOMPARE(w_->LabelTrennungen2->text(), QString("?"));

    w_->CheckLoeschen->click();
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(49));
    QVERIFY(!QFile::exists(source));
    QVERIFY(w_->EditTrennDatei->text().isEmpty());  // it named a file that is gone
    QVERIFY(QFile::exists(Archive()));
    QCOMPARE(QFile::permissions(Archive()) & (QFile::ReadGroup | QFile::ReadOther),
             QFileDevice::Permissions());
    QVERIFY(!QFile::exists(Work("out/teil.PZX001")));  // the archive's one segment, not three
    const QByteArray header = ReadFile(Work("out/teil.PZX000")).left(1024);
    QCOMPARE(header[309], '1');
    QCOMPARE(header.mid(3, 10), QByteArray("quelle.bin"));

    w_->RadioZusammenfuehren->click();
    w_->EditTrennDatei->setText(Work("out/teil.PZX000"));
    QVERIFY(!w_->Komprimiert());  // join mode packs nothing
    QDir(work_->path()).mkdir("back");
    w_->EditZielPfad->setText(Work("back"));
    w_->EditZielName->setText("quelle.bin");
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(54) + "\n" + T(170));
    QCOMPARE(ReadFile(Work("back/quelle.bin")), data);

    // The unpacked file exists now: a second join refuses to replace it.
    const auto before = messages_->messages.size();
    w_->ButtonAusfuehren->click();
    QCOMPARE(messages_->messages.size(), before + 1);
    QVERIFY(Last().text.startsWith(T(55) + "\n\n" + T(80)));
    QCOMPARE(ReadFile(Work("back/quelle.bin")), data);

    // Without the option the source itself is cut and the header says so.
    w_->RadioTrennen->click();
    WriteFile(source, data);
    w_->EditTrennDatei->setText(source);
    w_->EditZielPfad->setText(Work("out"));
    w_->EditZielName->setText("roh");
    w_->CheckKomprimieren->click();
    QVERIFY(!w_->Komprimiert());
    w_->CheckLoeschen->click();
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(49));
    QCOMPARE(ReadFile(Work("out/roh.PZX000")).at(309), '0');
  }

  // A join asks before it replaces a file: No keeps it and joins nothing, Yes replaces it.
  void joinAsksBeforeReplacingAFile() {
    const QByteArray data = RandomBytes(5000);
    WriteFile(PrepareSplit(0), data);
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(49));
    w_->RadioZusammenfuehren->click();
    w_->EditTrennDatei->setText(Work("out/teil.PZX000"));
    w_->EditZielPfad->setText(Work("out"));
    w_->EditZielName->setText("da.bin");
    WriteFile(Work("out/da.bin"), "older");

    const std::size_t before = messages_->messages.size();
    messages_->answers = {false};
    w_->ButtonAusfuehren->click();
    QCOMPARE(messages_->messages.size(), before + 1);  // the question, and nothing after No
    QVERIFY(Last().text.startsWith(T(232)));
    QCOMPARE(Last().icon, MsgIcon::Question);
    QCOMPARE(ReadFile(Work("out/da.bin")), QByteArray("older"));

    messages_->answers = {true};
    w_->ButtonAusfuehren->click();
    QVERIFY(Last().text.startsWith(T(54)));
    QCOMPARE(ReadFile(Work("out/da.bin")), data);
  }

  // Cancel while a join waits for a segment, and closing the window while it works: the work
  // stops with its clean-up (no partial file), and the closed window closes once it has.
  void runningWorkCanBeCancelled() {
    WriteFile(PrepareSplit(0), RandomBytes(5000));
    w_->RadioHand->click();
    w_->EditHand->setText("2048");
    w_->ButtonAusfuehren->click();
    QVERIFY(QFile::remove(Work("out/teil.PZX002")));
    w_->RadioZusammenfuehren->click();
    w_->EditTrennDatei->setText(Work("out/teil.PZX000"));
    w_->EditZielPfad->setText(Work("back"));
    QDir(work_->path()).mkdir("back");
    w_->EditZielName->setText("zurueck.bin");

    DialogScript script;
    QString caption;
    bool othersOff = false;
    script.steps.push_back([&](QDialog& dialog) {
      caption = w_->ButtonBeenden->text();
      othersOff = !w_->ButtonAusfuehren->isEnabled() && !w_->PanelQuelle->isEnabled() &&
                  !w_->MenuSprache->isEnabled() && w_->MenuBeenden->isEnabled();
      w_->ButtonBeenden->click();
      dialog.accept();
    });
    w_->ButtonAusfuehren->click();
    QCOMPARE(caption, T(66));
    QVERIFY(othersOff);
    QVERIFY2(Last().text.startsWith(T(236)), qPrintable(Last().text));
    QCOMPARE(Last().icon, MsgIcon::Information);
    QCOMPARE(QDir(Work("back")).entryList(QDir::Files), QStringList());
    QCOMPARE(w_->ButtonBeenden->text(), T(32));
    QVERIFY(w_->ButtonAusfuehren->isEnabled() && w_->PanelQuelle->isEnabled());

    // Closing asks; Yes cancels, and the window closes when the work has ended.
    script.steps.push_back([&](QDialog& dialog) {
      messages_->answers = {true};
      w_->MenuBeenden->trigger();  // F10
      QVERIFY(w_->isVisible());
      dialog.accept();
    });
    w_->ButtonAusfuehren->click();
    QVERIFY(messages_->Texts().contains(T(235)));
    QVERIFY(Last().text.startsWith(T(236)));
    QVERIFY(!w_->isVisible());
    QCOMPARE(QDir(Work("back")).entryList(QDir::Files), QStringList());
  }

  // Two windows at once never share a temporary archive.
  void eachWindowHasItsOwnArchive() {
    THauptformular other(program_->path().toStdString());
    QVERIFY(other.TempArchiv() != w_->TempArchiv());
    QCOMPARE(QFileInfo(QString::fromStdString(other.TempArchiv())).dir(),
             QFileInfo(Archive()).dir());
  }

  // The busy text carries the progress: percent, bytes in GiB for large files, and the rate.
  void progressInTheStatusBar() {
    const qint64 gib = qint64(1) << 30;
    w_->Ui().StatusText("T48...");
    w_->Ui().Progress(6 * gib + 5, 6 * gib + 5);  // the end is shown at once, whatever the pace
    const QString shown = w_->StatusSimpleText();
    QVERIFY2(shown.startsWith("T48... 100%  6.00 / 6.00 GiB  "), qPrintable(shown));
    QVERIFY2(shown.endsWith(" MB/s"), qPrintable(shown));
    w_->Ui().StatusText("");
    QVERIFY(w_->StatusSimpleText().isEmpty());
  }

  // A file just past the 2 GiB bound of the 2001 format, through the window, in memory that does
  // not grow with it.
  void splitAndJoinPastTwoGibibytes() {
    const qint64 size = 2147483649;
    if (QStorageInfo(work_->path()).bytesAvailable() < 2 * size + (qint64(1) << 30)) {
      QSKIP("not enough disk space for two copies of 2 GiB");
    }
    const QString source = Work("big.bin");
    {
      QFile f(source);
      QVERIFY(f.open(QIODevice::WriteOnly));
      QVERIFY(f.resize(size));  // sparse: zeros between the marks
      for (qint64 at = 0; at < size; at += 100431872 - 11) {
        f.seek(at);
        f.write(RandomBytes(16).left(static_cast<int>(std::min<qint64>(16, size - at))));
      }
    }
    // Peak memory from here on: the kernel resets the high-water mark on request.
    auto peakKb = [] {
      QFile status("/proc/self/status");
      if (!status.open(QIODevice::ReadOnly)) return qint64(-1);
      const QString text = QString::fromLatin1(status.readAll());
      return QRegularExpression("VmHWM:\\s+(\\d+)").match(text).captured(1).toLongLong();
    };
    QFile clear("/proc/self/clear_refs");
    const bool canMeasure = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
    clear.close();
    const qint64 before = peakKb();

    w_->EditTrennDatei->setText(source);
    QDir(work_->path()).mkdir("out");
    w_->EditZielPfad->setText(Work("out"));
    w_->EditZielName->setText("big.bin");
    w_->Radio100->click();
    QCOMPARE(w_->LabelDateiGroesse2->text(), QString("2147483649"));
    QCOMPARE(w_->LabelTrennungen2->text(), QString("22"));
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(49));
    QCOMPARE(QFileInfo(Work("out/big.bin.PZX021")).size(), size + 1024 - 21 * 100431872LL);

    w_->RadioZusammenfuehren->click();
    w_->EditTrennDatei->setText(Work("out/big.bin.PZX000"));
    QDir(work_->path()).mkdir("back");
    w_->EditZielPfad->setText(Work("back"));
    w_->EditZielName->setText("big.bin");
    w_->ButtonAusfuehren->click();
    QCOMPARE(Last().text, T(54) + "\n" + T(170));
    if (canMeasure && before > 0) {
      const qint64 growth = peakKb() - before;
      qInfo("peak memory grew by %lld KiB", growth);
      QVERIFY2(growth < 16 * 1024, qPrintable(QString("peak grew by %1 KiB").arg(growth)));
    }
    QDir(Work("out")).removeRecursively();
    QProcess cmp;
    cmp.start("cmp", {source, Work("back/big.bin")});
    QVERIFY(cmp.waitForFinished(600000));
    QCOMPARE(cmp.exitCode(), 0);
  }
};

QTEST_MAIN(HauptformularTest)
#include "tst_hauptformular.moc"
