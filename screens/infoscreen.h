// The about window: background picture, program name in relief, version, copyright line, the
// maker's web and mail addresses as links, OK and a button "Internal" that lists the
// components. TPXInfoScreenA holds the settings; Execute builds and runs a TInfoScreenFormular.
#pragma once

#include <QDialog>
#include <QObject>
#include <QString>
#include <cstdint>

#include "controls/font.h"
#include "lang/component.h"

class QLabel;
class QPushButton;

namespace pz {

class TLinkLabel;
class TPXInternalInfo;
class TShadowLabel;

// The project's addresses: its maintainers and its homepage.
inline constexpr const char* kMakerMail = "parzello@users.noreply.github.com";
inline constexpr const char* kMakerURL = "parzello.github.io";
// The background picture, in the graphics folder beside the program.
inline constexpr const char* kInfoBackgroundFile = "Info.bmp";

class TInfoScreenFormular : public QDialog {
  Q_OBJECT

 public:
  TInfoScreenFormular();

  TPXInternalInfo* InternalInfo() const { return internalInfo_; }
  void SetInternalInfo(TPXInternalInfo* info) { internalInfo_ = info; }

  QLabel* Image;
  QLabel* LabelVersion;
  QLabel* LabelCopyright;
  // The program's licence, under the copyright line; hidden while it has no text.
  QLabel* LabelLizenz;
  TLinkLabel* URLLabelWeb;
  QLabel* LabelURLBez;
  QLabel* LabelMailBez;
  TLinkLabel* URLLabelMail;
  TShadowLabel* LabelProgramName;
  TShadowLabel* LabelPXLogo1;
  TShadowLabel* LabelPXLogo2;
  QPushButton* ButtonOK;
  QPushButton* ButtonInternal;

  void ButtonInternalClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildBackground();
  void BuildTextLines();
  void BuildLinks();
  void BuildProgramName();
  void BuildButtons();

  TPXInternalInfo* internalInfo_ = nullptr;
};

// The window of the running Execute; empty outside it.
TInfoScreenFormular* InfoScreenFormular();

class TPXInfoScreenA : public QObject, public TPXComponent {
  Q_OBJECT

 public:
  explicit TPXInfoScreenA(QObject* owner = nullptr);

  const char* ClassName() const override { return "TPXInfoScreenA"; }
  const char* Version() const override { return "1.06"; }
  const char* LastCompile() const override { return "15.08.2000"; }

  QString CompanyNameLong() const { return companyNameLong_; }
  void SetCompanyNameLong(const QString& s) { companyNameLong_ = s; }
  QString CompanyNameShort() const { return companyNameShort_; }
  void SetCompanyNameShort(const QString& s) { companyNameShort_ = s; }
  TPXInternalInfo* PXInternalInfo() const { return internalInfo_; }
  void SetPXInternalInfo(TPXInternalInfo* info) { internalInfo_ = info; }
  const TFont& LogoFont() const { return logoFont_; }
  void SetLogoFont(const TFont& f) { logoFont_ = f; }
  QColor LogoShadowColor() const { return logoShadowColor_; }
  void SetLogoShadowColor(const QColor& c) { logoShadowColor_ = c; }
  std::uint8_t LogoShadowDeep() const { return logoShadowDeep_; }
  void SetLogoShadowDeep(std::uint8_t d) { logoShadowDeep_ = d; }
  QString Mail() const { return mail_; }
  void SetMail(const QString& s) { mail_ = s; }
  QString ProgramName() const { return programName_; }
  void SetProgramName(const QString& s) { programName_ = s; }
  const TFont& ProgramNameFont() const { return programNameFont_; }
  void SetProgramNameFont(const TFont& f) { programNameFont_ = f; }
  QColor ProgramNameShadowColor() const { return programNameShadowColor_; }
  void SetProgramNameShadowColor(const QColor& c) { programNameShadowColor_ = c; }
  std::uint8_t ProgramNameShadowDeep() const { return programNameShadowDeep_; }
  void SetProgramNameShadowDeep(std::uint8_t d) { programNameShadowDeep_ = d; }
  QString URL() const { return url_; }
  void SetURL(const QString& s) { url_ = s; }
  QString VersionPrg() const { return versionPrg_; }
  void SetVersionPrg(const QString& s) { versionPrg_ = s; }
  // The licence line under the copyright line; empty shows none.
  QString Lizenz() const { return lizenz_; }
  void SetLizenz(const QString& s) { lizenz_ = s; }
  const TFont& VersionFont() const { return versionFont_; }
  void SetVersionFont(const TFont& f) { versionFont_ = f; }
  bool ShowCompanyNameShort() const { return showCompanyNameShort_; }
  void SetShowCompanyNameShort(bool on) { showCompanyNameShort_ = on; }
  bool ShowLogo() const { return showLogo_; }
  void SetShowLogo(bool on) { showLogo_ = on; }
  bool ShowMail() const { return showMail_; }
  void SetShowMail(bool on) { showMail_ = on; }
  bool ShowURL() const { return showURL_; }
  void SetShowURL(bool on) { showURL_ = on; }
  bool ShowVersion() const { return showVersion_; }
  void SetShowVersion(bool on) { showVersion_ = on; }
  bool ShowYear() const { return showYear_; }
  void SetShowYear(bool on) { showYear_ = on; }
  QString Year() const { return year_; }
  void SetYear(const QString& s) { year_ = s; }

  // Shows the window modally; returns when the user has closed it.
  void Execute();

 private:
  // The version and copyright lines, each shown or hidden.
  void FillTextLines(TInfoScreenFormular& form) const;
  // A link with its address, or hidden with its caption.
  static void FillLink(TLinkLabel& link, QLabel& caption, bool show, const QString& address);

  QString companyNameLong_ = "Pellimorex";
  QString companyNameShort_ = "PX";
  TPXInternalInfo* internalInfo_ = nullptr;
  TFont logoFont_;
  QColor logoShadowColor_{0, 0, 0};
  std::uint8_t logoShadowDeep_ = 2;
  QString mail_ = kMakerMail;
  QString programName_;
  TFont programNameFont_;
  QColor programNameShadowColor_{0, 0, 0};
  std::uint8_t programNameShadowDeep_ = 1;
  QString url_ = kMakerURL;
  QString versionPrg_;
  QString lizenz_;
  TFont versionFont_;
  bool showCompanyNameShort_ = true;
  bool showLogo_ = true;
  bool showMail_ = true;
  bool showURL_ = true;
  bool showVersion_ = true;
  bool showYear_ = true;
  QString year_;
};

}  // namespace pz
