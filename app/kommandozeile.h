// The window program's command line: the options it answers before any window exists, and the
// file it is to open.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace pz {

// When args (without the program name) ask only for --help or --version: prints the answer to
// out and gives the exit status. "--" ends the options.
std::optional<int> Kommandozeile_Beantworten(const std::vector<std::string>& args, std::FILE* out);

// The file to open at start, from the arguments that the toolkit left (it takes its own, such
// as -platform NAME); "" for none. Other options are no file names; "--" ends them.
std::string StartDatei(const std::vector<std::string>& args);

}  // namespace pz
