// The splash screen: a borderless picture window shown at start-up for a few seconds, with
// company, program name, version, a systems line and a copyright line drawn in relief.
// TPXStartScreenA holds the settings; each Execute builds a TStartScreenFormular from them.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "controls/font.h"
#include "lang/component.h"

class QFrame;
class QLabel;

namespace pz {

class TShadowLabel;

class TStartScreenFormular : public QWidget {
  Q_OBJECT

 public:
  TStartScreenFormular();

  QFrame* Panel1;
  QWidget* Panel;
  QLabel* ImageHinter;
  QLabel* LabelCopyright;
  QLabel* LabelVersionFor;
  TShadowLabel* LabelProgramName;
  TShadowLabel* LabelVersion;
  TShadowLabel* LabelCompany;
  TShadowLabel* LabelPXLogo1;
  TShadowLabel* LabelPXLogo2;
  TShadowLabel* LabelCompanyOben;
  QTimer* Timer;

  void FormShow();
  void TimerTimer();
  void LabelClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// The splash window most recently created by Execute; empty once it is gone.
TStartScreenFormular* StartScreenFormular();

class TPXStartScreenA : public QObject, public TPXComponent {
  Q_OBJECT

 public:
  explicit TPXStartScreenA(QObject* owner = nullptr);
  // Splash windows still open go with the component (and so with the main window).
  ~TPXStartScreenA() override;

  const char* ClassName() const override { return "TPXStartScreenA"; }
  const char* Version() const override { return "1.02"; }
  const char* LastCompile() const override { return "01.02.2000"; }

  QString Bitmap() const { return bitmap_; }
  void SetBitmap(const QString& path) { bitmap_ = path; }
  QString CompanyNameLong() const { return companyNameLong_; }
  void SetCompanyNameLong(const QString& s) { companyNameLong_ = s; }
  const TFont& CompanyNameLongFont() const { return companyNameLongFont_; }
  void SetCompanyNameLongFont(const TFont& f) { companyNameLongFont_ = f; }
  QColor CompanyNameLongShadowColor() const { return companyNameLongShadowColor_; }
  void SetCompanyNameLongShadowColor(const QColor& c) { companyNameLongShadowColor_ = c; }
  std::uint8_t CompanyNameLongShadowDeep() const { return companyNameLongShadowDeep_; }
  void SetCompanyNameLongShadowDeep(std::uint8_t d) { companyNameLongShadowDeep_ = d; }
  const TFont& CompanyNameLongObenFont() const { return companyNameLongObenFont_; }
  void SetCompanyNameLongObenFont(const TFont& f) { companyNameLongObenFont_ = f; }
  QColor CompanyNameLongObenShadowColor() const { return companyNameLongObenShadowColor_; }
  void SetCompanyNameLongObenShadowColor(const QColor& c) { companyNameLongObenShadowColor_ = c; }
  std::uint8_t CompanyNameLongObenShadowDeep() const { return companyNameLongObenShadowDeep_; }
  void SetCompanyNameLongObenShadowDeep(std::uint8_t d) { companyNameLongObenShadowDeep_ = d; }
  QString CompanyNameShort() const { return companyNameShort_; }
  void SetCompanyNameShort(const QString& s) { companyNameShort_ = s; }
  std::uint16_t DisplayTime() const { return displayTime_; }
  void SetDisplayTime(std::uint16_t ms) { displayTime_ = ms; }
  const TFont& LogoFont() const { return logoFont_; }
  void SetLogoFont(const TFont& f) { logoFont_ = f; }
  QColor LogoShadowColor() const { return logoShadowColor_; }
  void SetLogoShadowColor(const QColor& c) { logoShadowColor_ = c; }
  std::uint8_t LogoShadowDeep() const { return logoShadowDeep_; }
  void SetLogoShadowDeep(std::uint8_t d) { logoShadowDeep_ = d; }
  const TFont& OtherFont() const { return otherFont_; }
  void SetOtherFont(const TFont& f) { otherFont_ = f; }
  QString ProgramName() const { return programName_; }
  void SetProgramName(const QString& s) { programName_ = s; }
  const TFont& ProgramNameFont() const { return programNameFont_; }
  void SetProgramNameFont(const TFont& f) { programNameFont_ = f; }
  QColor ProgramNameShadowColor() const { return programNameShadowColor_; }
  void SetProgramNameShadowColor(const QColor& c) { programNameShadowColor_ = c; }
  std::uint8_t ProgramNameShadowDeep() const { return programNameShadowDeep_; }
  void SetProgramNameShadowDeep(std::uint8_t d) { programNameShadowDeep_ = d; }
  QString VersionPrg() const { return versionPrg_; }
  void SetVersionPrg(const QString& s) { versionPrg_ = s; }
  const TFont& VersionFont() const { return versionFont_; }
  void SetVersionFont(const TFont& f) { versionFont_ = f; }
  QColor VersionShadowColor() const { return versionShadowColor_; }
  void SetVersionShadowColor(const QColor& c) { versionShadowColor_ = c; }
  std::uint8_t VersionShadowDeep() const { return versionShadowDeep_; }
  void SetVersionShadowDeep(std::uint8_t d) { versionShadowDeep_ = d; }
  QString TextVersionFor() const { return textVersionFor_; }
  void SetTextVersionFor(const QString& s) { textVersionFor_ = s; }
  bool ShowCompanyNameShort() const { return showCompanyNameShort_; }
  void SetShowCompanyNameShort(bool on) { showCompanyNameShort_ = on; }
  bool ShowLogo() const { return showLogo_; }
  void SetShowLogo(bool on) { showLogo_ = on; }
  bool ShowVersion() const { return showVersion_; }
  void SetShowVersion(bool on) { showVersion_ = on; }
  bool ShowYear() const { return showYear_; }
  void SetShowYear(bool on) { showYear_ = on; }
  QString Year() const { return year_; }
  void SetYear(const QString& s) { year_ = s; }

