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

// A temporary archive of this process's own in folder: "temp-PID.pzx", and for a further
// instance in the same process (another window) "temp-PID-INSTANCE.pzx".
std::string RunTempArchive(const std::string& folder, int instance = 0);

// Removes the temporary archives of processes that no longer run from folder, and the partial
// archives the ZIP library made beside them ("temp-PID.pzx.XXXXXX").
void RemoveLeftoverArchives(const std::string& folder);

inline constexpr int kLevelStrong = 9;
inline constexpr int kLevelWeak = 3;

// Builds the temporary archive when the request asks for it; returns the new value of the
// window's flag Komprimiert (true exactly when the archive of this source was built).
bool Komprimierung_Einleiten_Falls_Noetig(const CompressionRequest& request, EngineContext& ctx,
                                          TZipArchiver& zip);

// Packs one file into an archive at a level; text block 57 on failure.
bool Datei_Komprimieren(const std::string& quelle, const std::string& archiv, int level,
                        EngineContext& ctx, TZipArchiver& zip);

// Unpacks an archive into a folder; text block 59 on failure. With a member name, only the
// member of that file name is unpacked (the others are named in a warning), and the result is
// true only when that file exists in the folder afterwards.
bool Datei_Dekomprimieren(const std::string& archiv, const std::string& ordner, EngineContext& ctx,
                          TZipArchiver& zip, const std::string& member = "");

// Before a packed split cuts the archive: true when packing was not asked for, or when the
// archive was built for this source (komprimiert) and reads back whole: its directory holds
// exactly one member, named as the source and of the source's size. Otherwise text block 114
// and false, and the split must not go on (so the source is never deleted).
bool Gepackte_Trennung_Pruefen(bool packen, bool komprimiert, const std::string& archiv,
                               const std::string& quelle, EngineContext& ctx, TZipArchiver& zip);

}  // namespace pz
