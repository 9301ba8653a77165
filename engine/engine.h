// Splitting and joining. The procedures return true when the work is done and false when it
// failed or was cancelled, after showing their own messages. Failures that no message covers
// (a file that cannot be created or read) throw EngineError, whose text the front end shows.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "crypt/age.h"
#include "engine/checksum.h"
#include "engine/header.h"
#include "engine/interaction.h"
#include "engine/recoveryuse.h"
#include "lang/language.h"

namespace pz {

class EngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The user asked the work to stop (Cancel in the window, a signal on the command line): no failure
// of the work, so the front end says it as information. A split that stops so removes the
// segments it wrote: they are no set that can be joined.
class EngineStopped : public EngineError {
 public:
  using EngineError::EngineError;
};

struct EngineContext {
  Interaction& ui;
  const TextSource& texts;
  std::string programmPfad;  // folder of the program; the temporary archive lies below it
  // Free space for the automatic mode; tests replace it to simulate volumes.
  std::function<std::int64_t(const std::string& folder)> freeSpace;
  // The largest file the volume takes (FAT: 4 GiB - 1), which bounds an automatic segment too.
  std::function<std::int64_t(const std::string& folder)> largestFile;
  // Unpacks the member of a file name from an archive into a folder (compressed joins); unset
  // means unpacking is unavailable.
  std::function<bool(const std::string& archive, const std::string& folder,
                     const std::string& member)>
      dekomprimieren;

  // scrypt's work factor (log2 N) for the sets this context encrypts; tests take a cheap one.
  int workFactor = age::kWorkFactor;

  // Where packed data is made and rebuilt; empty means "temp.pzx" in the program's
  // "temp_parzello". The command line names one of its own, so runs side by side never share it.
  std::string tempArchive;
  // Copied beside the checksum file after every split ("" for none): the browser page that
  // joins the set where Parzello is not installed.
  std::string joinerPage;

  EngineContext(Interaction& u, const TextSource& t, std::string pfad);
  std::string Text(std::uint16_t block) const { return texts.GetText(block); }
  std::string TempArchive() const;
};

// Size of a file; reports an unreadable file (text blocks 73, 74, 75) and yields 0.
std::int64_t Dateigroesse_Ermitteln(const std::string& path, EngineContext& ctx);

// Asks for a segment file until it exists, as the join does: the answer is the file, or the
// folder to look for it in. False after Cancel.
bool AskForSegment(std::string& path, Interaction& ui);

struct SplitJob {
  std::string quelle;        // the file to cut: the source, or the temporary archive
  std::string quellName;     // name recorded in the header: the file the user chose
  bool komprimiert = false;  // the file to cut is the archive of the source
  bool passwort = false;     // protect the split with a password
  std::string zielPfad;      // target folder, no trailing "/"
  std::string zielName;      // target name
  std::int64_t trennGroesse = 0;
  bool automatisch = false;
  int recoveryPercent = 0;  // recovery files of this percent of the data; 0 for none
};

// What a split found beyond its truth value, for the closing message.
struct SplitReport {
  // Partly written segments left on a volume the split moved away from, because they could not
  // be removed: a join started there would read them.
  std::vector<std::string> leftPieces;
};

bool Datei_Trennen(const SplitJob& job, EngineContext& ctx, SplitReport* report = nullptr);

// The lines a closing message adds to the split's success text ("" for none).
std::string SplitReportText(const SplitReport& report, const TextSource& texts);

// Deletes the source after a finished split. When it cannot, says so (the split stands, the
// source is kept, and why) as a warning and returns false.
bool Quelle_Loeschen(const std::string& quelle, EngineContext& ctx);

struct JoinJob {
  std::string ersteSegment;  // path of the first segment
  std::string zielPfad;      // target folder, no trailing "/"
  std::string zielName;      // target name
  bool ersetzen = false;     // an existing target file may be replaced (the user said so)
};

// What a join found beyond its truth value, for the closing message.
struct JoinReport {
  Verdict verdict = Verdict::NoChecksumFile;  // how the result compared with the checksum file
  std::string bad;                            // the segment (or rebuilt file) whose hash differs
  bool partialRemoved = false;                // a failed join removed what it had written
  CheckAccount account;                       // what was checked, once the data is all there
  bool gated = false;         // a protected set of an older version: its data was never encrypted
  bool chunkDamaged = false;  // an encrypted chunk did not authenticate: the join failed there
  RepairResult repair;        // what the recovery files found and rebuilt
};

// Joins into a temporary file beside the target, moved into place only when everything worked,
// so a failed join leaves an existing file of the target name as it was. An existing target is
// replaced only when the job says so; a packed set never replaces one.
bool Trennsegmente_Zusammenfuehren(const JoinJob& job, EngineContext& ctx,
                                   JoinReport* report = nullptr);

// The scrypt work factor (log2 N) in the age header of an encrypted set; 0 when there is none
// to read.
int EncryptionWorkFactor(const std::string& ersteSegment, EngineContext& ctx);

// The lines a closing message adds to the join's success or failure text ("" for none).
std::string JoinReportText(const JoinReport& report, bool done, const TextSource& texts);

// What a check covered, one line each: what matched, what could not be checked and why, what
// of the checksum file could not be read ("" when there is nothing to add to the verdict).
// Join and verify say it alike.
std::string CheckAccountText(const CheckAccount& account, const TextSource& texts);

// The check of a set without joining it: every segment against the checksum file, and the
// whole file too when the set holds it unpacked.
struct SegmentVerdict {
  enum class Status { Matches, Differs, NotListed, Conflicting, Missing, Beyond };
  std::string path;
  Status status;
};
struct VerifyReport {
  std::vector<SegmentVerdict> segments;
  Verdict verdict = Verdict::NoChecksumFile;
  std::string checksumPath;   // the checksum file that was used ("" when none was found)
  bool complete = false;      // the segments hold the recorded size
  std::string wholeName;      // the file the set holds
  bool wholeChecked = false;  // its line was compared (only an unpacked set holds it as such)
  bool wholeMatches = false;
  bool allGood = false;  // every segment (and the file, where it can be) matched
  // Nothing differs and nothing is missing, but not everything could be checked.
  bool notVerified = false;
  CheckAccount account;
};
// Follows the segments of a first segment as the join does, without asking for any.
VerifyReport Trennsegmente_Pruefen(const std::string& ersteSegment, EngineContext& ctx);

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
