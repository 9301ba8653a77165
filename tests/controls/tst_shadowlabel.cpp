// The shadow label on rendered images: where shadow, text and frame land, and the blink cycle.
#include <QImage>
#include <QtTest>
#include <utility>

#include "controls/shadowlabel.h"

using pz::TShadowBlink;
using pz::TShadowBorder;
using pz::TShadowLabel;

namespace {

const QColor kBack(255, 255, 0);  // the label's colour
const QColor kText(0, 0, 0);      // font colour
const QColor kShadow(255, 0, 0);  // shadow colour

// Bounding box of the pixels of one exact colour.
QRect BoxOf(const QImage& img, const QColor& c) {
  QRect box;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelColor(x, y) == c) box |= QRect(x, y, 1, 1);
  return box;
}

int CountOf(const QImage& img, const QColor& c) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == c;
  return n;
}

// A label whose pixels are all exact colours: no antialiasing.
void Prepare(TShadowLabel& l, const QString& caption) {
  QFont f("Arial");
  f.setPixelSize(14);
  f.setBold(true);
  f.setStyleStrategy(QFont::NoAntialias);
  l.setFont(f);
  l.SetColor(kBack);
  l.SetFontColor(kText);
  l.SetShadowColor(kShadow);
  l.SetCaption(caption);
}

