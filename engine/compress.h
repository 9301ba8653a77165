// The compression stage: packs the source into the temporary archive before a split and
// unpacks a joined archive afterwards, through the ZIP archive component.
#pragma once

#include <string>

#include "engine/engine.h"

namespace pz {

class TZipArchiver;

// What the window (or the command line) knows when the preparation runs.
struct CompressionRequest {
  bool splitMode = true;  // RadioTrennen
  bool compress = false;  // CheckKomprimieren
  bool strong = true;     // RadioStark (level 9), else weak (level 3)
  std::string source;     // the source field
};

inline constexpr int kLevelStrong = 9;
inline constexpr int kLevelWeak = 3;

// Builds the temporary archive when the request asks for it; returns the new value of the
// window's flag Komprimiert (true exactly when the archive of this source was built).
bool Komprimierung_Einleiten_Falls_Noetig(const CompressionRequest& request, EngineContext& ctx,
                                          TZipArchiver& zip);

// Packs one file into an archive at a level; text block 57 on failure.
bool Datei_Komprimieren(const std::string& quelle, const std::string& archiv, int level,
                        EngineContext& ctx, TZipArchiver& zip);

// Unpacks an archive into a folder; text block 59 on failure.
bool Datei_Dekomprimieren(const std::string& archiv, const std::string& ordner, EngineContext& ctx,
                          TZipArchiver& zip);

}  // namespace pz
