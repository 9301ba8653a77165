// A font as the maker's components hand it around: name, size, style and colour together.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;

namespace pz {

class TShadowLabel;

struct TFont {
  QFont font;
  QColor color{0, 0, 0};
};

// A font given in points, as the components' properties state their sizes.
TFont PointFont(const QString& family, int points, bool bold, bool italic, const QColor& color);
// A font given in pixels, as the fixed form layouts state theirs.
TFont PixelFont(const QString& family, int pixels, bool bold, bool italic, const QColor& color);

// Font and text colour of a plain label.
void ApplyFont(QLabel& label, const TFont& font);
// Font and font colour of a shadow label; one sized to its text is fitted again.
void ApplyFont(TShadowLabel& label, const TFont& font);

}  // namespace pz
