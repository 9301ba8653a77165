#include "controls/font.h"

#include <QLabel>
#include <QPalette>

#include "controls/shadowlabel.h"

namespace pz {

namespace {

TFont MakeFont(const QString& family, bool bold, bool italic, const QColor& color) {
  TFont f;
  f.font.setFamily(family);
  f.font.setBold(bold);
  f.font.setItalic(italic);
  f.color = color;
  return f;
}

}  // namespace

TFont PointFont(const QString& family, int points, bool bold, bool italic, const QColor& color) {
  TFont f = MakeFont(family, bold, italic, color);
  f.font.setPointSize(points);
  return f;
}

TFont PixelFont(const QString& family, int pixels, bool bold, bool italic, const QColor& color) {
  TFont f = MakeFont(family, bold, italic, color);
  f.font.setPixelSize(pixels);
  return f;
}

void ApplyFont(QLabel& label, const TFont& font) {
  label.setFont(font.font);
  QPalette pal = label.palette();
  pal.setColor(QPalette::WindowText, font.color);
  label.setPalette(pal);
}

void ApplyFont(TShadowLabel& label, const TFont& font) {
  label.setFont(font.font);
  label.SetFontColor(font.color);
  if (label.AutoSize()) label.SetAutoSize(true);
}

}  // namespace pz
