// The figures of a progress display, shared by the window's status bar and the terminal line.
#pragma once

#include <cstdint>
#include <string>

namespace pz {

// Whole percent of done in total, never past 100; exact for any 64-bit size.
int ProzentFertig(std::int64_t done, std::int64_t total);

// Percent, bytes done of the total (in GiB from 1 GiB on, where byte counts become hard to read)
// and the rate in MB/s over the seconds so far.
std::string ProgressFigures(std::int64_t done, std::int64_t total, double seconds);

}  // namespace pz
