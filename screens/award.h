// The awards screen: a list of awards described by "info.ini" in the awards folder, each entry
// with a title, a picture, a short text and a button "Info..." opening a longer document, in
// the viewer TPXAwardDialog2 (which prints) or, for web pages, through the desktop.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QObject>
#include <QString>
#include <vector>

#include "lang/component.h"
#include "lang/language.h"

class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QTextEdit;

namespace pz {

class IniFile;
class TShadowLabel;

// Entry numbers beyond this are not read: a description file asking for more is damaged, and
// each entry costs a row of controls.
inline constexpr int kMaxAwardEntries = 1000;
// InfoFile keeps at most this many characters of the name.
inline constexpr int kMaxInfoFileChars = 255;
// The size an image control keeps when its picture cannot be loaded.
inline constexpr int kEmptyPictureSize = 105;

struct TAwardItem {
  QLabel* TitleLabel = nullptr;
  QLabel* Picture = nullptr;
  QTextEdit* TextView = nullptr;
  QPushButton* InfoButton = nullptr;
  QString InfoFile;
  QFrame* Separator = nullptr;
};

class TPXAwardDialog : public QDialog {
  Q_OBJECT

 public:
  TPXAwardDialog();

  void SetPath(const QString& path) { path_ = path; }
  QString Path() const { return path_; }
  void SetCaptionColors(TColor begin, TColor end) {
    captionBegin_ = begin;
    captionEnd_ = end;
  }

  // Builds the whole list from the description file in the folder.
  void AnzeigeAufbauen(const QString& fileName, const QString& letter);
  // Builds entry k at position y and returns the position after it.
  int ZeileAufbauen(int y, int k, const QString& letter, const IniFile& ini);
  const std::vector<TAwardItem>& Items() const { return items_; }
  // The note that there are no entries, shown instead of an empty list; empty otherwise.
  QLabel* LabelKeineEintraege = nullptr;

  QWidget* PanelOben;
  QWidget* PanelObenLinks;
  TShadowLabel* LabelAward;
  QScrollArea* ScrollBox;
  QWidget* ScrollContent;  // the scroll box's content, which holds the entries
  QWidget* PanelUnten;
  QPushButton* ButtonOK;

  void ButtonClick();
  void ButtonOKClick();

 private:
  QString FilePath(const QString& name) const;
  void GrowContent(int bottom);
  void KeineEintraegeZeigen(const QString& letter);
  // The parts of an entry, each placed at y; the placing ones return the position after them.
  int AddTitle(TAwardItem& item, int y, const QString& title);
  int AddPicture(TAwardItem& item, int y, const QString& picture);
  int AddTextView(TAwardItem& item, int y, const QString& text, const QString& letter);
  void AddInfoButton(TAwardItem& item, int y, int k, const QString& info);

  QString path_;
  QString letter_ = "E";  // the language code letter of the list being shown
  TColor captionBegin_ = kColorBlack;
  TColor captionEnd_ = kColorBlue;
  std::vector<TAwardItem> items_;
};

// The viewer for an entry's document, with printing.
class TPXAwardDialog2 : public QDialog {
  Q_OBJECT

 public:
  TPXAwardDialog2();

  QWidget* Panel2;
  QTextEdit* RichEdit;
  QWidget* Panel1;
  QPushButton* ButtonOK;
  QPushButton* ButtonPrint;

  void FormShow();
  void ButtonPrintClick();

 protected:
  void showEvent(QShowEvent* event) override;
};

// Shows the viewer modally with the file, the window title and the caption colours; its own
// notes and messages follow the language code letter.
void ShowAwardInfo(const QString& filePath, const QString& title, TColor captionBegin,
                   TColor captionEnd, const QString& letter = "E");

// The dialog and the viewer of the running Execute / ShowAwardInfo; empty outside them.
TPXAwardDialog* AwardDialog();
TPXAwardDialog2* AwardDialog2();

class TPXAward : public QObject, public TPXComponent {
  Q_OBJECT

 public:
  explicit TPXAward(QObject* owner = nullptr) : QObject(owner) {}

  const char* ClassName() const override { return "TPXAward"; }
  const char* Version() const override { return "1.03"; }
  const char* LastCompile() const override { return "01.02.2000"; }

  QString Path() const { return path_; }
  // Stores the folder without one trailing separator.
  void SetPath(const QString& path);

  // Shows the awards modally; does nothing while Path is empty.
  void Execute();

 private:
  QString path_;
};

}  // namespace pz
