// What every one of the maker's components shares: read-only version information, the link to
// the language component and the language code letter, the caption colours, and recording
// itself under the settings key's "CI" section.
#pragma once

#include <string>

#include "lang/language.h"

namespace pz {

class TPXComponent {
 public:
  virtual ~TPXComponent() = default;

  virtual const char* ClassName() const = 0;
  virtual const char* Version() const = 0;
  virtual const char* LastCompile() const = 0;

  // Read-only: assigning has no effect.
  std::string CILastCompile() const { return LastCompile(); }
  void SetCILastCompile(const std::string&) {}
  std::string CIVersion() const { return Version(); }
  void SetCIVersion(const std::string&) {}

  TPXLanguage* Language() const { return language_; }
  void SetLanguage(TPXLanguage* language) { language_ = language; }

  // The language component's CodeLetter when one is attached, else the component's own letter.
  std::string LanguageCodeLetter() const {
    return language_ != nullptr ? language_->CodeLetter() : ownLetter_;
  }
  void SetLanguageCodeLetter(const std::string& letter) {
    ownLetter_ = NormalizeCodeLetter(letter);
  }
  // German texts exactly for "D".
  bool German() const { return LanguageCodeLetter() == "D"; }

  TColor CaptionBeginColor() const { return captionBegin_; }
  void SetCaptionBeginColor(TColor c) { captionBegin_ = c; }
  TColor CaptionEndColor() const { return captionEnd_; }
  void SetCaptionEndColor(TColor c) { captionEnd_ = c; }

  // Records ClassName with "Company", "Version" and "Last Change" under keyPath\CI.
  void WriteComponentInfo(const std::string& keyPath) const;

 private:
  TPXLanguage* language_ = nullptr;
  std::string ownLetter_ = "E";
  TColor captionBegin_ = kColorBlack;
  TColor captionEnd_ = kColorBlue;
};

}  // namespace pz
