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
#include <QSpinBox>
#include <QTranslator>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/pxpath.h"
#include "app/qtinteraction.h"
#include "controls/shadowlabel.h"
#include "engine/engine.h"
#include "lang/language.h"
#include "platform/helpviewer.h"
#include "platform/settings.h"
#include "pz_version.h"
#include "screens/award.h"
#include "screens/infoscreen.h"
#include "screens/internalinfo.h"
#include "screens/startscreen.h"
#include "zip/ziparchiver.h"

namespace pz {

struct CheckInput;

inline constexpr const char* kApplicationTitle = "Parzello";
// Without the classic leading blank: window lists and docks would show it.
inline constexpr const char* kWindowCaption = "Tarnwick - Parzello " PZ_PROGRAM_VERSION;
inline constexpr const char* kVersionPanel = "Version " PZ_PROGRAM_VERSION;
inline constexpr const char* kMakerPanel = "(c) 2001 Pellimorex";
// Where the settings and the components' information live in the per-user store.
inline constexpr const char* kSettingsKey = "Software\\Pellimorex\\PX-Parzello";
// The language loaded when the user cancels the choice at the first start.
inline constexpr const char* kDefaultLanguageFile = "Deutsch.lng";
// Help files: the base name gets "_" and the language's code letter before its extension.
inline constexpr const char* kHelpFileBase = "Parzello.hlp";
inline constexpr const char* kHelpTopic = "Inhalt";
// What the splash and the information screen show about the program.
inline constexpr const char* kBrandName = "Tarnwick";
inline constexpr const char* kBrandShort = "PX";
inline constexpr const char* kProgramName = "Parzello";
inline constexpr const char* kProgramVersion = PZ_PROGRAM_VERSION;
inline constexpr const char* kProgramYear = "2001";
inline constexpr const char* kPlatformLine = "Version für Linux (Debian 12)";
inline constexpr const char* kSplashPicture = "Start.bmp";

// fileName with "_" and the code letter put before its first "." ("Parzello.hlp", "D" gives
// "Parzello_D.hlp"); a name without "." gets them at its end.
std::string Sprachkennung_Einfuegen(const std::string& fileName, const std::string& codeLetter);

class THauptformular : public QMainWindow {
  Q_OBJECT

 public:
  explicit THauptformular(const std::string& programmPfad, QWidget* parent = nullptr);
  ~THauptformular() override;

  // Handlers and methods named as in the window's design.
  void FormCreate();
  void FormShow();
  void FormClose();
  void Einstellungen_Laden();
  void Einstellungen_Speichern();
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
  // Loads Qt's translation of its own dialog texts for the language's code letter.
  void QtTexteLaden();
  void MenuSpracheClick();
  void MenuBeendenClick();
  void MenuInhaltClick();
  void MenuAwardsClick();
  void MenuInfoClick();
  // Takes a file as if it had been chosen with "...": join mode with the stored name as target
  // name when it begins with a segment header (whatever its name), split mode for any other.
  void DateiUebernehmen(const QString& path);
  // An empty target folder (and in split mode target name) takes the source's folder (and
  // name) once the source names a file; a value filled in so follows later sources, one the
  // user typed stays.
  void ZielVorschlagen();
  // In join mode the greyed options show what the set holds (packed, protected), in split mode
  // the user's choice, which join mode keeps aside meanwhile.
  void OptionenAnzeigen();
  // The program's file argument: taken once the window has been shown and set up.
  void SetStartDatei(const QString& path) { startDatei_ = path; }

  bool Komprimierung_Einleiten_Falls_Noetig();
  bool Datei_Komprimieren(const std::string& quelle, const std::string& archiv, int level);
  bool Datei_Dekomprimieren(const std::string& archiv, const std::string& ordner,
                            const std::string& member = "");

