// The command-line front end: parzello-cli split | join | info.
#pragma once

#include <cstdio>

namespace pz {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// Joined (or checked), nothing found wrong, but the checksum file could not confirm everything.
inline constexpr int kExitNotVerified = 3;

int RunCli(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace pz