  // Builds a splash window from the properties and shows it; returns at once.
  void Execute();

 private:
  // The steps of Execute that fill the new window from the properties.
  void ShowPicture(TStartScreenFormular& form) const;
  void FillCompany(TStartScreenFormular& form) const;
  void FillTextLines(TStartScreenFormular& form) const;

  // The splash is the one component without caption colours.
  using TPXComponent::CaptionBeginColor;
  using TPXComponent::CaptionEndColor;
  using TPXComponent::SetCaptionBeginColor;
  using TPXComponent::SetCaptionEndColor;

  QString bitmap_;
  QString companyNameLong_ = "Pellimorex";
  TFont companyNameLongFont_;
  QColor companyNameLongShadowColor_{0, 0, 0};
  std::uint8_t companyNameLongShadowDeep_ = 2;
  TFont companyNameLongObenFont_;
  QColor companyNameLongObenShadowColor_{0, 0, 0};
  std::uint8_t companyNameLongObenShadowDeep_ = 1;
  QString companyNameShort_ = "PX";
  std::uint16_t displayTime_ = 5000;
  TFont logoFont_;
  QColor logoShadowColor_{0, 0, 0};
  std::uint8_t logoShadowDeep_ = 2;
  TFont otherFont_;
  QString programName_;
  TFont programNameFont_;
  QColor programNameShadowColor_{0, 0, 0};
  std::uint8_t programNameShadowDeep_ = 2;
  QString versionPrg_;
  TFont versionFont_;
  QColor versionShadowColor_{0, 0, 0};
  std::uint8_t versionShadowDeep_ = 2;
  QString textVersionFor_;
  bool showCompanyNameShort_ = true;
  bool showLogo_ = true;
  bool showVersion_ = true;
  bool showYear_ = true;
  QString year_;
  std::vector<QPointer<TStartScreenFormular>> windows_;
};

}  // namespace pz
