// The main window: split a file into segments or join segments, with the source, the target,
// the segment-size presets and the options, and the checks before the work starts.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <cstdint>
#include <memory>
#include <string>

#include "app/pxpath.h"
#include "app/qtinteraction.h"
#include "controls/shadowlabel.h"
#include "engine/engine.h"
#include "lang/language.h"
#include "zip/ziparchiver.h"

namespace pz {

inline constexpr const char* kApplicationTitle = "Parzello";
inline constexpr const char* kWindowCaption = " Tarnwick - Parzello 1.1";
inline constexpr const char* kVersionPanel = "Version 1.1";
inline constexpr const char* kMakerPanel = "(c) 2001 Pellimorex";
// The language file loaded at start until the settings store remembers the user's choice.
inline constexpr const char* kDefaultLanguageFile = "Deutsch.lng";
inline constexpr const char* kLanguageEnvironment = "PARZELLO_LANG";

class THauptformular : public QMainWindow {
  Q_OBJECT

 public:
  explicit THauptformular(const std::string& programmPfad, QWidget* parent = nullptr);
  ~THauptformular() override;

  // Handlers and methods named as in the window's design.
  void FormShow();
  void RadioClick(QObject* sender);
  void RadioKompLevelClick();
  void EditTrennDateiChange();
  void EditZielPfadChange();
  void EditHandChange();
  void ButtonTrennDateiClick();
  void ButtonZielClick();
  void ButtonAusfuehrenClick();
  void ButtonBeendenClick();
  void Formulardarstellung_Anpassen();
  void TextbausteineZuweisen();
  void MenuSpracheClick();
  void MenuBeendenClick();
  void MenuInhaltClick();
  void MenuAwardsClick();
  void MenuInfoClick();

  bool Komprimierung_Einleiten_Falls_Noetig();
  bool Datei_Komprimieren(const std::string& quelle, const std::string& archiv, int level);
  bool Datei_Dekomprimieren(const std::string& archiv, const std::string& ordner);

  bool Komprimiert() const { return komprimiert_; }
  std::int64_t TrennGroesse() const { return trennGroesse_; }
  const std::string& ProgrammPfad() const { return programmPfad_; }
  TPXLanguage& Language() { return language_; }
  TPXPath& PXPath() { return pxPath_; }
  TZipArchiver& ZipArchiver() { return zip_; }
  TQtInteraction& Ui() { return ui_; }
  // The text of the status bar while it shows a single busy text, else "".
  QString StatusSimpleText() const;

  // Action bar
  QWidget* PanelAktion;
  TShadowLabel* LabelAktion;
  QRadioButton* RadioTrennen;
  QRadioButton* RadioZusammenfuehren;
  // Source area
  QWidget* PanelQuelle;
  TShadowLabel* LabelTrennDatei;
  QLineEdit* EditTrennDatei;
  QPushButton* ButtonTrennDatei;
  QGroupBox* GroupTrennGroesse;
  QRadioButton* Radio144;
  QRadioButton* Radio12;
  QRadioButton* Radio720;
  QRadioButton* Radio360;
  QRadioButton* Radio100;
  QRadioButton* RadioAuto;
  QRadioButton* RadioHand;
  QLineEdit* EditHand;
  QLabel* Label1;
  QGroupBox* GroupOptionen;
  QCheckBox* CheckKomprimieren;
  QRadioButton* RadioStark;
  QRadioButton* RadioSchwach;
  QCheckBox* CheckLoeschen;
  QCheckBox* CheckPasswort;
  QLabel* LabelDateiGroesse;
  QLabel* LabelDateiGroesse2;
  QLabel* LabelTrennungen;
  QLabel* LabelTrennungen2;
  // Target area
  QWidget* PanelZiel;
  TShadowLabel* LabelZiel;
  QLabel* LabelZielPfad;
  QLineEdit* EditZielPfad;
  QPushButton* ButtonZiel;
  QLabel* LabelZielName;
  QLineEdit* EditZielName;
  // Button bar and status bar
  QWidget* PanelAusfuehren;
  QPushButton* ButtonAusfuehren;
  QPushButton* ButtonBeenden;
  QFrame* StatusBar;
  QLabel* StatusPanels[3];
  QLabel* StatusSimple;
  // Menus
  QMenu* MenuDatei;
  QAction* MenuSprache;
  QAction* MenuBeenden;
  QMenu* MenuHilfe;
  QAction* MenuInhalt;
  QAction* MenuAwards;
  QAction* MenuInfo;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();
  void Connect();
  void SetStatusText(const QString& text);
  void ShowSegmentCount(std::int64_t dataSize);
  // Runs a handler; a failure that nothing else handles ends up in an error box.
  template <typename F>
  void Guarded(F&& handler);
  void ShowFailure(const char* what);
  bool SplitChecksAndRun();
  bool JoinChecksAndRun();

  std::string programmPfad_;
  TPXLanguage language_;
  TPXPath pxPath_;
  TZipArchiver zip_;
  TQtInteraction ui_;
  EngineContext ctx_;
  bool komprimiert_ = false;
  std::int64_t trennGroesse_ = 1;
  bool shown_ = false;
  bool running_ = false;
};

}  // namespace pz
