// The one computation behind making and using recovery data: output slices that are sums of
// input slices times constants, out[o] = sum over i of matrix[o][i] * in[i] in GF(2^16). The
// slices are read straight from their files, stripe by stripe, on every core; the outputs are
// held for one pass of at most the memory budget and handed on in order of their offset.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <vector>

namespace pz::recovery {

// A slice in a file; the bytes past length (up to the slice size) count as zeros.
struct SliceSource {
  int fd = -1;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct CombineJob {
  std::uint64_t sliceSize = 0;  // a multiple of 4
  std::vector<SliceSource> inputs;
  std::size_t outputs = 0;
  std::vector<std::uint16_t> matrix;  // outputs rows of inputs.size() constants
  // Takes bytes [offset, offset + n) of output o; called on the calling thread, offsets rising.
  std::function<void(std::size_t o, std::uint64_t offset, const std::uint8_t* data, std::size_t n)>
      sink;
  // Work that runs on the same threads during the first pass (the hashing of the inputs); each
  // reports the bytes it has done through the counter it is given.
  std::vector<std::function<void(const std::stop_token&, std::atomic<std::int64_t>& done)>>
      sideTasks;
  std::int64_t sideBytes = 0;  // what the side tasks will report in all
  std::size_t memoryBudget = 96U << 20;
};

// The progress report may throw to cancel: the threads stop and the exception goes on. A read
// failure throws std::system_error.
void Combine(const CombineJob& job,
             const std::function<void(std::int64_t done, std::int64_t total)>& progress);

// Threads the computation uses.
unsigned WorkerCount();

// Runs count tasks on WorkerCount() threads; the calling thread calls report about every 50 ms
// until they are done. A task's exception stops the others and is thrown here; so is one of
// report, after the threads have stopped.
void RunTasks(std::size_t count,
              const std::function<void(std::size_t, const std::stop_token&)>& task,
              const std::function<void()>& report);

}  // namespace pz::recovery
