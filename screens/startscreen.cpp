#include "screens/startscreen.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "controls/shadowlabel.h"
#include "screens/common.h"

namespace pz {

namespace {

QPointer<TStartScreenFormular> g_startScreen;

const QColor kWhite{255, 255, 255};

}  // namespace

TStartScreenFormular* StartScreenFormular() {
  return g_startScreen.data();
}

TStartScreenFormular::TStartScreenFormular() {
  setObjectName("StartScreenFormular");
  setAttribute(Qt::WA_DeleteOnClose);
  // A splash stays above the main window but does not take it over.
  setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  setFixedSize(500, 270);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(3);
  Panel1->setGeometry(0, 0, 500, 270);
  Panel = NewPanel(Panel1, "Panel", QRect(3, 3, 494, 264), kSilver);
  ImageHinter = new QLabel(Panel);
  ImageHinter->setObjectName("ImageHinter");
  ImageHinter->setGeometry(0, 0, 494, 264);
  ImageHinter->setAlignment(Qt::AlignCenter);

  // Placeholders until Execute fills them in.
  LabelCopyright = NewLabel(Panel, "LabelCopyright", QRect(30, 245, 0, 0), "(c)");
  LabelVersionFor = NewLabel(Panel, "LabelVersionFor", QRect(205, 245, 285, 15));
  LabelVersionFor->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  LabelProgramName = NewShadowLabel(Panel, "LabelProgramName", QRect(205, 140, 285, 65));
  LabelProgramName->setAlignment(Qt::AlignHCenter);
  LabelProgramName->setWordWrap(true);
  LabelVersion = NewShadowLabel(Panel, "LabelVersion", QRect(205, 210, 285, 30));
  LabelVersion->setAlignment(Qt::AlignHCenter);
  LabelCompany = NewShadowLabel(Panel, "LabelCompany", QRect(210, 88, 0, 0), "Company");
  LabelPXLogo1 = NewShadowLabel(Panel, "LabelPXLogo1", QRect(420, 70, 0, 0), "P");
  LabelPXLogo2 = NewShadowLabel(Panel, "LabelPXLogo2", QRect(440, 80, 0, 0), "X");
  LabelCompanyOben = NewShadowLabel(Panel, "LabelCompanyOben", QRect(210, 5, 280, 25));
  LabelCompanyOben->setAlignment(Qt::AlignRight);

  for (QWidget* w : std::initializer_list<QWidget*>{ImageHinter, LabelCopyright, LabelVersionFor,
                                                    LabelProgramName, LabelVersion, LabelCompany,
                                                    LabelPXLogo1, LabelPXLogo2, LabelCompanyOben}) {
    w->installEventFilter(this);
  }

  Timer = new QTimer(this);
  Timer->setObjectName("Timer");
  Timer->setInterval(5000);
  Timer->setSingleShot(false);
  connect(Timer, &QTimer::timeout, this, &TStartScreenFormular::TimerTimer);
}

void TStartScreenFormular::FormShow() {
  // A display time of 0 means "until clicked"; a zero-interval timer would fire at once.
  if (Timer->interval() > 0) Timer->start();
}

void TStartScreenFormular::TimerTimer() {
  Timer->stop();
  close();
}

void TStartScreenFormular::LabelClick() {
  Timer->stop();
  close();
}

void TStartScreenFormular::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FormShow();
}

void TStartScreenFormular::closeEvent(QCloseEvent* event) {
  Timer->stop();  // the window is then deleted later, once the close is processed
  QWidget::closeEvent(event);
}

bool TStartScreenFormular::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    LabelClick();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

TPXStartScreenA::TPXStartScreenA(QObject* owner)
    : QObject(owner),
      companyNameLongFont_(PointFont("Arial", 16, true, false, kWhite)),
      companyNameLongObenFont_(PointFont("Arial", 11, true, true, kWhite)),
      logoFont_(PointFont("Times New Roman", 36, true, false, kGray)),
      otherFont_(PointFont("Arial", 8, true, false, kWhite)),
      programNameFont_(PointFont("Times New Roman", 32, true, true, QColor(255, 255, 0))),
      versionFont_(PointFont("Arial", 14, true, false, kWhite)) {}

TPXStartScreenA::~TPXStartScreenA() {
  for (const auto& w : windows_) delete w.data();
}

void TPXStartScreenA::Execute() {
  g_startScreen = nullptr;
  auto* form = new TStartScreenFormular();
  g_startScreen = form;
  std::erase_if(windows_, [](const auto& w) { return w.isNull(); });
  windows_.emplace_back(form);

  ShowPicture(*form);
  FillCompany(*form);
  FillLogo({form->LabelPXLogo1, form->LabelPXLogo2}, showLogo_, logoFont_, logoShadowColor_,
           logoShadowDeep_);
  FillTextLines(*form);
  FillShadowLabel(*form->LabelProgramName,
                  ProgramNameCaption(showCompanyNameShort_, companyNameShort_, programName_),
                  programNameFont_, programNameShadowColor_, programNameShadowDeep_);

  form->Timer->setInterval(displayTime_);
  CenterOnScreen(*form);
  form->show();
  // Drawn completely before the caller goes on with its start-up work.
  form->repaint();
  form->ImageHinter->repaint();
}

void TPXStartScreenA::ShowPicture(TStartScreenFormular& form) const {
  if (bitmap_.isEmpty() || !QFileInfo(bitmap_).isFile()) return;
  QPixmap picture;
  if (picture.load(bitmap_))
    form.ImageHinter->setPixmap(picture);
  else
    form.ImageHinter->clear();  // the silver panel shows instead
}

void TPXStartScreenA::FillCompany(TStartScreenFormular& form) const {
  FillShadowLabel(*form.LabelCompany, companyNameLong_, companyNameLongFont_,
                  companyNameLongShadowColor_, companyNameLongShadowDeep_);
  // Right-justified: the trailing space keeps the text off the right edge.
  FillShadowLabel(*form.LabelCompanyOben, companyNameLong_ + " ", companyNameLongObenFont_,
                  companyNameLongObenShadowColor_, companyNameLongObenShadowDeep_);
}

void TPXStartScreenA::FillTextLines(TStartScreenFormular& form) const {
  if (showVersion_) {
    FillShadowLabel(*form.LabelVersion, "Version " + versionPrg_, versionFont_, versionShadowColor_,
                    versionShadowDeep_);
    form.LabelVersion->show();
  } else {
    form.LabelVersion->hide();
  }

  form.LabelVersionFor->setText(textVersionFor_);
  ApplyFont(*form.LabelVersionFor, otherFont_);

  if (showYear_) {
    form.LabelCopyright->setText("(c) by " + companyNameLong_ + " " + year_);
    ApplyFont(*form.LabelCopyright, otherFont_);
    form.LabelCopyright->adjustSize();
    form.LabelCopyright->show();
  } else {
    form.LabelCopyright->hide();
  }
}

}  // namespace pz
