// Deflate on every core. A member's data is cut into blocks that worker threads compress at the
// same time, each primed with the 32 KiB before it so that the ratio stays that of one stream;
// the blocks end on a byte boundary (sync flush) and are joined in order into one raw deflate
// stream that every unzip reads. Parts that deflate cannot shrink are written as stored blocks
// at memory speed instead of being searched for matches that are not there.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pz::pdeflate {

inline constexpr std::size_t kWindow = 32 << 10;  // deflate's history
inline constexpr std::size_t kPiece = 64 << 10;   // unit of the choice: stored or deflated
inline constexpr std::size_t kSample = 8 << 10;   // what the trial compresses of each piece
inline constexpr std::size_t kMinBlock = 128 << 10;
inline constexpr std::size_t kMaxBlock = 1 << 20;
inline constexpr unsigned kMaxThreads = 8;
// Blocks in flight: enough that a worker finds the next one ready while the caller writes out
// the one before, and a fixed number at most, so that peak memory stays fixed (about 2 MiB
// each, input and output).
inline constexpr unsigned kSlotsPerThread = 4;
inline constexpr unsigned kMaxSlots = 16;
// A piece is stored when its trial saves less than this share (in percent).
inline constexpr unsigned kLeastSaving = 3;
// The stream's last block: a final, empty block with fixed codes.
inline constexpr std::uint8_t kEndOfStream[2] = {0x03, 0x00};

// Reads up to n bytes at offset into buf, like pread: the count, 0 at the end, -1 on failure
// (errno set). The workers call it at the same time, each for its own block.
using Reader = std::function<std::int64_t(std::uint8_t* buf, std::size_t n, std::uint64_t offset)>;

// What a stored run of n bytes takes in the stream.
inline std::uint64_t StoredSize(std::uint64_t n) {
  return n + 5 * ((n + 0xFFFE) / 0xFFFF);
}

// One compressed block, valid until the next call of Next.
struct Chunk {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::uint64_t input = 0;  // bytes of the member that it stands for
};

// General purpose flag bits 1-2 that record the level class of deflated data.
std::uint16_t LevelFlags(int level);

// Block size for a member of the given size shared by the given number of threads: small
// enough that every thread gets work, large enough that each runs long.
std::size_t BlockSizeFor(std::uint64_t size, unsigned threads);

// Worker threads for a member of the given size: none (the caller's thread does it all) when
// it fits one block.
unsigned ThreadsFor(std::uint64_t size);

class Deflater {
 public:
  // level 1 to 9; threads 0: everything on the caller's thread.
  Deflater(int level, std::uint64_t expectedSize, Reader read, unsigned threads);
  ~Deflater();
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // The next part of the stream in order; false at its end or when reading failed.
  bool Next(Chunk& chunk);

  bool Failed() const { return readError_ != 0; }
  int ReadError() const { return readError_; }
  bool Finished() const { return finished_; }
  std::uint32_t Crc() const { return crc_; }
  std::uint64_t InputSize() const { return inputSize_; }
  std::uint64_t OutputSize() const { return outputSize_; }

 private:
  struct Slot;
  class Coder;
  void Fill();
  bool ReadBlock(Slot& slot, std::uint64_t block) const;
  void Work(Coder& coder);
  void WaitFor(const Slot& slot);

  const int level_;
  const std::size_t blockSize_;
  Reader read_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<std::unique_ptr<Coder>> coders_;  // one per worker and one for the caller
  std::uint64_t nextQueued_ = 0;                // blocks handed to the workers
  std::uint64_t nextTake_ = 0;                  // blocks taken by a worker
  std::uint64_t nextOut_ = 0;                   // blocks handed out
  bool holding_ = false;                        // the block nextOut_ is out with the caller
  bool eof_ = false;                            // the last block is out
  bool finished_ = false;
  int readError_ = 0;
  std::uint32_t crc_ = 0;
  std::uint64_t inputSize_ = 0;
  std::uint64_t outputSize_ = 0;

  std::mutex mutex_;
  std::condition_variable work_;  // workers wait for blocks
  std::condition_variable done_;  // the caller waits for the next block in order
  std::atomic<bool> stop_{false};
  std::vector<std::thread> workers_;
};

}  // namespace pz::pdeflate
