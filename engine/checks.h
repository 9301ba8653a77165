// The input checks that run before a split or join starts, in the order the window runs them;
// the command line runs the same ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/interaction.h"
#include "lang/textblocks.h"

namespace pz {

enum class InputField { Source, HandSize, TargetFolder, TargetName, None };

struct CheckFailure {
  tb::Block block;
  MsgIcon icon;
  InputField focus;
};

struct CheckInput {
  bool split = true;
  std::string source;
  std::int64_t segmentCount = 0;  // split only: the count shown ("?" counts as 0)
  bool sizeInvalid = false;       // split only: the size typed by hand is no segment size
  std::string targetFolder;       // one trailing "/" is removed when the checks pass it
  std::string targetName;
};

// The first check that fails, or nothing. On success targetFolder has lost one trailing "/".
std::optional<CheckFailure> CheckInputs(CheckInput& in);

// One trailing "/" removed (the root "/" becomes "", which joins as "/name").
std::string WithoutTrailingSeparator(const std::string& folder);

}  // namespace pz
