#include "screens/common.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <utility>

#include "controls/shadowlabel.h"

namespace pz {

QLabel* NewLabel(QWidget* parent, const QString& name, const QRect& geometry,
                 const QString& caption) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  if (geometry.size().isEmpty()) {
    label->move(geometry.topLeft());
    label->adjustSize();
  } else {
    label->setGeometry(geometry);
  }
  return label;
}

TShadowLabel* NewShadowLabel(QWidget* parent, const QString& name, const QRect& geometry,
                             const QString& caption) {
  auto* label = new TShadowLabel(parent);
  label->setObjectName(name);
  label->SetTransparent(true);
  label->SetCtl3D(true);
  label->SetCaption(caption);
  if (geometry.size().isEmpty()) {
    label->move(geometry.topLeft());
    label->SetAutoSize(true);
  } else {
    // A label placed on a form takes the form's size, not the constructor's enlarged one.
    label->setGeometry(geometry);
  }
  return label;
}

QWidget* NewPanel(QWidget* parent, const QString& name, const QRect& geometry, const QColor& fill) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(name);
  panel->setGeometry(geometry);
  if (fill.isValid()) {
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, fill);
    panel->setPalette(pal);
    panel->setAutoFillBackground(true);
  }
  return panel;
}

QFrame* NewBevel(QWidget* parent, const QString& name, const QRect& geometry) {
  auto* bevel = new QFrame(parent);
  bevel->setObjectName(name);
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(geometry);
  return bevel;
}

QPushButton* NewOkButton(QDialog* dialog, QWidget* parent, const QRect& geometry) {
  auto* button =
      new QPushButton(parent->style()->standardIcon(QStyle::SP_DialogOkButton), "OK", parent);
  button->setObjectName("ButtonOK");
  button->setGeometry(geometry);
  button->setDefault(true);
  QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
  return button;
}

void FillShadowLabel(TShadowLabel& label, const QString& caption, const TFont& font,
                     const QColor& shadowColor, std::uint8_t deep) {
  label.SetShadowColor(shadowColor);
  label.SetDeep(deep);
  label.SetCaption(caption);
  ApplyFont(label, font);
}

void FillLogo(std::initializer_list<TShadowLabel*> letters, bool show, const TFont& font,
              const QColor& shadowColor, std::uint8_t deep) {
  for (TShadowLabel* letter : letters) {
    if (show) {
      FillShadowLabel(*letter, letter->Caption(), font, shadowColor, deep);
      letter->show();
    } else {
      letter->hide();
    }
  }
}

QString ProgramNameCaption(bool showShort, const QString& companyShort, const QString& program) {
  return showShort ? companyShort + "-" + program : program;
}

void SetUpFixedDialog(QDialog& dialog, const QString& caption, int width, int height,
                      const TFont& font) {
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint);
  dialog.setWindowTitle(caption);
  dialog.setFixedSize(width, height);
  dialog.setFont(font.font);
  QPalette pal = dialog.palette();
  pal.setColor(QPalette::WindowText, font.color);
  dialog.setPalette(pal);
}

}  // namespace pz
