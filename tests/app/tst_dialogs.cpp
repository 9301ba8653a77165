// The password, password-query and volume dialogs, and the folder picker, answered by script.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <QtTest>
#include <utility>

#include "app/dialogs.h"
#include "app/pxpath.h"
#include "app/qtinteraction.h"
#include "screens/award.h"
#include "screens/infoscreen.h"
#include "screens/internalinfo.h"
#include "test_support_qt.h"

using namespace pztest;

namespace {

void Type(QLineEdit* e, const QString& text) {
  e->clear();
  QTest::keyClicks(e, text);
}

// The storage root that holds the given folder among the picker's drives.
int DriveIndexOf(pz::TPXPathDialog& d, const QString& root) {
  for (int i = 0; i < d.PfadDriveComboBox->count(); ++i) {
    if (d.PfadDriveComboBox->itemData(i).toString() == root) return i;
  }
  return -1;
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

  NumberedTexts texts;

 private slots:
  void passwordDialogShape() {
    pz::TPasswortDialog d(texts);
    QCOMPARE(d.size(), QSize(233, 184));
    QVERIFY(!(d.windowFlags() & Qt::WindowCloseButtonHint));
    const std::pair<QString, QString> captions[] = {
        {d.windowTitle(), T(63)},         {d.Label1->text(), T(63) + " :"},
        {d.Label2->text(), T(64) + " :"}, {d.LabelEncrypt->text(), T(266)},
        {d.ButtonOK->text(), T(65)},      {d.ButtonCancel->text(), T(66)}};
    for (const auto& [shown, expected] : captions) QCOMPARE(shown, expected);
    for (QLineEdit* e : {d.Edit1, d.Edit2}) {
      QCOMPARE(e->maxLength(), 1024);
      QCOMPARE(e->echoMode(), QLineEdit::Password);
    }
    QCOMPARE(d.Edit1->geometry(), QRect(8, 22, 217, 24));
    QCOMPARE(d.ButtonOK->geometry(), QRect(19, 150, 95, 30));
    // The note fits between the fields and the buttons.
    QVERIFY(d.LabelEncrypt->geometry().bottom() < d.ButtonOK->geometry().top());
    QVERIFY(d.LabelEncrypt->heightForWidth(d.LabelEncrypt->width()) <=
            d.LabelEncrypt->height() + 2);
    QVERIFY(d.ButtonOK->isDefault());
  }

  // Masked with "*"; centred on the screen, not over the window that asks.
  void passwordFieldsMaskWithStarsAndDialogsAreCentred() {
    pz::TPasswortDialog d(texts);
    for (QLineEdit* e : {d.Edit1, d.Edit2}) {
      QCOMPARE(e->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, e), int('*'));
    }
    pz::TPasswortDialog2 d2(texts);
    QCOMPARE(d2.Edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, d2.Edit),
             int('*'));

