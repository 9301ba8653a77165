#include "zip/engines/pdeflate.h"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

namespace pz::pdeflate {

std::uint16_t LevelFlags(int level) {
  if (level >= 8) return 2;  // maximum
  if (level <= 2) return 4;  // fast
  return 0;                  // normal
}

std::size_t BlockSizeFor(std::uint64_t size, unsigned threads) {
  const std::uint64_t share = size / (std::max(threads, 1u) * 4u);
  const std::uint64_t block = std::clamp<std::uint64_t>(share, kMinBlock, kMaxBlock);
  return static_cast<std::size_t>((block + kPiece - 1) / kPiece * kPiece);
}

unsigned ThreadsFor(std::uint64_t size) {
  if (size <= kMinBlock) return 0;
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
}

struct Deflater::Slot {
  explicit Slot(std::size_t blockSize) : in(new std::uint8_t[kWindow + blockSize]) {}
  std::unique_ptr<std::uint8_t[]> in;  // the window before the block, then the block
  std::size_t window = 0;
  std::size_t size = 0;
  std::vector<std::uint8_t> out;
  std::uint32_t crc = 0;
  int error = 0;  // errno of a failed read
  bool done = false;
};

namespace {

// One raw deflate stream, ended with its owner.
class Stream {
 public:
  explicit Stream(int level) {
    if (deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw std::bad_alloc();
  }
  ~Stream() { deflateEnd(&z_); }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  z_stream* operator->() { return &z_; }
  z_stream* get() { return &z_; }

 private:
  z_stream z_{};
};

void AppendStored(const std::uint8_t* p, std::size_t n, std::vector<std::uint8_t>& out) {
  while (n > 0) {
    const std::size_t k = std::min<std::size_t>(n, 0xFFFF);
    // Not final, type 00; the stream is on a byte boundary, so the header fills one byte.
    const std::uint8_t head[5] = {0x00, static_cast<std::uint8_t>(k),
                                  static_cast<std::uint8_t>(k >> 8), static_cast<std::uint8_t>(~k),
                                  static_cast<std::uint8_t>(~k >> 8)};
    out.insert(out.end(), head, head + 5);
    out.insert(out.end(), p, p + k);
    p += k;
    n -= k;
  }
}

}  // namespace

// Compresses blocks; each worker owns one, so its zlib state is never shared.
class Deflater::Coder {
 public:
  explicit Coder(int level) : main_(level), trial_(1) {}

  void Code(Slot& s, const std::atomic<bool>& stop) {
    const std::uint8_t* in = s.in.get();
    const std::size_t end = s.window + s.size;
    s.crc = static_cast<std::uint32_t>(crc32_z(0, in + s.window, s.size));
    s.out.clear();
    shrinks_.clear();
    for (std::size_t p = s.window; p < end; p += kPiece)
      shrinks_.push_back(Shrinks(in + p, std::min(kPiece, end - p)));
    // Runs of pieces of the same kind, each written in one go.
    std::size_t first = 0;
    while (first < shrinks_.size() && !stop) {
      std::size_t last = first + 1;
      while (last < shrinks_.size() && shrinks_[last] == shrinks_[first]) ++last;
      const std::size_t from = s.window + first * kPiece;
      const std::size_t to = std::min(end, s.window + last * kPiece);
      if (shrinks_[first])
        Deflate(in, from, to - from, s.out);
      else
        AppendStored(in + from, to - from, s.out);
      first = last;
    }
  }

 private:
  // Whether a quick trial on the start of a piece saves enough to be worth deflating it.
  bool Shrinks(const std::uint8_t* p, std::size_t n) {
    const std::size_t m = std::min(n, kSample);
    deflateReset(trial_.get());
    scratch_.resize(deflateBound(trial_.get(), static_cast<uLong>(m)));
    trial_->next_in = p;
    trial_->avail_in = static_cast<uInt>(m);
    trial_->next_out = scratch_.data();
    trial_->avail_out = static_cast<uInt>(scratch_.size());
    deflate(trial_.get(), Z_FINISH);
    return trial_->total_out * 100 < m * (100 - kLeastSaving);
  }

  // Deflates in[start, start + n), primed with the window before it, and ends on a byte
  // boundary. A run that would grow is stored instead.
  void Deflate(const std::uint8_t* in, std::size_t start, std::size_t n,
               std::vector<std::uint8_t>& out) {
    deflateReset(main_.get());
    const std::size_t dict = std::min(start, kWindow);
    if (dict > 0) deflateSetDictionary(main_.get(), in + start - dict, static_cast<uInt>(dict));
    const std::size_t base = out.size();
    std::size_t used = base;
    out.resize(base + deflateBound(main_.get(), static_cast<uLong>(n)) + 16);
    main_->next_in = in + start;
    main_->avail_in = static_cast<uInt>(n);
    for (;;) {
      if (out.size() - used < 64) out.resize(out.size() + n / 8 + 4096);
      main_->next_out = out.data() + used;
      main_->avail_out = static_cast<uInt>(out.size() - used);
      deflate(main_.get(), Z_SYNC_FLUSH);
      used = out.size() - main_->avail_out;
      if (main_->avail_in == 0 && main_->avail_out > 0) break;  // all in, flush complete
    }
    out.resize(used);
    if (used - base > StoredSize(n)) {
      out.resize(base);
      AppendStored(in + start, n, out);
    }
  }

