#include "screens/infoscreen.h"

#include <QEvent>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <memory>

#include "controls/linklabel.h"
#include "controls/shadowlabel.h"
#include "platform/os.h"
#include "screens/common.h"
#include "screens/internalinfo.h"

namespace pz {

namespace {

QPointer<TInfoScreenFormular> g_infoScreen;

const QColor kBlack{0, 0, 0};
const QColor kPurple{128, 0, 128};

TLinkLabel* NewLinkLabel(QWidget* parent, const QString& name, const QRect& geometry,
                         TLinkType type) {
  auto* link = new TLinkLabel(parent);
  link->setObjectName(name);
  link->setGeometry(geometry);
  link->SetTransparent(true);
  TFont linkFont = PixelFont("Arial", 11, true, false, QColor(0, 0, 255));
  linkFont.font.setUnderline(true);
  link->SetLinkFont(linkFont);
  link->SetPassiveFont(PixelFont("Arial", 11, true, false, kBlack));
  link->SetURLAsHint(true);
  link->SetShowPrefix(false);
  link->SetLabelType(TLabelType::Link);
  link->SetLinkType(type);
  return link;
}

}  // namespace

TInfoScreenFormular* InfoScreenFormular() {
  return g_infoScreen.data();
}

TInfoScreenFormular::TInfoScreenFormular() {
  setObjectName("InfoScreenFormular");
  SetUpFixedDialog(*this, "Infos", 500, 300, PixelFont("Arial", 13, true, false, kBlack));
  internalInfo_ = nullptr;
  BuildBackground();
  BuildTextLines();
  BuildLinks();
  BuildProgramName();
  BuildButtons();
  // The window does not switch hints on: the links carry their address as hint unseen.
  URLLabelWeb->installEventFilter(this);
  URLLabelMail->installEventFilter(this);
  ButtonOK->setFocus();
}

void TInfoScreenFormular::BuildBackground() {
  Image = NewLabel(this, "Image", QRect(0, 0, 500, 300));
  QPixmap background;
  if (background.load(QString::fromStdString(
          JoinPath(DataFolder(ProgrammPfadErmitteln(), kGraphicsFolder), kInfoBackgroundFile))))
    Image->setPixmap(background);
}

void TInfoScreenFormular::BuildTextLines() {
  LabelVersion = NewLabel(this, "LabelVersion", QRect(65, 98, 290, 20), "Version");
  LabelVersion->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  ApplyFont(*LabelVersion, PixelFont("Arial", 13, true, false, kNavy));
  LabelCopyright = NewLabel(this, "LabelCopyright", QRect(65, 119, 290, 20), "(c)");
  LabelCopyright->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  ApplyFont(*LabelCopyright, PixelFont("Arial", 13, false, false, kBlack));
  LabelLizenz = NewLabel(this, "LabelLizenz", QRect(65, 140, 290, 16));
  LabelLizenz->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  ApplyFont(*LabelLizenz, PixelFont("Arial", 11, false, false, kBlack));
  LabelLizenz->hide();
}

void TInfoScreenFormular::BuildLinks() {
  const TFont captionFont = PixelFont("Arial", 11, true, false, kBlack);
  URLLabelWeb = NewLinkLabel(this, "URLLabelWeb", QRect(342, 225, 112, 14), TLinkType::http);
  LabelURLBez = NewLabel(this, "LabelURLBez", QRect(287, 225, 0, 0), "Internet :");
  ApplyFont(*LabelURLBez, captionFont);
  LabelURLBez->adjustSize();
  LabelMailBez = NewLabel(this, "LabelMailBez", QRect(302, 245, 0, 0), "eMail :");
  ApplyFont(*LabelMailBez, captionFont);
  LabelMailBez->adjustSize();
  URLLabelMail = NewLinkLabel(this, "URLLabelMail", QRect(342, 245, 134, 14), TLinkType::mailto);
}

void TInfoScreenFormular::BuildProgramName() {
  LabelProgramName = NewShadowLabel(this, "LabelProgramName", QRect(65, 45, 290, 45));
  LabelProgramName->setAlignment(Qt::AlignHCenter);
  LabelProgramName->SetShadowColor(kGray);
  LabelProgramName->SetDeep(1);
  LabelPXLogo1 = NewShadowLabel(this, "LabelPXLogo1", QRect(435, 20, 0, 0), "P");
  LabelPXLogo2 = NewShadowLabel(this, "LabelPXLogo2", QRect(455, 30, 0, 0), "X");
  const TFont logoFont = PixelFont("Times New Roman", 48, true, false, kGray);
  for (TShadowLabel* logo : {LabelPXLogo1, LabelPXLogo2}) {
    FillShadowLabel(*logo, logo->Caption(), logoFont, kBlack, 1);
  }
}

void TInfoScreenFormular::BuildButtons() {
  ButtonOK = NewOkButton(this, this, QRect(200, 260, 100, 35));
  ButtonInternal = new QPushButton("Internal", this);
  ButtonInternal->setObjectName("ButtonInternal");
  ButtonInternal->setGeometry(415, 270, 75, 25);
  ButtonInternal->setAutoDefault(false);
  connect(ButtonInternal, &QPushButton::clicked, this, &TInfoScreenFormular::ButtonInternalClick);
}

void TInfoScreenFormular::ButtonInternalClick() {
  if (internalInfo_ != nullptr) internalInfo_->Execute();
}

bool TInfoScreenFormular::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ToolTip) return true;
  return QDialog::eventFilter(watched, event);
}