    QWidget parent;
    parent.setGeometry(0, 0, 200, 100);
    parent.show();
    DialogScript script;
    QList<QPoint> offsets;
    const auto measure = [&](QDialog& dialog) {
      offsets << dialog.frameGeometry().center() - dialog.screen()->availableGeometry().center();
    };
    script.steps = {measure, measure, measure};
    pz::Passwort_Abfragen(texts, &parent);
    pz::Passwort2_Abfragen(texts, &parent);
    QString path = "/x";
    pz::Datentraeger_Anfordern(texts, path, &parent);
    QCOMPARE(offsets.size(), 3);
    for (const QPoint& o : offsets)
      QVERIFY2(o.manhattanLength() <= 4, qPrintable(QString::number(o.x())));
  }

  // The limit counts UTF-8 bytes: 600 Cyrillic letters are 1200, 300 of them (600 bytes) pass.
  void passwordLimitCountsStoredBytes() {
    MessageRecorder messages;
    DialogScript script;
    QString cyrillic30, cyrillic15;
    for (int i = 0; i < 600; ++i) cyrillic30 += QChar(0x0436);
    cyrillic15 = cyrillic30.left(300);
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog&>(dialog);
      d.Edit1->setText(cyrillic30);
      d.Edit2->setText(cyrillic30);
      d.ButtonOK->click();
      QCOMPARE(messages.Texts(), QStringList{T(150)});
      QCOMPARE(d.focusWidget(), d.Edit1);
      QVERIFY(d.isVisible());
      d.Edit1->setText(cyrillic15);
      d.Edit2->setText(cyrillic15);
      d.ButtonOK->click();
    });
    QCOMPARE(pz::Passwort_Abfragen(texts), cyrillic15);
  }

  void passwordDialogChecksInOrder() {
    MessageRecorder messages;
    DialogScript script;
    pz::TPasswortDialog* seen = nullptr;
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog&>(dialog);
      seen = &d;
      d.ButtonOK->click();
      QCOMPARE(messages.Texts().last(), T(67));
      QCOMPARE(d.focusWidget(), d.Edit1);
      Type(d.Edit1, "Geheim");
      d.ButtonOK->click();
      QCOMPARE(messages.Texts().last(), T(68));
      QCOMPARE(d.focusWidget(), d.Edit2);
      Type(d.Edit2, "geheim");  // differs in case only
      d.ButtonOK->click();
      QCOMPARE(messages.Texts().last(), T(69));
      QCOMPARE(d.focusWidget(), d.Edit2);
      QVERIFY(d.isVisible());
      Type(d.Edit2, "Geheim");
      d.ButtonOK->click();
    });
    QCOMPARE(pz::Passwort_Abfragen(texts), QString("Geheim"));
    QVERIFY(seen != nullptr);
    QCOMPARE(messages.messages.size(), 3u);
    for (const auto& m : messages.messages) QCOMPARE(m.icon, pz::MsgIcon::Information);
  }

  void passwordLongerThanTheFieldIsCut() {
    DialogScript script;
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog&>(dialog);
      d.Edit1->setText(QString(1100, 'x'));
      d.Edit2->setText(QString(1100, 'x'));
      d.ButtonOK->click();
    });
    QCOMPARE(pz::Passwort_Abfragen(texts), QString(1024, 'x'));
  }

  void passwordCancelAsksFirst() {
    MessageRecorder messages;
    messages.answers = {false, true};
    DialogScript script;
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog&>(dialog);
      Type(d.Edit1, "abc");
      Type(d.Edit2, "abc");
      d.ButtonCancel->click();  // answered No: stays open with the texts
      QCOMPARE(messages.messages.back().icon, pz::MsgIcon::Question);
      QCOMPARE(messages.messages.back().text, T(70));
      QVERIFY(d.isVisible());
      QCOMPARE(d.Edit1->text(), QString("abc"));
      QTest::keyClick(&d, Qt::Key_Escape);  // answered Yes
    });
    QCOMPARE(pz::Passwort_Abfragen(texts), QString());
    QCOMPARE(messages.messages.size(), 2u);
  }

  void passwordQuery() {
    MessageRecorder messages;
    DialogScript script;
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog2&>(dialog);
      QCOMPARE(d.size(), QSize(233, 68));
      QCOMPARE(d.windowTitle(), T(63));
      QCOMPARE(d.Edit->maxLength(), 1024);
      QCOMPARE(d.Edit->echoMode(), QLineEdit::Password);
      d.ButtonOK->click();
      QCOMPARE(messages.Texts(), QStringList{T(67)});
      QCOMPARE(d.focusWidget(), d.Edit);
      Type(d.Edit, "Wort");
      d.ButtonOK->click();
    });
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPasswortDialog2&>(dialog);
      Type(d.Edit, "Wort");
      d.ButtonCancel->click();
    });
    QCOMPARE(pz::Passwort2_Abfragen(texts), QString("Wort"));
    QCOMPARE(pz::Passwort2_Abfragen(texts), QString());
  }

  void volumeDialog() {
    MessageRecorder messages;
    DialogScript script;
    // Confirmed unchanged: the same path.
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TDatentraegerDialog&>(dialog);
      QCOMPARE(d.size(), QSize(430, 69));
      QCOMPARE(d.windowTitle(), T(71));
      QCOMPARE(d.Edit->text(), QString("/media/disk/a.PZX001"));
      d.ButtonOK->click();
    });
    QString path = "/media/disk/a.PZX001";
    QCOMPARE(pz::Datentraeger_Anfordern(texts, path), 1);
    QCOMPARE(path, QString("/media/disk/a.PZX001"));

    // Empty and relative paths are refused; an absolute one is taken.
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TDatentraegerDialog&>(dialog);
      d.Edit->clear();
      d.ButtonOK->click();
      QCOMPARE(messages.Texts().last(), T(72));
      Type(d.Edit, "disk/a.PZX001");
      d.ButtonOK->click();
      QCOMPARE(messages.Texts().last(), T(46));
      QCOMPARE(d.focusWidget(), d.Edit);
      QVERIFY(d.isVisible());
      Type(d.Edit, "/mnt");
      d.ButtonOK->click();
    });
    QCOMPARE(pz::Datentraeger_Anfordern(texts, path), 1);
    QCOMPARE(path, QString("/mnt"));
    QCOMPARE(messages.messages.size(), 2u);

    // Cancel keeps the path.
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TDatentraegerDialog&>(dialog);
      Type(d.Edit, "/elsewhere");
      QTest::keyClick(&d, Qt::Key_Escape);
    });
    QCOMPARE(pz::Datentraeger_Anfordern(texts, path), 2);
    QCOMPARE(path, QString("/mnt"));
  }

  void volumeDialogPicksAFolderInGerman() {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("sub");
    const QString sub = QDir::cleanPath(dir.path() + "/sub");
    DialogScript script;
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TDatentraegerDialog&>(dialog);
      d.Edit->setText(sub);
      d.Button->click();  // the picker: starts in the field's folder
      QCOMPARE(d.Edit->text(), sub);
      d.ButtonOK->click();
    });
    script.steps.push_back([&](QDialog& dialog) {
      auto& p = dynamic_cast<pz::TPXPathDialog&>(dialog);
      QCOMPARE(p.windowTitle(), QString::fromUtf8("Verzeichnis auswählen"));
      QCOMPARE(p.CancelButton->text(), QString("Abbruch"));
      QCOMPARE(p.SelectedFolder(), sub);
      p.OKButton->click();
    });
    QString path = "/old";
    QCOMPARE(pz::Datentraeger_Anfordern(texts, path), 1);
    QCOMPARE(path, sub);
    QCOMPARE(script.shown, 2);
  }

  void pathLanguageLetter() {
    pz::TPXPath p;
    QCOMPARE(p.LanguageCodeLetter(), std::string("E"));
    p.SetLanguageCodeLetter("d");
    QCOMPARE(p.LanguageCodeLetter(), std::string("D"));
    p.SetLanguageCodeLetter("F");
    QCOMPARE(p.LanguageCodeLetter(), std::string("E"));
    p.SetLanguageCodeLetter("D");
    p.SetLanguageCodeLetter("");
    QCOMPARE(p.LanguageCodeLetter(), std::string("E"));
    QCOMPARE(p.CIVersion(), std::string("1.05"));
    QCOMPARE(p.CILastCompile(), std::string("01.02.2000"));

    // With a language component its letter wins.
    QTemporaryDir dir;
    WriteFile(dir.path() + "/De.lng", "Deutsch\r\nD\r\nx\r\n1\r\n1,Datei\r\n");
    pz::TPXLanguage language;
    language.SetPath(dir.path().toStdString());
    language.SetFileName("De.lng");
    p.SetLanguage(&language);
    p.SetLanguageCodeLetter("E");
    QCOMPARE(p.LanguageCodeLetter(), std::string("D"));

    DialogScript script;
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPXPathDialog&>(dialog);
      QCOMPARE(d.VerzeichnisseLabel->text(), QString("Verzeichnisse :"));
      QCOMPARE(d.LaufwerkeLabel->text(), QString("Laufwerk :"));
    });
    QVERIFY(!p.Execute());
    p.SetLanguage(nullptr);
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPXPathDialog&>(dialog);
      QCOMPARE(d.windowTitle(), QString("Choose folder"));
      QCOMPARE(d.VerzeichnisseLabel->text(), QString("Folders :"));
      QCOMPARE(d.CancelButton->text(), QString("Cancel"));
    });
    QVERIFY(!p.Execute());
  }

  void pathDialogShape() {
    pz::TPXPathDialog d(false);
    QCOMPARE(d.size(), QSize(535, 322));
    QVERIFY(!(d.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(d.PfadDirectoryListBox->geometry(), QRect(10, 50, 515, 185));
    QCOMPARE(d.OKButton->geometry(), QRect(165, 290, 100, 30));
    QVERIFY(d.OKButton->isDefault());
    QStringList roots = pz::DriveRoots();
    QVERIFY(roots.contains("/"));
    QVERIFY(roots.contains(QDir::cleanPath(QDir::homePath())));
    QCOMPARE(d.PfadDriveComboBox->count(), roots.size());
    QCOMPARE(roots.removeDuplicates(), 0);
  }

  void pathKeptAndUnchangedOnCancel() {
    MessageRecorder messages;
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("a/b");
    const QString ab = QDir::cleanPath(dir.path() + "/a/b");
    pz::TPXPath p;
    DialogScript script;

    // A folder that does not exist: the list stays in the start folder, no message.
    p.SetPath(dir.path() + "/missing");
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPXPathDialog&>(dialog);
      QCOMPARE(d.SelectedFolder(), QDir::cleanPath(QDir::currentPath()));
      QVERIFY(d.ShowFolder(ab));
      QCOMPARE(d.VerzeichnisLabel->text(), ab);
      d.OKButton->click();
    });
    QVERIFY(p.Execute());
    QCOMPARE(p.Path(), ab);
    QVERIFY(messages.messages.empty());

    // The next call starts in the chosen folder; Cancel and Escape leave Path alone.
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPXPathDialog&>(dialog);
      QCOMPARE(d.SelectedFolder(), ab);
      QVERIFY(d.ShowFolder(dir.path()));
      d.CancelButton->click();
    });
    QVERIFY(!p.Execute());
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPXPathDialog&>(dialog);
      QVERIFY(d.ShowFolder(dir.path()));
      QTest::keyClick(&d, Qt::Key_Escape);
    });
    QVERIFY(!p.Execute());
    QCOMPARE(p.Path(), ab);
  }

  // Every modal window runs the one way: the maker's screens, the awards viewer and the message
  // boxes reach the hook that answers dialogs, as the program's own dialogs do; the screens
  // are centred on the screen, the message boxes stay where the window system puts them.
  void everyModalWindowRunsTheOneWay() {
    QTemporaryDir awards;
    WriteFile(awards.path() + "/info.ini", "[COUNT]\nCOUNT=0\n");
    DialogScript script;
    QStringList shown;
    QList<QPoint> offsets;
    const auto record = [&](QDialog& dialog) {
      shown << dialog.metaObject()->className();
      if (qobject_cast<QMessageBox*>(&dialog) == nullptr)
        offsets << dialog.frameGeometry().center() - dialog.screen()->availableGeometry().center();
    };
    script.steps = {record, record, record, record, record, record};
    pz::TPXInfoScreenA info;
    info.Execute();
    pz::TPXInternalInfo internal;
    internal.Execute();
    pz::TPXAward award;
    award.SetPath(awards.path());
    award.Execute();
    pz::ShowAwardInfo(awards.path() + "/none.txt", "Award-Info", pz::kColorBlack, pz::kColorBlue);
    pz::ShowMessage(nullptr, "x", pz::MsgIcon::Information);
    QVERIFY(!pz::AskYesNo(nullptr, "y?"));  // closed unanswered: not Yes
    QCOMPARE(shown, (QStringList{"pz::TInfoScreenFormular", "pz::TPXInternalInfoDialog",
                                 "pz::TPXAwardDialog", "pz::TPXAwardDialog2", "QMessageBox",
                                 "QMessageBox"}));
    QCOMPARE(offsets.size(), 4);
    for (const QPoint& o : offsets)
      QVERIFY2(o.manhattanLength() <= 4, qPrintable(QString::number(o.x())));
    // Each screen is freed once it is closed.
    QVERIFY(pz::InfoScreenFormular() == nullptr && pz::AwardDialog2() == nullptr);
  }

  // The hourglass has one owner per user of it: switched on twice it is one level, and a level
  // still on goes with the interaction that set it.
  void hourglassLevelsGoWithTheirOwner() {
    {
      pz::TQtInteraction ui(nullptr, texts);
      ui.SetBusy(true);
      ui.SetBusy(true);
      ui.LanguageBusy(true);
      ui.LanguageBusy(true);
      ui.SetBusy(false);
      QVERIFY(!ui.Busy());
      QVERIFY(QApplication::overrideCursor() != nullptr);  // the language's level
      ui.LanguageBusy(false);
      QVERIFY(QApplication::overrideCursor() == nullptr);
      ui.LanguageBusy(true);
      ui.SetBusy(true);
    }
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void anotherDriveGivesAFolderOnIt() {
    pz::TPXPath p;
    DialogScript script;
    QString chosenRoot;
    script.steps.push_back([&](QDialog& dialog) {
      auto& d = dynamic_cast<pz::TPXPathDialog&>(dialog);
      // The drive that is not selected now.
      const QString current = d.PfadDriveComboBox->currentData().toString();
      const QString home = QDir::cleanPath(QDir::homePath());
      chosenRoot = current == "/" ? home : QString("/");
      const int i = DriveIndexOf(d, chosenRoot);
      QVERIFY(i >= 0);
      d.ChooseDrive(i);
      d.OKButton->click();
    });
    QVERIFY(p.Execute());
    QCOMPARE(p.Path(), chosenRoot);
  }
};

QTEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
