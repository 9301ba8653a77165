#include "app/kommandozeile.h"

#include "pz_version.h"

namespace pz {

namespace {

constexpr const char* kUsage =
    "Usage: parzello [FILE]\n"
    "\n"
    "Opens the Parzello window, which cuts a file into numbered segment files\n"
    "(NAME.PZX000, .PZX001, ...) and joins such segments back. With FILE the window\n"
    "opens with it filled in: in join mode when FILE is the first segment of a split,\n"
    "in split mode for any other file.\n"
    "\n"
    "  --help      print this text and end\n"
    "  --version   print the version and end\n"
    "\n"
    "The same work without a window: parzello-cli --help.\n";

}  // namespace

std::optional<int> Kommandozeile_Beantworten(const std::vector<std::string>& args, std::FILE* out) {
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, out);
      return 0;
    }
    if (a == "--version") {
      std::fprintf(out, "parzello %s\n", PZ_PROGRAM_VERSION);
      return 0;
    }
  }
  return std::nullopt;
}

std::string StartDatei(const std::vector<std::string>& args) {
  bool optionsEnded = false;
  for (const std::string& a : args) {
    if (!optionsEnded && a == "--")
      optionsEnded = true;
    else if (optionsEnded || a.empty() || a[0] != '-')
      return a;
  }
  return {};
}

}  // namespace pz
