// The language component: language files, text blocks by number, the language's name and
// code letter. This half reads files and knows nothing of windows; the desktop program
// supplies the message boxes, the hourglass and the selection dialog through LanguageUi.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pz {

// Anything that hands out text blocks by number (UTF-8; empty when the block is missing).
class TextSource {
 public:
  virtual ~TextSource() = default;
  virtual std::string GetText(std::uint16_t block) const = 0;
};

class TPXLanguage;

// What the language component needs from the front end.
class LanguageUi {
 public:
  virtual ~LanguageUi() = default;
  virtual void LanguageError(const std::string& text) = 0;    // error box with OK
  virtual void LanguageBusy(bool busy) = 0;                   // hourglass on/off
  virtual bool RunLanguageDialog(TPXLanguage& language) = 0;  // Execute; true on OK
};

enum class TLangDialog { Deutsch, English };

// RGB colour as 0x00RRGGBB.
using TColor = std::uint32_t;
inline constexpr TColor kColorBlack = 0x000000;
inline constexpr TColor kColorBlue = 0x0000FF;

class TPXLanguage : public TextSource {
 public:
  static constexpr const char* kClassName = "TPXLanguage";
  static constexpr const char* kVersion = "1.06";
  static constexpr const char* kLastCompile = "21.08.2000";

  TPXLanguage() = default;

  // Read-only component information; assigning has no effect.
  std::string CILastCompile() const { return kLastCompile; }
  void SetCILastCompile(const std::string&) {}
  std::string CIVersion() const { return kVersion; }
  void SetCIVersion(const std::string&) {}

  const std::string& Path() const { return path_; }
  void SetPath(const std::string& path);
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& name);
  // Sets FileName as chosen in the selection dialog: no extension change, no existence check.
  void SetFileNameUnchecked(const std::string& name) { fileName_ = name; }

  TLangDialog LanguageOfDialog() const { return languageOfDialog_; }
  void SetLanguageOfDialog(TLangDialog l) { languageOfDialog_ = l; }
  TColor CaptionBeginColor() const { return captionBegin_; }
  void SetCaptionBeginColor(TColor c) { captionBegin_ = c; }
  TColor CaptionEndColor() const { return captionEnd_; }
  void SetCaptionEndColor(TColor c) { captionEnd_ = c; }

  void LoadFile();
  // Takes the texts from the bytes of a language file, as LoadFile does; false when they are
  // no valid language file (the texts are then empty).
  bool LoadFromBytes(const std::string& bytes);
  std::string GetText(std::uint16_t block) const override;
  int TextCount() const { return static_cast<int>(texts_.size()); }
  const std::vector<std::string>& Texts() const { return texts_; }

  bool Execute();
  void WriteComponentInfo(const std::string& keyPath) const;

  const std::string& LanguageName() const { return languageName_; }
  const std::string& CodeLetter() const { return codeLetter_; }
  const std::string& HeaderLine3() const { return headerLine3_; }
  int HeaderLine4() const { return headerLine4_; }

  void SetUi(LanguageUi* ui) { ui_ = ui; }
  LanguageUi* Ui() const { return ui_; }

  // The component's own messages, in the language of LanguageOfDialog.
  std::string NotFoundMessage() const;
  std::string CorruptMessage() const;

 private:
  std::string FullPath() const;
  void Error(const std::string& text) const;

  std::string path_;
  std::string fileName_;
  TLangDialog languageOfDialog_ = TLangDialog::English;
  TColor captionBegin_ = kColorBlack;
  TColor captionEnd_ = kColorBlue;
  std::string languageName_;
  std::string codeLetter_ = "E";
  std::string headerLine3_;
  int headerLine4_ = 0;
  std::vector<std::string> texts_;
  LanguageUi* ui_ = nullptr;
};

// Reads the first line of a language file (its display name, at most 255 characters), as the
// selection dialog shows it; empty when the file cannot be read.
std::string ReadLanguageName(const std::string& path);

// Splits the bytes of a language file into UTF-8 lines: the file ends at a Ctrl-Z, a line at a
// carriage return (a following line feed belongs to the line end) or at a bare line feed.
std::vector<std::string> SplitLanguageLines(const std::string& bytes);

// The code letter of a maker's component: "D" when the value is "d"/"D", else "E".
std::string NormalizeCodeLetter(const std::string& letter);

}  // namespace pz
