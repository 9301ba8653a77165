#include "engine/recoveryuse.h"

#include <unistd.h>

#include "engine/checksum.h"
#include "engine/engine.h"
#include "engine/header.h"
#include "engine/segments.h"
#include "lang/textblocks.h"
#include "platform/os.h"
#include "recovery/recoveryset.h"

namespace pz {

namespace {

constexpr const char* kRecoveryExtension = ".par2";

recovery::ProgressFn ProgressOf(EngineContext& ctx) {
  return [&ctx](std::int64_t done, std::int64_t total) { ctx.ui.Progress(done, total); };
}

// Whether the index names a file that is absent or of another size: the cheap look before a
// join, which reads no recovery data.
bool SomethingShort(const std::string& index, const std::string& folder) {
  const par2::ScanResult scan = par2::ScanFiles({index});
  if (!scan.set) return false;
  for (const auto& f : scan.set->files) {
    const std::string path = JoinPath(folder, f.name);
    if (!FileExists(path) || FileSize(path) != static_cast<std::int64_t>(f.length)) return true;
  }
  return false;
}

std::string WritableFolder(const std::string& folder, const std::string& fallback) {
  return ::access(folder.c_str(), W_OK) == 0 || fallback.empty() ? folder : fallback;
}

}  // namespace

std::string RecoveryBaseName(const std::string& setName) {
  return setName + ".PZX";
}

std::string RecoveryIndexPath(const std::string& firstSegment) {
  return JoinPath(FolderPart(firstSegment),
                  recovery::IndexName(RecoveryBaseName(SetNameOfSegment(firstSegment))));
}

bool IsRecoveryFileName(const std::string& setName, const std::string& fileName) {
  const std::string prefix = RecoveryBaseName(setName);
  const std::string ext = kRecoveryExtension;
  return fileName.size() >= prefix.size() + ext.size() &&
         fileName.compare(0, prefix.size(), prefix) == 0 &&
         fileName.compare(fileName.size() - ext.size(), ext.size(), ext) == 0 &&
         (fileName.size() == prefix.size() + ext.size() || fileName[prefix.size()] == '.');
}

std::vector<std::string> WriteRecovery(const std::vector<std::string>& segments,
                                       const std::string& folder, const std::string& setName,
                                       int percent, EngineContext& ctx) {
  std::vector<recovery::InputFile> inputs;
  std::vector<std::uint64_t> sizes;
  for (const std::string& s : segments) {
    inputs.push_back({s, FileNamePart(s)});
    sizes.push_back(static_cast<std::uint64_t>(std::max<std::int64_t>(FileSize(s), 0)));
  }
  const recovery::Plan plan = recovery::PlanFor(sizes, percent);
  ctx.ui.StatusText(ctx.Text(tb::kRecoveryBusy) + "...");
  try {
    auto written =
        recovery::CreateRecovery(inputs, folder, RecoveryBaseName(setName), plan, ProgressOf(ctx));
    ctx.ui.StatusText("");
    ctx.ui.ShowMessage(ctx.Text(tb::kRecoveryWritten) + " " + std::to_string(plan.wholeFiles),
                       MsgIcon::Information);
    return written;
  } catch (const recovery::RecoveryError& e) {
    ctx.ui.StatusText("");
    Refuse(ctx.ui, ctx.Text(tb::kRecoveryNotWritten) + " " + e.what(), MsgIcon::Warning);
    return {};
  }
}

std::optional<std::uint32_t> RebuildableSegments(std::int64_t segmentSize, std::int64_t dataSize,
                                                 int percent) {
  const std::int64_t count = Anzahl_Trennungen_Berechnen(segmentSize, dataSize);
  if (count <= 0 || count > kMaxSegments) return std::nullopt;
  // Every segment file is full but the last, which takes what is left; the first holds the
  // header.
  const auto full = static_cast<std::uint64_t>(segmentSize);
  std::vector<std::uint64_t> sizes(static_cast<std::size_t>(count), full);
  sizes.back() = static_cast<std::uint64_t>(dataSize) + kHeaderSize - full * (sizes.size() - 1);
  return recovery::PlanFor(sizes, percent).wholeFiles;
}

RepairResult UseRecovery(const std::string& firstSegment, const std::string& fallbackFolder,
                         RepairMode mode, EngineContext& ctx) {
  RepairResult result;
  const std::string index = RecoveryIndexPath(firstSegment);
  const std::string folder = FolderPart(firstSegment);
  if (!FileExists(index)) return result;
  if (mode == RepairMode::RepairIfShort && !SomethingShort(index, folder)) {
    result.present = true;
    result.intact = true;
    return result;
  }
  ctx.ui.StatusText(ctx.Text(tb::kRecoveryChecking) + "...");
  const recovery::Examination exam =
      recovery::Examine(index, {folder, fallbackFolder}, ProgressOf(ctx));
  ctx.ui.StatusText("");
  result.present = exam.found;
  result.intact = exam.Intact();
  result.missingBlocks = exam.MissingSlices();
  result.recoveryBlocks = exam.RecoverySlices();
  if (mode == RepairMode::Report || result.intact || !result.Repairable()) return result;
  ctx.ui.StatusText(ctx.Text(tb::kRecoveryRebuilding) + "...");
  try {
    result.folder = WritableFolder(folder, fallbackFolder);
    result.rebuilt = recovery::Repair(exam, result.folder, ProgressOf(ctx));
  } catch (const recovery::RecoveryError& e) {
    result.failure = e.what();
  }
  ctx.ui.StatusText("");
  return result;
}

std::string RepairText(const RepairResult& r, RepairMode mode, const TextSource& texts) {
  const auto text = [&](tb::Block b) { return texts.GetText(b); };
  if (!r.present) return mode == RepairMode::RepairIfShort ? "" : text(tb::kRecoveryNone);
  const std::string counts = " " + std::to_string(r.missingBlocks) + ", " +
                             text(tb::kRecoveryBlocksThere) + " " +
                             std::to_string(r.recoveryBlocks);
  if (!r.failure.empty()) return text(tb::kRecoveryFailed) + " " + r.failure;
  if (!r.rebuilt.empty()) {
    std::string names;
    for (const std::string& n : r.rebuilt) names += (names.empty() ? " " : ", ") + n;
    return text(tb::kRecoveryRebuilt) + names;
  }
  if (r.intact) return mode == RepairMode::RepairIfShort ? "" : text(tb::kRecoveryIntact);
  if (!r.Repairable()) return text(tb::kRecoveryTooLittle) + counts;
  return text(tb::kRecoveryCanRepair) + counts;
}

}  // namespace pz