TPXInfoScreenA::TPXInfoScreenA(QObject* owner)
    : QObject(owner),
      logoFont_(PointFont("Times New Roman", 36, true, false, kGray)),
      programNameFont_(PointFont("Times New Roman", 28, true, true, kPurple)),
      versionFont_(PointFont("Arial", 10, true, false, kBlack)) {}

void TPXInfoScreenA::Execute() {
  // Freed also when the modal loop ends by an exception.
  auto form = std::make_unique<TInfoScreenFormular>();
  g_infoScreen = form.get();
  form->SetInternalInfo(internalInfo_);
  form->ButtonInternal->setVisible(internalInfo_ != nullptr);
  FillLogo({form->LabelPXLogo1, form->LabelPXLogo2}, showLogo_, logoFont_, logoShadowColor_,
           logoShadowDeep_);
  FillShadowLabel(*form->LabelProgramName,
                  ProgramNameCaption(showCompanyNameShort_, companyNameShort_, programName_),
                  programNameFont_, programNameShadowColor_, programNameShadowDeep_);
  FillTextLines(*form);
  FillLink(*form->URLLabelWeb, *form->LabelURLBez, showURL_, url_);
  FillLink(*form->URLLabelMail, *form->LabelMailBez, showMail_, mail_);
  RunModal(*form);
}

void TPXInfoScreenA::FillTextLines(TInfoScreenFormular& form) const {
  if (showVersion_) {
    form.LabelVersion->setText("Version " + versionPrg_);
    ApplyFont(*form.LabelVersion, versionFont_);
    form.LabelVersion->show();
  } else {
    form.LabelVersion->hide();
  }
  if (showYear_) {
    form.LabelCopyright->setText("(c) " + year_ + " by " + companyNameLong_);
    form.LabelCopyright->show();
  } else {
    form.LabelCopyright->hide();
  }
  form.LabelLizenz->setText(lizenz_);
  form.LabelLizenz->setVisible(!lizenz_.isEmpty());
}

void TPXInfoScreenA::FillLink(TLinkLabel& link, QLabel& caption, bool show,
                              const QString& address) {
  if (!show) {
    link.hide();
    caption.hide();
    return;
  }
  // Caption first: it keeps the address as given, while the label's own address drops the
  // scheme and takes its link type from the address.
  link.SetCaption(address);
  link.setToolTip(address);
  link.SetURL(address);
  link.show();
}

}  // namespace pz
