// Building blocks the maker's screens and the program's window share: fixed-layout controls,
// the relief captions, the dialog frame with only a close box, and the one way a modal dialog
// is run.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <initializer_list>

#include "controls/font.h"
#include "platform/modal_qt.h"

class QDialog;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace pz {

class TShadowLabel;

inline const QColor kSilver{192, 192, 192};
inline const QColor kGray{128, 128, 128};
inline const QColor kNavy{0, 0, 128};

// A plain, transparent label; an empty size means "sized to its text".
QLabel* NewLabel(QWidget* parent, const QString& name, const QRect& geometry,
                 const QString& caption = {});
// A transparent shadow label with relief on, no frame, no blinking; an empty size means
// "sized to its text".
TShadowLabel* NewShadowLabel(QWidget* parent, const QString& name, const QRect& geometry,
                             const QString& caption = {});
// A panel: a plain widget, optionally filled with a colour.
QWidget* NewPanel(QWidget* parent, const QString& name, const QRect& geometry,
                  const QColor& fill = QColor());
// A one-line bevel; top selects the line along the top edge, else the bottom edge.
QFrame* NewBevel(QWidget* parent, const QString& name, const QRect& geometry);
// The OK button with its standard glyph; it accepts the dialog.
QPushButton* NewOkButton(QDialog* dialog, QWidget* parent, const QRect& geometry);

// Caption, font, shadow colour and depth of a relief label; depths other than 1 and 2 leave
// the label's depth as it was.
void FillShadowLabel(TShadowLabel& label, const QString& caption, const TFont& font,
                     const QColor& shadowColor, std::uint8_t deep);

// The logo's letters in relief with the font, or hidden.
void FillLogo(std::initializer_list<TShadowLabel*> letters, bool show, const TFont& font,
              const QColor& shadowColor, std::uint8_t deep);

// "PX-Parzello" or "Parzello".
QString ProgramNameCaption(bool showShort, const QString& companyShort, const QString& program);

// A fixed-size dialog with a caption and only the close box (RunModal centres it).
void SetUpFixedDialog(QDialog& dialog, const QString& caption, int width, int height,
                      const TFont& font);

}  // namespace pz