  Stream main_;
  Stream trial_;
  std::vector<std::uint8_t> scratch_;
  std::vector<bool> shrinks_;
};

Deflater::Deflater(int level, std::uint64_t expectedSize, Reader read, unsigned threads)
    : level_(std::clamp(level, 1, 9)),
      blockSize_(BlockSizeFor(expectedSize, threads)),
      read_(std::move(read)) {
  threads = std::min(threads, kMaxThreads);
  for (unsigned i = 0; i <= threads; ++i)  // the last one is the caller's
    coders_.push_back(std::make_unique<Coder>(level_));
  const std::size_t slots = threads == 0 ? 1 : std::min(threads * kSlotsPerThread, kMaxSlots);
  for (std::size_t i = 0; i < slots; ++i) slots_.push_back(std::make_unique<Slot>(blockSize_));
  try {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this, i] { Work(*coders_[i]); });
  } catch (const std::system_error&) {
    // Fewer threads than asked for; with none the caller's thread does the work.
  }
}

Deflater::~Deflater() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  for (auto& t : workers_) t.join();
}

void Deflater::Work(Coder& coder) {
  for (;;) {
    std::uint64_t block = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [this] { return stop_ || nextTake_ < nextQueued_; });
      if (stop_) return;
      block = nextTake_++;
    }
    Slot& s = *slots_[block % slots_.size()];
    if (ReadBlock(s, block)) coder.Code(s, stop_);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      s.done = true;
    }
    done_.notify_one();
  }
}

// Reads a block with the window before it; every worker reads its own, at its own place. A
// block past the end comes back empty.
bool Deflater::ReadBlock(Slot& s, std::uint64_t block) const {
  const std::uint64_t at = block * blockSize_;
  const std::size_t window = static_cast<std::size_t>(std::min<std::uint64_t>(at, kWindow));
  const std::size_t want = window + blockSize_;
  std::size_t got = 0;
  s.error = 0;
  while (got < want) {
    const std::int64_t n = read_(s.in.get() + got, want - got, at - window + got);
    if (n < 0) {
      s.error = errno != 0 ? errno : EIO;
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  s.window = std::min(window, got);
  s.size = got - s.window;
  return true;
}

// Hands the next blocks to the workers, as many as there are slots.
void Deflater::Fill() {
  while (nextQueued_ - nextOut_ < slots_.size()) {
    const std::uint64_t block = nextQueued_;
    Slot& s = *slots_[block % slots_.size()];
    if (workers_.empty()) {
      if (ReadBlock(s, block)) coders_.back()->Code(s, stop_);
      s.done = true;
      ++nextQueued_;
      continue;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      s.done = false;
      ++nextQueued_;
    }
    work_.notify_one();
  }
}

// Waits for a block; while a later one waits for a worker, the caller's thread does that one.
void Deflater::WaitFor(const Slot& s) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!s.done) {
    if (nextTake_ < nextQueued_) {
      const std::uint64_t block = nextTake_++;
      Slot& other = *slots_[block % slots_.size()];
      lock.unlock();
      if (ReadBlock(other, block)) coders_.back()->Code(other, stop_);
      lock.lock();
      other.done = true;
    } else {
      done_.wait(lock);
    }
  }
}

bool Deflater::Next(Chunk& chunk) {
  if (holding_) {
    holding_ = false;
    ++nextOut_;
  }
  if (finished_ || readError_ != 0) return false;
  if (!eof_) {
    Fill();
    Slot& s = *slots_[nextOut_ % slots_.size()];
    WaitFor(s);
    if (s.error != 0) {
      readError_ = s.error;
      return false;
    }
    eof_ = s.size < blockSize_;  // a short block is the last; those queued after it are empty
    if (s.size > 0) {
      crc_ = static_cast<std::uint32_t>(crc32_combine(crc_, s.crc, static_cast<z_off_t>(s.size)));
      inputSize_ += s.size;
      outputSize_ += s.out.size();
      holding_ = true;
      chunk = {s.out.data(), s.out.size(), s.size};
      return true;
    }
  }
  finished_ = true;  // all data handed out: close the stream
  chunk = {kEndOfStream, sizeof kEndOfStream, 0};
  outputSize_ += sizeof kEndOfStream;
  return true;
}

}  // namespace pz::pdeflate
