// Recovery files for the segments of a split: how much, in which files, made, checked and used.
// The index NAME.PZX.par2 holds the description of the set; the volumes NAME.PZX.volF+C.par2
// hold C recovery slices from exponent F on, and the description again.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "recovery/par2.h"

namespace pz::recovery {

class RecoveryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using ProgressFn = std::function<void(std::int64_t done, std::int64_t total)>;

inline constexpr int kDefaultPercent = 10;
inline constexpr int kMaxPercent = 100;

struct Plan {
  std::uint64_t sliceSize = 0;
  std::uint32_t inputSlices = 0;
  std::uint32_t recoverySlices = 0;
  std::uint32_t wholeFiles = 0;  // how many of the largest files the recovery slices rebuild
};
// The slice size for files of these sizes: slices as small as let percent of recovery data
// rebuild at least one whole file of the largest size (and of moderate count, which the time
// the computation takes grows with).
Plan PlanFor(const std::vector<std::uint64_t>& sizes, int percent);

std::string IndexName(const std::string& base);
// The volumes for count recovery slices, as PAR2 clients name them: 1, 2, 4, ... slices each.
struct VolumeName {
  std::string name;
  std::uint32_t first;
  std::uint32_t count;
};
std::vector<VolumeName> VolumeNames(const std::string& base, std::uint32_t count);

struct InputFile {
  std::string path;
  std::string name;  // as recorded
};

// Writes the index and the volumes into folder and returns their paths. Throws RecoveryError
// with the reason (and what the progress report throws, for a cancel); nothing half-written
// stays behind either way.
std::vector<std::string> CreateRecovery(const std::vector<InputFile>& files,
                                        const std::string& folder, const std::string& base,
                                        const Plan& plan, const ProgressFn& progress);

struct FileState {
  std::string name;
  std::string path;                // where it was found; "" when it was not
  std::vector<std::uint32_t> bad;  // its slices that are missing or damaged
  bool sizeDiffers = false;
  bool Intact() const { return !path.empty() && bad.empty() && !sizeDiffers; }
};

struct Examination {
  bool found = false;  // the recovery files describe a set
  par2::SetInfo set;
  std::vector<par2::RecoverySliceRef> recovery;
  std::vector<FileState> files;  // in the set's order
  std::uint32_t MissingSlices() const;
  std::uint32_t RecoverySlices() const { return static_cast<std::uint32_t>(recovery.size()); }
  bool Intact() const;
  bool Repairable() const { return found && MissingSlices() <= RecoverySlices(); }
};

// The recovery files that belong to the index: it and every file beside it whose name begins
// with the index name's stem and ends in ".par2".
std::vector<std::string> RecoveryFilesOf(const std::string& indexPath);

// Reads the recovery files of an index and checks the files they describe, each looked for in
// the folders in turn.
Examination Examine(const std::string& indexPath, const std::vector<std::string>& folders,
                    const ProgressFn& progress);

// Rebuilds the files that are not intact into folder; returns their names. Throws
// RecoveryError when there is too little recovery data or a rebuilt file does not match.
std::vector<std::string> Repair(const Examination& exam, const std::string& folder,
                                const ProgressFn& progress);

}  // namespace pz::recovery
