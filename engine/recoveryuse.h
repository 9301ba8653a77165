// Recovery files beside the segments of a split: made right after the split, checked by
// verify, used by repair and by the join for a segment that is missing or damaged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lang/language.h"

namespace pz {

struct EngineContext;

// "NAME.PZX", from which the recovery files take their names ("NAME.PZX.par2", ...).
std::string RecoveryBaseName(const std::string& setName);
// The index beside a first segment.
std::string RecoveryIndexPath(const std::string& firstSegment);
// Whether a file name is one of the recovery files of a set.
bool IsRecoveryFileName(const std::string& setName, const std::string& fileName);

// Writes recovery files for the segments into folder; their paths, or none after a failure that
// a warning (text block 312) has said. A cancel from the progress report goes on as thrown.
std::vector<std::string> WriteRecovery(const std::vector<std::string>& segments,
                                       const std::string& folder, const std::string& setName,
                                       int percent, EngineContext& ctx);

// How many whole segments recovery files of percent rebuild when dataSize bytes (what the
// segments hold after the header) are cut into segments of segmentSize bytes: the count the split
// says once it has written them. Nothing for a size that counts no segments or more than a split
// with a fixed size makes.
std::optional<std::uint32_t> RebuildableSegments(std::int64_t segmentSize, std::int64_t dataSize,
                                                 int percent);

// What the recovery files found and did.
struct RepairResult {
  bool present = false;  // recovery files describe the set
  bool intact = false;
  std::uint32_t missingBlocks = 0;
  std::uint32_t recoveryBlocks = 0;
  std::vector<std::string> rebuilt;  // segment file names
  std::string folder;                // where they were rebuilt
  std::string failure;               // why a repair that was possible failed
  bool Repairable() const { return present && missingBlocks <= recoveryBlocks; }
};

enum class RepairMode {
  Report,         // check only
  Repair,         // check and rebuild what is missing or damaged
  RepairIfShort,  // as Repair, but only when a segment is missing or of the wrong size
};

// Checks the set of a first segment against its recovery files and rebuilds what it may into
// the segments' folder, or into fallbackFolder when that one cannot be written.
RepairResult UseRecovery(const std::string& firstSegment, const std::string& fallbackFolder,
                         RepairMode mode, EngineContext& ctx);

// The lines that tell the user what UseRecovery found and did ("" when there were no recovery
// files and none were looked for).
std::string RepairText(const RepairResult& result, RepairMode mode, const TextSource& texts);

}  // namespace pz
