// Packs one file through the compression stage, as the window does before a split.
//   pz_compress_bench <file> <archive> <level>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/compress.h"
#include "platform/os.h"
#include "zip/ziparchiver.h"

namespace {

class QuietUi : public pz::Interaction {
 public:
  std::string Passwort_Abfragen() override { return ""; }
  std::string Passwort2_Abfragen() override { return ""; }
  int Datentraeger_Anfordern(std::string&) override { return kCancel; }
  void ShowMessage(const std::string& text, pz::MsgIcon) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  void SetBusy(bool) override {}
};

class NoTexts : public pz::TextSource {
 public:
  std::string GetText(std::uint16_t block) const override { return std::to_string(block); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <file> <archive> <level>\n", argv[0]);
    return 2;
  }
  QuietUi ui;
  NoTexts texts;
  const std::string program = pz::ProgrammPfadErmitteln();
  pz::EngineContext ctx(ui, texts, program);
  pz::TZipArchiver zip;
  zip.SetDLLDirectory(pz::DataFolder(program, pz::kDllFolder));
  return pz::Datei_Komprimieren(argv[1], argv[2], std::atoi(argv[3]), ctx, zip) ? 0 : 1;
}
