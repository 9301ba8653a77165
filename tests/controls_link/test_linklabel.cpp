#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <tuple>

#include "controls/desktopshell.h"
#include "controls/linklabel.h"

using namespace pz;

namespace {

// A desktop with configurable handlers that records what it was asked to open.
class FakeShell : public TDesktopShell {
 public:
  QString HandlerCommand(const QString& mimeType) override {
    queries << mimeType;
    return handlers.value(mimeType);
  }
  bool Open(const QUrl& url) override {
    opened << url;
    return true;
  }
  QMap<QString, QString> handlers;
  QStringList queries;
  QList<QUrl> opened;
};

void Click(QWidget& w) {
  QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(2, 2));
}

}  // namespace

class TestLinkLabel : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    shell_ = std::make_unique<FakeShell>();
    shell_->handlers["text/html"] = "firefox %u";
    shell_->handlers["x-scheme-handler/mailto"] = "thunderbird %u";
    SetDesktopShell(shell_.get());
  }
  void cleanup() { SetDesktopShell(nullptr); }

  void newLabelShowsWebPlaceholderWithEmptyHint() {
    TLinkLabel l;
    for (const QString& shown : {l.URL(), l.Caption(), l.LinkText()}) {
      QCOMPARE(shown, QString(kPlaceholderWeb));
    }
    QVERIFY(l.toolTip().isEmpty());
    const std::tuple<const char*, bool, bool> flags[] = {
        {"URLAsHint", l.URLAsHint(), true},      {"ShowPrefix", l.ShowPrefix(), false},
        {"CaptionSet", l.CaptionSet(), false},   {"AutoSize", l.AutoSize(), true},
        {"Transparent", l.Transparent(), false}, {"WordWrap", l.WordWrap(), false}};
    for (const auto& [name, shown, expected] : flags) QVERIFY2(shown == expected, name);
    QCOMPARE(l.LabelType(), TLabelType::Auto);
    QCOMPARE(l.LinkType(), TLinkType::http);
    QVERIFY(QString(kPlaceholderMail).contains('@'));
    // Link look: blue underlined copy of the label's font; passive look: the plain font.
    QCOMPARE(l.LinkFont().color, QColor(0, 0, 255));
    QVERIFY(l.LinkFont().font.underline());
    QVERIFY(!l.PassiveFont().font.underline());
    QCOMPARE(l.textFormat(), Qt::PlainText);
  }

  void autoLookFollowsHandler() {
    {
      TLinkLabel l;
      QVERIFY(l.HandlerAvailable());
      QVERIFY(l.Active());
      QVERIFY(l.font().underline());
      QCOMPARE(l.palette().color(QPalette::WindowText), QColor(0, 0, 255));
      QCOMPARE(l.cursor().shape(), Qt::PointingHandCursor);
    }
    shell_->handlers.remove("text/html");
    TLinkLabel l;
    QVERIFY(!l.HandlerAvailable());
    QVERIFY(!l.Active());
    QVERIFY(!l.font().underline());
    QCOMPARE(l.cursor().shape(), Qt::ArrowCursor);
    // Clicking a passive label only fires the click.
    QSignalSpy clicks(&l, &TLinkLabel::clicked);
    Click(l);
    QCOMPARE(clicks.count(), 1);
    QVERIFY(shell_->opened.isEmpty());
    // A fixed link look opens the address even without a registered program.
    l.SetLabelType(TLabelType::Link);
    QVERIFY(l.font().underline());
    QCOMPARE(l.cursor().shape(), Qt::PointingHandCursor);
    Click(l);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(shell_->opened, QList<QUrl>{QUrl("http://www.example.org")});
  }

  void passiveTypeNeverOpens() {
    TLinkLabel l;
    l.SetLabelType(TLabelType::Passive);
    QVERIFY(!l.font().underline());
    QCOMPARE(l.cursor().shape(), Qt::ArrowCursor);
    Click(l);
    QVERIFY(shell_->opened.isEmpty());
  }

  void handlerDetectionAsksForWebPagesAndMail() {
    TLinkLabel l;
    QVERIFY(shell_->queries.contains("text/html"));
    QVERIFY(!shell_->queries.contains("x-scheme-handler/mailto"));
    shell_->handlers.remove("x-scheme-handler/mailto");
    shell_->queries.clear();
    l.SetLinkType(TLinkType::mailto);
    QCOMPARE(shell_->queries, QStringList{"x-scheme-handler/mailto"});
    QVERIFY(!l.HandlerAvailable());
    // The look changes only through UpdateAppearance, which a link type change does not run.
    QVERIFY(l.font().underline());
    // The same type again does not ask again.
    l.SetLinkType(TLinkType::mailto);
    QCOMPARE(shell_->queries.size(), 1);
  }

  void addressSetterStripsPrefixAndChoosesType() {
    TLinkLabel l;
    l.SetShowPrefix(true);
    l.SetURL("HTTP://www.Example.org/page");
    QCOMPARE(l.URL(), QString("www.Example.org/page"));
    QCOMPARE(l.LinkType(), TLinkType::http);
    QCOMPARE(l.LinkText(), QString("http://www.Example.org/page"));
    QCOMPARE(l.toolTip(), l.LinkText());
    QCOMPARE(l.Caption(), l.LinkText());

    l.SetURL("MailTo:team@example.org");
    QCOMPARE(l.URL(), QString("team@example.org"));
    QCOMPARE(l.LinkType(), TLinkType::mailto);
    QCOMPARE(l.LinkText(), QString("mailto:team@example.org"));

    l.SetURL("team@example.org/x");  // "/" wins over "@"
    QCOMPARE(l.LinkType(), TLinkType::http);

    // An address that switches the type leaves the handler state as it was.
    shell_->handlers.clear();
    l.SetURL("other@example.org");
    QCOMPARE(l.LinkType(), TLinkType::mailto);
    QVERIFY(l.HandlerAvailable());

    l.SetShowPrefix(false);
    QCOMPARE(l.LinkText(), QString("other@example.org"));
    l.SetURL("https://www.example.org");  // only http:// and mailto: are dropped
    QCOMPARE(l.URL(), QString("https://www.example.org"));
  }

  void sameAddressTwiceChangesNothing() {
    TLinkLabel l;
    l.SetURL("www.example.org/a");
    l.setToolTip("changed meanwhile");
    l.SetURL("www.example.org/a");
    QCOMPARE(l.toolTip(), QString("changed meanwhile"));
  }

  void explicitCaptionIsKept() {
    TLinkLabel l;
    l.SetCaption("Our site");
    l.SetURL("www.example.org/support");
    QVERIFY(l.CaptionSet());
    QCOMPARE(l.Caption(), QString("Our site"));
    QCOMPARE(l.LinkText(), QString("www.example.org/support"));
    QCOMPARE(l.toolTip(), QString("www.example.org/support"));
  }

  void hintFollowsUrlAsHint() {
    TLinkLabel l;
    l.SetURLAsHint(true);  // unchanged value: still no hint
    QVERIFY(l.toolTip().isEmpty());
    l.SetURLAsHint(false);
    QVERIFY(l.toolTip().isEmpty());
    l.SetURLAsHint(true);
    QCOMPARE(l.toolTip(), QString(kPlaceholderWeb));
    l.SetShowPrefix(true);
    QCOMPARE(l.toolTip(), QString("http://") + kPlaceholderWeb);
  }

  void linkTypeSwapsOnlyPlaceholders() {
    TLinkLabel l;
    l.SetLinkType(TLinkType::mailto);
    QCOMPARE(l.URL(), QString(kPlaceholderMail));
    QCOMPARE(l.Caption(), QString(kPlaceholderMail));
    l.SetLinkType(TLinkType::http);
    QCOMPARE(l.URL(), QString(kPlaceholderWeb));
    l.SetURL("www.example.org/own");
    l.SetLinkType(TLinkType::mailto);
    QCOMPARE(l.URL(), QString("www.example.org/own"));
    QCOMPARE(l.LinkText(), QString("www.example.org/own"));
  }

  void clickOpensMailWithSchemeWhateverThePrefixSetting() {
    TLinkLabel l;
    l.SetURL("mailto:help@example.org");
    l.SetLinkType(TLinkType::mailto);
    l.SetLabelType(TLabelType::Link);
    Click(l);
    l.SetShowPrefix(true);
    Click(l);
    QCOMPARE(shell_->opened,
             (QList<QUrl>{QUrl("mailto:help@example.org"), QUrl("mailto:help@example.org")}));
    // A press outside the label that is released on it is no click.
    QTest::mousePress(&l, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(&l, Qt::LeftButton, {}, QPoint(-5, -5));
    QCOMPARE(shell_->opened.size(), 2);
  }

  void xdgLookupReadsMimeappsList() {
    SetDesktopShell(nullptr);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString cfg = dir.path() + "/config", data = dir.path() + "/data";
    QVERIFY(QDir().mkpath(cfg) && QDir().mkpath(data + "/applications"));
    const QByteArray oldCfg = qgetenv("XDG_CONFIG_HOME"), oldData = qgetenv("XDG_DATA_HOME");
    const QByteArray oldDirs = qgetenv("XDG_DATA_DIRS"), oldCfgDirs = qgetenv("XDG_CONFIG_DIRS");
    qputenv("XDG_CONFIG_HOME", cfg.toUtf8());
    qputenv("XDG_CONFIG_DIRS", (dir.path() + "/none").toUtf8());
    qputenv("XDG_DATA_HOME", data.toUtf8());
    qputenv("XDG_DATA_DIRS", (dir.path() + "/none").toUtf8());
    auto write = [](const QString& path, const QByteArray& text) {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(text);
    };
    QVERIFY(XdgDefaultCommand("text/html").isEmpty());
    write(data + "/applications/viewer.desktop",
          "[Desktop Entry]\nName=Viewer\nExec=viewer --new %u\n");
    write(cfg + "/mimeapps.list",
          "[Added Associations]\ntext/html=other.desktop\n"
          "[Default Applications]\ntext/html=missing.desktop;viewer.desktop\n");
    QCOMPARE(XdgDefaultCommand("text/html"), QString("viewer --new %u"));
    QVERIFY(XdgDefaultCommand("x-scheme-handler/mailto").isEmpty());
    write(data + "/applications/mimeinfo.cache",
          "[MIME Cache]\nx-scheme-handler/mailto=viewer.desktop;\n");
    QCOMPARE(XdgDefaultCommand("x-scheme-handler/mailto"), QString("viewer --new %u"));
    QCOMPARE(TLinkLabel::GetOpenCommand(".htm"), QString("viewer --new %u"));
    QVERIFY(TLinkLabel::GetOpenCommand(".nosuchext").isEmpty());
    qputenv("XDG_CONFIG_HOME", oldCfg);
    qputenv("XDG_DATA_HOME", oldData);
    qputenv("XDG_DATA_DIRS", oldDirs);
    qputenv("XDG_CONFIG_DIRS", oldCfgDirs);
  }

 private:
  std::unique_ptr<FakeShell> shell_;
};

QTEST_MAIN(TestLinkLabel)
#include "test_linklabel.moc"