QImage Render(TShadowLabel& l) {
  return l.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class ShadowLabelTest : public QObject {
  Q_OBJECT

 private slots:
  void growsByDeepOnceWhenCreated() {
    TShadowLabel l(QRect(10, 20, 100, 20), nullptr);
    QCOMPARE(l.geometry(), QRect(10, 20, 101, 21));
    l.SetDeep(2);
    QCOMPARE(l.Deep(), 2);
    QCOMPARE(l.size(), QSize(101, 21));
    l.SetDeep(0);
    QCOMPARE(l.Deep(), 2);
    l.SetDeep(5);
    QCOMPARE(l.Deep(), 2);
    l.SetDeep(1);
    QCOMPARE(l.Deep(), 1);
  }

  void defaults() {
    TShadowLabel l;
    const std::pair<QColor, QColor> colours[] = {{l.HiColor(), QColor(0, 0, 255)},
                                                 {l.LoColor(), QColor(0, 0, 128)},
                                                 {l.ShadowColor(), pz::kBtnHighlight}};
    for (const auto& [shown, expected] : colours) QCOMPARE(shown, expected);
    QCOMPARE(l.Border(), TShadowBorder::boNone);
    QVERIFY(l.Ctl3D());
    QCOMPARE(l.BlinkInterval(), 300);
    QCOMPARE(l.Blink(), TShadowBlink::blNone);
    QVERIFY(!l.BlinkTimer().isActive());
  }

  void shadowIsOffsetByDeep_data() {
    QTest::addColumn<int>("deep");
    QTest::newRow("1") << 1;
    QTest::newRow("2") << 2;
  }
  void shadowIsOffsetByDeep() {
    QFETCH(int, deep);
    TShadowLabel l(QRect(0, 0, 120, 30), nullptr);
    Prepare(l, "HIL");
    l.SetDeep(deep);
    const QImage img = Render(l);
    const QRect text = BoxOf(img, kText);
    const QRect shadow = BoxOf(img, kShadow);
    QVERIFY(!text.isEmpty());
    QVERIFY(!shadow.isEmpty());
    // The text covers the shadow except its right and bottom edges.
    QCOMPARE(shadow.right(), text.right() + deep);
    QCOMPARE(shadow.bottom(), text.bottom() + deep);
    // Text at the top left of the client rectangle.
    QVERIFY(text.top() < 8);
    QVERIFY(text.left() < 4);
  }

  void ctl3DOffDrawsNoShadow() {
    TShadowLabel l(QRect(0, 0, 120, 30), nullptr);
    Prepare(l, "HIL");
    l.SetCtl3D(false);
    const QImage img = Render(l);
    QCOMPARE(CountOf(img, kShadow), 0);
    QVERIFY(CountOf(img, kText) > 0);
  }

  void fontColourEqualToLabelColourDrawsNothing() {
    TShadowLabel l(QRect(0, 0, 120, 30), nullptr);
    Prepare(l, "HIL");
    l.SetFontColor(kBack);
    const QImage img = Render(l);
    QCOMPARE(CountOf(img, kBack), img.width() * img.height());
  }

  void disabledDrawsGrayTextOverTheShadow() {
    TShadowLabel l(QRect(0, 0, 120, 30), nullptr);
    Prepare(l, "HIL");
    l.setEnabled(false);
    const QImage img = Render(l);
    QCOMPARE(CountOf(img, kText), 0);
    QVERIFY(CountOf(img, pz::kGrayText) > 0);
    QVERIFY(CountOf(img, kShadow) > 0);
  }

  void transparentLabelLeavesTheBackground() {
    TShadowLabel l(QRect(0, 0, 120, 30), nullptr);
    Prepare(l, "");
    const QImage filled = Render(l);
    QCOMPARE(CountOf(filled, kBack), filled.width() * filled.height());
    l.SetTransparent(true);
    QCOMPARE(CountOf(Render(l), kBack), 0);
  }

  void frames_data() {
    QTest::addColumn<int>("border");
    QTest::addColumn<QColor>("topLeft");
    QTest::addColumn<QColor>("bottomRight");
    QTest::newRow("single") << int(TShadowBorder::boSingle) << pz::kWindowFrame << pz::kWindowFrame;
    QTest::newRow("raised") << int(TShadowBorder::boRaised) << pz::kBtnHighlight << pz::kBtnShadow;
    QTest::newRow("lowered") << int(TShadowBorder::boLowered) << pz::kBtnShadow
                             << pz::kBtnHighlight;
  }
  void frames() {
    QFETCH(int, border);
    QFETCH(QColor, topLeft);
    QFETCH(QColor, bottomRight);
    TShadowLabel l(QRect(0, 0, 99, 19), nullptr);  // 100 x 20 after the shadow's pixel
    QCOMPARE(l.size(), QSize(100, 20));
    Prepare(l, "");
    l.SetBorder(static_cast<TShadowBorder>(border));
    const QImage img = Render(l);
    QCOMPARE(img.pixelColor(0, 10), topLeft);
    QCOMPARE(img.pixelColor(50, 0), topLeft);
    QCOMPARE(img.pixelColor(98, 10), bottomRight);
    QCOMPARE(img.pixelColor(50, 18), bottomRight);
    // The 3-D frame leaves the last column and row alone.
    QCOMPARE(img.pixelColor(99, 10), kBack);
    QCOMPARE(img.pixelColor(50, 19), kBack);
    QCOMPARE(img.pixelColor(50, 10), kBack);
  }

  void noFrameByDefault() {
    TShadowLabel l(QRect(0, 0, 99, 19), nullptr);
    Prepare(l, "");
    const QImage img = Render(l);
    QCOMPARE(img.pixelColor(0, 10), kBack);
    QCOMPARE(img.pixelColor(98, 10), kBack);
  }

  void wrapsAtWordsEvenWithoutWordWrap() {
    TShadowLabel l(QRect(0, 0, 60, 80), nullptr);
    Prepare(l, "AAA BBB CCC");
    l.setWordWrap(false);
    const QRect text = BoxOf(Render(l), kText);
    QVERIFY2(text.height() > 2 * QFontMetrics(l.font()).ascent(), "caption drawn on one line");
    QVERIFY(text.right() < 60);
  }

  void captionIsCutAfter255Characters() {
    QString long300;
    for (int i = 0; i < 150; ++i) long300 += "W ";
    TShadowLabel l(QRect(0, 0, 400, 400), nullptr);
    Prepare(l, long300.left(255));
    const QImage cut = Render(l);
    l.SetCaption(long300);
    QCOMPARE(l.Caption(), long300);
    QCOMPARE(Render(l), cut);
    l.SetCaption(long300.left(253));  // one "W" fewer
    QVERIFY(Render(l) != cut);
  }

  void ampersandFollowsShowAccelChar() {
    TShadowLabel l(QRect(0, 0, 120, 30), nullptr);
    Prepare(l, "&&");
    const int shown = CountOf(Render(l), kText);  // "&&" is one "&"
    l.SetShowAccelChar(false);                    // both drawn
    QVERIFY(CountOf(Render(l), kText) > shown);
  }

  void hiLoStartsFromTheSavedColour() {
    TShadowLabel l;
    QCOMPARE(l.SavedColor(), QColor(0, 0, 0));
    l.SetFontColor(QColor(0, 128, 0));
    l.SetBlink(TShadowBlink::blHiLo);
    QCOMPARE(l.FontColor(), QColor(0, 0, 0));  // the colour of construction time
    QVERIFY(l.BlinkTimer().isActive());
    QCOMPARE(l.BlinkTimer().interval(), 300);
    l.BlinkTimerTimer();
    QCOMPARE(l.FontColor(), l.HiColor());
    l.BlinkTimerTimer();
    QCOMPARE(l.FontColor(), l.LoColor());
    l.BlinkTimerTimer();
    QCOMPARE(l.FontColor(), l.HiColor());
    l.SetBlink(TShadowBlink::blNone);
    QVERIFY(!l.BlinkTimer().isActive());
    QCOMPARE(l.FontColor(), QColor(0, 0, 0));
  }

  void blinkHidesAndShowsTheText() {
    TShadowLabel l(QRect(0, 0, 120, 30), nullptr);
    Prepare(l, "HIL");
    const QColor blue(0, 0, 255);
    l.SetFontColor(blue);
    l.SetBlink(TShadowBlink::blBlink);
    QCOMPARE(l.SavedColor(), blue);
    l.BlinkTimerTimer();
    QCOMPARE(l.FontColor(), kBack);
    QCOMPARE(CountOf(Render(l), kShadow), 0);  // hidden: not even the shadow
    l.BlinkTimerTimer();
    QCOMPARE(l.FontColor(), blue);
    l.BlinkTimerTimer();
    // Back to no blinking while hidden shows the text again in the recorded colour.
    l.SetBlink(TShadowBlink::blNone);
    QCOMPARE(l.FontColor(), blue);
    QVERIFY(CountOf(Render(l), blue) > 0);
    // blHiLo after blBlink starts from the colour recorded when blinking began.
    l.SetFontColor(QColor(1, 2, 3));
    l.SetBlink(TShadowBlink::blHiLo);
    QCOMPARE(l.FontColor(), blue);
  }

  void blinkIntervalReachesTheTimer() {
    TShadowLabel l;
    l.SetBlinkInterval(40);
    QCOMPARE(l.BlinkTimer().interval(), 40);
    l.SetBlink(TShadowBlink::blHiLo);
    QTRY_COMPARE_WITH_TIMEOUT(l.FontColor(), l.LoColor(), 2000);
  }

  void clickSignal() {
    TShadowLabel l;
    QSignalSpy spy(&l, &TShadowLabel::clicked);
    QTest::mouseClick(&l, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
  }
};

QTEST_MAIN(ShadowLabelTest)
#include "tst_shadowlabel.moc"