  bool Komprimiert() const { return komprimiert_; }
  // This window's own temporary archive; another window never uses the same one.
  std::string TempArchiv() const { return ctx_.TempArchive(); }
  // True while a split, join or packing runs.
  bool Laeuft() const { return running_; }
  std::int64_t TrennGroesse() const { return trennGroesse_; }
  const std::string& ProgrammPfad() const { return programmPfad_; }
  TPXLanguage& Language() { return language_; }
  TPXPath& PXPath() { return pxPath_; }
  TZipArchiver& ZipArchiver() { return zip_; }
  TQtInteraction& Ui() { return ui_; }
  TPXStartScreenA& StartScreen() { return startScreen_; }
  TPXInfoScreenA& InfoScreen() { return infoScreen_; }
  TPXInternalInfo& InternalInfo() { return internalInfo_; }
  TPXAward& Award() { return award_; }
  HelpViewer& Help() { return helpViewer_; }
  // The help file in use ("" while none is set).
  const std::string& HelpFile() const { return helpFile_; }
  // The settings store object; empty before creation, after closing or when it could not be
  // created.
  SettingsStore* Einstellungen() const { return einstellungen_.get(); }
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
  QCheckBox* CheckWiederherstellung;  // recovery files beside the segments
  QSpinBox* SpinWiederherstellung;    // their share of the data, in percent
  QLabel* LabelWiederherstellbar;     // how many whole segments that share rebuilds
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
  QAction* MenuJoiner;  // checkable: a split also writes the browser joiner page
  QAction* MenuBeenden;
  QMenu* MenuHilfe;
  QAction* MenuInhalt;
  QAction* MenuAwards;
  QAction* MenuInfo;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // A single local file dropped onto the window is taken like the program's argument.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The client area, top to bottom; the source area holds the two groups and the size labels.
  void BuildControls();
  void BuildActionBar(QWidget* client);
  void BuildSourceArea(QWidget* client);
  void BuildSizeGroup();
  void BuildOptionsGroup();
  void BuildSizeLabels();
  void BuildTargetArea(QWidget* client);
  void BuildButtonBar(QWidget* client);
  void BuildStatusBar(QWidget* client);
  // Tab walks the controls as they are read: left to right, top to bottom.
  void SetTabOrder();
  // The steps of ButtonAusfuehrenClick: the fields as they are, their checks (a refusal is
  // shown and focuses its field), the split or join under the hourglass, and its result.
  CheckInput EingabenLesen() const;
  bool EingabenPruefen(CheckInput& in);
  // Join only: asks before an existing target is replaced; false when the user said No.
  bool ErsetzenErlaubt(const CheckInput& in, bool& ersetzen);
  bool AuftragAusfuehren(const CheckInput& in, bool ersetzen, JoinReport& joinReport,
                         SplitReport& splitReport);
  // The split under way: packs first when asked (and counts the archive), then cuts.
  bool TrennungAusfuehren(const CheckInput& in, SplitReport& splitReport);
  void ErgebnisMelden(bool split, bool done, const JoinReport& joinReport,
                      const SplitReport& splitReport);
  // While work runs only its Cancel button (the Exit button) and closing answer.
  void ArbeitAnzeigen(bool running);
  // Runs work on a thread of its own while the window goes on painting and answering; what it
  // throws comes back here.
  bool ImHintergrund(const std::function<bool()>& work);
  void BuildMenu();
  void Connect();
  void SetStatusText(const QString& text);
  void ShowSegmentCount(std::int64_t dataSize);
  // The whole segments the chosen recovery data rebuilds, for the source shown and the size.
  void ShowRebuildCount();
  // Runs a handler; a failure that nothing else handles ends up in an error box.
  template <typename F>
  void Guarded(F&& handler);
  void ShowFailure(const char* what, MsgIcon icon = MsgIcon::Error);
  void SetUpComponents();
  // Takes the help file of the language's code letter when it exists.
  void HilfedateiWaehlen();
  // The size buttons in the order of their stored numbers 1 to 7.
  std::array<QRadioButton*, 7> SizeButtons() const;
  QRadioButton* SelectedSizeButton() const;

  std::string programmPfad_;
  TPXLanguage language_;
  TPXPath pxPath_;
  TZipArchiver zip_;
  TQtInteraction ui_;
  EngineContext ctx_;
  TPXStartScreenA startScreen_;
  TPXInfoScreenA infoScreen_;
  TPXInternalInfo internalInfo_;
  TPXAward award_;
  HelpViewer helpViewer_;
  std::string helpFile_;
  QTranslator qtTexte_;
  std::unique_ptr<SettingsStore> einstellungen_;
  // The components record themselves through their own store object, as each opened its own
  // short-lived registry object; it lives as long as the window.
  std::unique_ptr<SettingsStore> componentInfoStore_;
  // The split options, as the user chose them; shown while in split mode.
  struct SplitOptionen {
    bool komprimieren = false;
    bool loeschen = false;
    bool passwort = false;
    bool wiederherstellung = false;
  };
  SplitOptionen GewaehlteOptionen() const;
  void OptionenSetzen(const SplitOptionen& optionen);
  void OptionenZeigen(const SplitOptionen& optionen);
  SplitOptionen splitOptionen_;
  // What ZielVorschlagen put into the target fields.
  QString vorgeschlagenerPfad_;
  QString vorgeschlagenerName_;
  bool komprimiert_ = false;
  std::int64_t trennGroesse_ = 1;
  std::optional<std::int64_t> quellGroesse_;  // of the source shown; none while it names no file
  bool shown_ = false;
  bool running_ = false;
  bool closeAfterRun_ = false;  // the window was closed during work: it closes once that ended
  QString beendenText_;         // the Exit button's caption while it reads Cancel
  QString startDatei_;
};

}  // namespace pz
