// Splitting and joining. The procedures return true when the work is done and false when it
// failed or was cancelled, after showing their own messages. Failures that no message covers
// (a file that cannot be created or read) throw EngineError, whose text the front end shows.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "engine/header.h"
#include "engine/interaction.h"
#include "lang/language.h"

namespace pz {

class EngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct EngineContext {
  Interaction& ui;
  const TextSource& texts;
  std::string programmPfad;  // folder of the program; the temporary archive lies below it
  // Free space for the automatic mode; tests replace it to simulate volumes.
  std::function<std::int64_t(const std::string& folder)> freeSpace;
  // Unpacks an archive into a folder (compressed joins); unset means unpacking is unavailable.
  std::function<bool(const std::string& archive, const std::string& folder)> dekomprimieren;

  // Where packed data is made and rebuilt; empty means "temp.pzx" in the program's
  // "temp_parzello". The command line names one of its own, so runs side by side never share it.
  std::string tempArchive;

  EngineContext(Interaction& u, const TextSource& t, std::string pfad);
  std::string Text(std::uint16_t block) const { return texts.GetText(block); }
  std::string TempArchive() const;
};

// Size of a file; reports an unreadable file (text blocks 73, 74, 75) and yields 0.
std::int64_t Dateigroesse_Ermitteln(const std::string& path, EngineContext& ctx);

struct SplitJob {
  std::string quelle;        // the file to cut: the source, or the temporary archive
  std::string quellName;     // name recorded in the header: the file the user chose
  bool komprimiert = false;  // the file to cut is the archive of the source
  bool passwort = false;     // protect the split with a password
  std::string zielPfad;      // target folder, no trailing "/"
  std::string zielName;      // target name
  std::int64_t trennGroesse = 0;
  bool automatisch = false;
};

bool Datei_Trennen(const SplitJob& job, EngineContext& ctx);

// Deletes the source after a finished split. When it cannot, says so (the split stands, the
// source is kept, and why) as a warning and returns false.
bool Quelle_Loeschen(const std::string& quelle, EngineContext& ctx);

struct JoinJob {
  std::string ersteSegment;  // path of the first segment
  std::string zielPfad;      // target folder, no trailing "/"
  std::string zielName;      // target name
};

bool Trennsegmente_Zusammenfuehren(const JoinJob& job, EngineContext& ctx);

// The header at the start of a would-be first segment, and why there is none.
struct HeaderRead {
  enum class Status { Valid, NoHeader, TooShort, Unreadable, Damaged };
  Status status = Status::NoHeader;
  HeaderInfo info;     // set when Valid
  std::string detail;  // Unreadable: the system's reason; Damaged: the broken field
};
HeaderRead ReadSegmentHeader(const std::string& path);

// Why a would-be first segment was refused, for the user: unreadable (with the reason) and
// damaged name the file; a file without a header gets the front end's own block notFirst.
std::string HeaderRefusal(const HeaderRead& read, const std::string& path, const TextSource& texts,
                          std::uint16_t notFirst);

}  // namespace pz
