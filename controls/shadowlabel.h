// A label drawn in relief: the caption once as a shadow, offset by one or two pixels, and once
// on top; with an optional one-pixel 3-D frame and blinking.
#pragma once

#include <QColor>
#include <QLabel>
#include <QTimer>

namespace pz {

enum class TShadowBorder { boNone, boSingle, boRaised, boLowered };
enum class TShadowBlink { blNone, blBlink, blHiLo };

// The system colours the frames and the disabled text use, as the classic desktop had them.
inline const QColor kBtnHighlight{255, 255, 255};
inline const QColor kBtnShadow{128, 128, 128};
inline const QColor kWindowFrame{0, 0, 0};
inline const QColor kGrayText{128, 128, 128};
inline const QColor kBtnFace{192, 192, 192};

class TShadowLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TShadowLabel(QWidget* parent = nullptr);
  // Created at a given place and size; the label then grows by Deep for the shadow.
  TShadowLabel(const QRect& geometry, QWidget* parent);

  QColor HiColor() const { return hiColor_; }
  void SetHiColor(const QColor& c);
  QColor LoColor() const { return loColor_; }
  void SetLoColor(const QColor& c);
  TShadowBorder Border() const { return border_; }
  void SetBorder(TShadowBorder b);
  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool on);
  int BlinkInterval() const { return blinkInterval_; }
  void SetBlinkInterval(int ms);
  TShadowBlink Blink() const { return blink_; }
  void SetBlink(TShadowBlink mode);
  QColor ShadowColor() const { return shadowColor_; }
  void SetShadowColor(const QColor& c);
  int Deep() const { return deep_; }
  void SetDeep(int deep);

  // The properties of the classic label that painting depends on.
  QString Caption() const { return text(); }
  void SetCaption(const QString& caption);
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor& c);
  QColor Color() const { return color_; }  // the label's own colour
  void SetColor(const QColor& c);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool on);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);

  QColor SavedColor() const { return savedColor_; }
  QTimer& BlinkTimer() { return blinkTimer_; }
  // One blink step; the timer calls it every BlinkInterval milliseconds.
  void BlinkTimerTimer();

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void Init();
  void FitToText();

  QColor hiColor_{0, 0, 255};
  QColor loColor_{0, 0, 128};
  TShadowBorder border_ = TShadowBorder::boNone;
  bool ctl3D_ = true;
  int blinkInterval_ = 300;
  TShadowBlink blink_ = TShadowBlink::blNone;
  QColor shadowColor_ = kBtnHighlight;
  int deep_ = 1;
  QColor fontColor_{0, 0, 0};
  QColor color_ = kBtnFace;
  bool transparent_ = false;
  bool showAccelChar_ = true;
  bool autoSize_ = false;
  QColor savedColor_;
  QTimer blinkTimer_;
};

}  // namespace pz
