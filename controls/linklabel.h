// A label that shows a web or mail address and opens it through the desktop when clicked. It
// takes the link look (underlined blue, pointing hand) or the passive look either by a fixed
// setting or by whether the desktop has a program registered for the kind of address.
#pragma once

#include <QLabel>
#include <QString>

#include "controls/font.h"

namespace pz {

enum class TLabelType { Auto, Passive, Link };
enum class TLinkType { http, mailto };

// The number under which the classic program registered its pointing-hand cursor; here the
// platform's own pointing hand stands in for it.
inline constexpr int crLinkHand = 8888;

// Example addresses that reach nobody; they stand in until an address is assigned.
inline constexpr const char* kPlaceholderWeb = "www.example.org";
inline constexpr const char* kPlaceholderMail = "nobody@example.org";

class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLinkLabel(QWidget* parent = nullptr);

  const TFont& LinkFont() const { return linkFont_; }
  void SetLinkFont(const TFont& font) { linkFont_ = font; }
  const TFont& PassiveFont() const { return passiveFont_; }
  void SetPassiveFont(const TFont& font) { passiveFont_ = font; }

  QString Caption() const { return text(); }
  void SetCaption(const QString& caption);
  QString URL() const { return url_; }
  void SetURL(const QString& url);
  bool URLAsHint() const { return urlAsHint_; }
  void SetURLAsHint(bool on);
  bool ShowPrefix() const { return showPrefix_; }
  void SetShowPrefix(bool on);
  TLabelType LabelType() const { return labelType_; }
  void SetLabelType(TLabelType type);
  TLinkType LinkType() const { return linkType_; }
  void SetLinkType(TLinkType type);

  // The label properties of the classic control that this one keeps.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  QColor Color() const { return color_; }
  void SetColor(const QColor& c);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool WordWrap() const { return wordWrap(); }
  void SetWordWrap(bool on) { setWordWrap(on); }

  QString LinkText() const { return linkText_; }
  bool CaptionSet() const { return captionSet_; }
  bool HandlerAvailable() const { return handlerAvailable_; }
  // Active: shown as a link and opened on click.
  bool Active() const;

  // The open command registered for a file extension with its dot (".html"); empty if none.
  static QString GetOpenCommand(const QString& extension);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void DetectHandler();
  void UpdateAppearance();
  void UpdateLinkText();
  void UpdateHint();
  void SetText(const QString& text);
  void Click();

  TFont linkFont_;
  TFont passiveFont_;
  QString url_;
  QString linkText_;
  bool urlAsHint_ = false;
  bool showPrefix_ = false;
  bool captionSet_ = false;
  bool handlerAvailable_ = false;
  bool pressed_ = false;
  TLabelType labelType_ = TLabelType::Auto;
  TLinkType linkType_ = TLinkType::http;
  bool transparent_ = false;
  QColor color_{192, 192, 192};
  bool autoSize_ = true;
};

}  // namespace pz
