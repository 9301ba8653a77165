#include "engine/checks.h"

#include "engine/segments.h"
#include "platform/os.h"

namespace pz {

std::string WithoutTrailingSeparator(const std::string& folder) {
  if (!folder.empty() && folder.back() == '/') return folder.substr(0, folder.size() - 1);
  return folder;
}

std::optional<CheckFailure> CheckInputs(CheckInput& in) {
  if (in.source.empty()) {
    return CheckFailure{in.split ? tb::kSplitNoSource : tb::kJoinNoSegment, MsgIcon::Information,
                        InputField::Source};
  }
  if (!FileExists(in.source)) {
    return CheckFailure{in.split ? tb::kSplitSourceMissing : tb::kJoinSegmentMissing,
                        MsgIcon::Information, InputField::Source};
  }
  if (in.split && in.sizeInvalid) {
    return CheckFailure{tb::kHandSizeInvalid, MsgIcon::Warning, InputField::HandSize};
  }
  if (in.split && in.segmentCount > kMaxSegments) {
    return CheckFailure{tb::kTooManySegments, MsgIcon::Warning, InputField::None};
  }
  if (in.targetFolder.empty() || !HasDrivePart(in.targetFolder)) {
    return CheckFailure{tb::kTargetFolderInvalid, MsgIcon::Information, InputField::TargetFolder};
  }
  in.targetFolder = WithoutTrailingSeparator(in.targetFolder);
  if (in.targetName.empty()) {
    return CheckFailure{tb::kTargetNameEmpty, MsgIcon::Information, InputField::TargetName};
  }
  return std::nullopt;
}

}  // namespace pz
