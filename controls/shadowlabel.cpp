#include "controls/shadowlabel.h"

#include <QMouseEvent>
#include <QPainter>

namespace pz {

namespace {

// The classic default size of a new label.
const QRect kDefaultGeometry(0, 0, 65, 17);
constexpr int kMaxCaptionChars = 255;

}  // namespace

TShadowLabel::TShadowLabel(QWidget* parent) : TShadowLabel(kDefaultGeometry, parent) {}

TShadowLabel::TShadowLabel(const QRect& geometry, QWidget* parent) : QLabel(parent) {
  setGeometry(geometry);
  Init();
}

void TShadowLabel::Init() {
  deep_ = 1;
  savedColor_ = fontColor_;
  blinkTimer_.setInterval(blinkInterval_);
  connect(&blinkTimer_, &QTimer::timeout, this, &TShadowLabel::BlinkTimerTimer);
  // Room for the shadow.
  resize(width() + deep_, height() + deep_);
}

void TShadowLabel::SetHiColor(const QColor& c) {
  if (c == hiColor_) return;
  hiColor_ = c;
  update();
}

void TShadowLabel::SetLoColor(const QColor& c) {
  if (c == loColor_) return;
  loColor_ = c;
  update();
}

void TShadowLabel::SetBorder(TShadowBorder b) {
  if (b == border_) return;
  border_ = b;
  update();
}

void TShadowLabel::SetCtl3D(bool on) {
  if (on == ctl3D_) return;
  ctl3D_ = on;
  update();
}

void TShadowLabel::SetShadowColor(const QColor& c) {
  if (c == shadowColor_) return;
  shadowColor_ = c;
  update();
}

void TShadowLabel::SetDeep(int deep) {
  if (deep == deep_ || deep < 1 || deep > 2) return;
  deep_ = deep;
  update();
}

void TShadowLabel::SetBlinkInterval(int ms) {
  if (ms == blinkInterval_) return;
  blinkInterval_ = ms;
  blinkTimer_.setInterval(ms);
  update();
}

void TShadowLabel::SetBlink(TShadowBlink mode) {
  if (mode == blink_) return;
  blink_ = mode;
  if (mode == TShadowBlink::blBlink)
    savedColor_ = fontColor_;
  else
    SetFontColor(savedColor_);
  if (mode != TShadowBlink::blNone)
    blinkTimer_.start();
  else
    blinkTimer_.stop();
  update();
}

void TShadowLabel::BlinkTimerTimer() {
  if (blink_ == TShadowBlink::blHiLo) {
    SetFontColor(fontColor_ == hiColor_ ? loColor_ : hiColor_);
  } else if (blink_ == TShadowBlink::blBlink) {
    SetFontColor(fontColor_ == color_ ? savedColor_ : color_);
  }
}

void TShadowLabel::SetCaption(const QString& caption) {
  if (caption == text()) return;
  setText(caption);
  if (autoSize_) FitToText();
  update();
}

void TShadowLabel::SetFontColor(const QColor& c) {
  if (c == fontColor_) return;
  fontColor_ = c;
  update();
}

void TShadowLabel::SetColor(const QColor& c) {
  if (c == color_) return;
  color_ = c;
  update();
}

void TShadowLabel::SetTransparent(bool on) {
  if (on == transparent_) return;
  transparent_ = on;
  update();
}

void TShadowLabel::SetShowAccelChar(bool on) {
  if (on == showAccelChar_) return;
  showAccelChar_ = on;
  update();
}

void TShadowLabel::SetAutoSize(bool on) {
  autoSize_ = on;
  if (on) FitToText();
}

void TShadowLabel::FitToText() {
  const QFontMetrics fm(font());
  const QString shown = text().left(kMaxCaptionChars);
  const QRect r =
      fm.boundingRect(QRect(0, 0, 10000, 10000),
                      Qt::TextExpandTabs | (showAccelChar_ ? Qt::TextShowMnemonic : 0), shown);
  resize(r.width() + deep_, r.height() + deep_);
}

void TShadowLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r(0, 0, width(), height());
  if (!transparent_) p.fillRect(r, color_);
  p.setBrush(Qt::NoBrush);

  // Frame lines run along x = 0, y = 0 and x = W - 2, y = H - 2.
  if (border_ != TShadowBorder::boNone) {
    QColor topLeft = kWindowFrame, bottomRight = kWindowFrame;
    if (border_ == TShadowBorder::boRaised) topLeft = kBtnHighlight, bottomRight = kBtnShadow;
    if (border_ == TShadowBorder::boLowered) topLeft = kBtnShadow, bottomRight = kBtnHighlight;
    const int right = width() - 2, bottom = height() - 2;
    p.setPen(topLeft);
    p.drawLine(0, 0, right, 0);
    p.drawLine(0, 0, 0, bottom);
    p.setPen(bottomRight);
    p.drawLine(right, 0, right, bottom);
    p.drawLine(0, bottom, right, bottom);
  }

  int flags = Qt::AlignTop | Qt::TextExpandTabs | Qt::TextWordWrap;
  const Qt::Alignment h = alignment() & Qt::AlignHorizontal_Mask;
  flags |= (h & Qt::AlignRight)     ? Qt::AlignRight
           : (h & Qt::AlignHCenter) ? Qt::AlignHCenter
                                    : Qt::AlignLeft;
  if (showAccelChar_) flags |= Qt::TextShowMnemonic;
  const QString shown = text().left(kMaxCaptionChars);

  p.setFont(font());
  if (ctl3D_ && fontColor_ != color_) {
    const QRect shadow = r.translated(deep_, deep_);
    p.save();
    p.setClipRect(shadow);
    p.setPen(shadowColor_);
    p.drawText(shadow, flags, shown);
    p.restore();
  }
  if (fontColor_ != color_) {
    p.setPen(isEnabled() ? fontColor_ : kGrayText);
    p.drawText(r, flags, shown);
  }
}

void TShadowLabel::mousePressEvent(QMouseEvent* event) {
  QLabel::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) emit clicked();
}

}  // namespace pz
