#include "controls/linklabel.h"

#include <QMimeDatabase>
#include <QMouseEvent>
#include <QPalette>

#include "controls/desktopshell.h"

namespace pz {

namespace {

const QString kHttpPrefix = "http://";
const QString kMailtoPrefix = "mailto:";

}  // namespace

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);  // "&" and "<" are shown as they are
  SetTransparent(false);
  DetectHandler();
  linkFont_.font = font();
  linkFont_.font.setUnderline(true);
  linkFont_.color = QColor(0, 0, 255);
  passiveFont_.font = font();
  passiveFont_.color = palette().color(QPalette::WindowText);
  SetURL(kPlaceholderWeb);
  UpdateAppearance();
  urlAsHint_ = true;  // the hint stays empty until the address or a hint setting changes
}

void TLinkLabel::SetCaption(const QString& caption) {
  captionSet_ = true;
  SetText(caption);
}

void TLinkLabel::SetText(const QString& text) {
  setText(text);
  if (autoSize_) adjustSize();
}

void TLinkLabel::SetURL(const QString& url) {
  if (url == url_) return;
  // The kind of address follows from its shape; "/" wins over "@".
  if (url.contains('@')) linkType_ = TLinkType::mailto;
  if (url.contains('/')) linkType_ = TLinkType::http;
  const QString head = url.left(7).toLower();
  url_ = (head == kMailtoPrefix || head == kHttpPrefix) ? url.mid(7) : url;
  UpdateLinkText();
}

void TLinkLabel::SetURLAsHint(bool on) {
  if (on == urlAsHint_) return;
  urlAsHint_ = on;
  UpdateHint();
}

void TLinkLabel::SetShowPrefix(bool on) {
  showPrefix_ = on;
  UpdateLinkText();
}

void TLinkLabel::SetLabelType(TLabelType type) {
  if (type == labelType_) return;
  labelType_ = type;
  UpdateAppearance();
}

void TLinkLabel::SetLinkType(TLinkType type) {
  if (type == linkType_) return;
  linkType_ = type;
  DetectHandler();
  if (type == TLinkType::http && url_ == kPlaceholderMail) url_ = kPlaceholderWeb;
  if (type == TLinkType::mailto && url_ == kPlaceholderWeb) url_ = kPlaceholderMail;
  UpdateLinkText();
}

void TLinkLabel::SetTransparent(bool on) {
  transparent_ = on;
  setAutoFillBackground(!on);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, color_);
  setPalette(pal);
}

void TLinkLabel::SetColor(const QColor& c) {
  color_ = c;
  SetTransparent(transparent_);
}

void TLinkLabel::SetAutoSize(bool on) {
  autoSize_ = on;
  if (on) adjustSize();
}

bool TLinkLabel::Active() const {
  return labelType_ == TLabelType::Link || (labelType_ == TLabelType::Auto && handlerAvailable_);
}

QString TLinkLabel::GetOpenCommand(const QString& extension) {
  const QMimeType mime =
      QMimeDatabase().mimeTypeForFile("file" + extension, QMimeDatabase::MatchExtension);
  if (!mime.isValid() || mime.isDefault()) return {};
  return DesktopShell().HandlerCommand(mime.name());
}

void TLinkLabel::DetectHandler() {
  if (linkType_ == TLinkType::http) {
    handlerAvailable_ = !GetOpenCommand(".html").isEmpty() && !GetOpenCommand(".htm").isEmpty();
  } else {
    handlerAvailable_ = !DesktopShell().HandlerCommand("x-scheme-handler/mailto").isEmpty();
  }
}

void TLinkLabel::UpdateAppearance() {
  const TFont& f = Active() ? linkFont_ : passiveFont_;
  setFont(f.font);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, f.color);
  setPalette(pal);
  if (Active())
    setCursor(Qt::PointingHandCursor);
  else
    unsetCursor();
  if (autoSize_) adjustSize();
}

void TLinkLabel::UpdateLinkText() {
  QString text = url_;
  if (showPrefix_) text = (linkType_ == TLinkType::http ? kHttpPrefix : kMailtoPrefix) + url_;
  if (!captionSet_) SetText(text);
  linkText_ = text;
  UpdateHint();
}

void TLinkLabel::UpdateHint() {
  setToolTip(urlAsHint_ ? linkText_ : QString());
}

void TLinkLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  if (click) Click();
}

void TLinkLabel::Click() {
  emit clicked();
  if (!Active()) return;
  // The stored address never carries its scheme; a web address without one ("www.…") is
  // completed to http by fromUserInput, as the Windows shell did.
  const QUrl target =
      linkType_ == TLinkType::http ? QUrl::fromUserInput(url_) : QUrl(kMailtoPrefix + url_);
  DesktopShell().Open(target);
}

}  // namespace pz
