#include "engine/decryptwriter.h"

#include <cerrno>

#include "engine/filecopy.h"

namespace pz {

namespace {

// Four chunks of the age file to a piece, eight pieces: two megabytes in all.
constexpr std::size_t kPieceSize = 4 * age::kSealedChunkSize;
constexpr std::size_t kPieces = 8;

}  // namespace

DecryptWriter::DecryptWriter(age::Decryptor& decryptor, int outFd)
    : decryptor_(decryptor), outFd_(outFd), ring_(kPieces), thread_([this] { Run(); }) {}

DecryptWriter::~DecryptWriter() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  filled_.notify_one();
  thread_.join();
}

std::vector<unsigned char>& DecryptWriter::Next() {
  std::unique_lock<std::mutex> lock(mutex_);
  emptied_.wait(lock, [&] { return queued_ < kPieces; });
  std::vector<unsigned char>& bytes = ring_[head_].bytes;
  bytes.resize(kPieceSize);
  return bytes;
}

void DecryptWriter::Queue(std::size_t size) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ring_[head_].size = size;
    head_ = (head_ + 1) % kPieces;
    ++queued_;
  }
  filled_.notify_one();
}

DecryptWriter::Result DecryptWriter::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  emptied_.wait(lock, [&] { return queued_ == 0; });
  return result_;
}

void DecryptWriter::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    filled_.wait(lock, [&] { return stop_ || queued_ > 0; });
    if (stop_) return;
    const Piece& piece = ring_[(head_ + kPieces - queued_) % kPieces];
    const bool failed = result_.status != Status::Ok;
    lock.unlock();
    // The piece is the thread's until it is counted out below: Next() never hands it out.
    const Result result = failed ? Result{} : Write(piece);
    lock.lock();
    if (!failed) result_ = result;
    --queued_;
    emptied_.notify_one();
  }
}

DecryptWriter::Result DecryptWriter::Write(const Piece& piece) {
  Result result;
  const age::Decryptor::Sink sink = [&](const unsigned char* data, std::size_t size) {
    if (result.status == Status::Ok && !WriteAll(outFd_, data, size))
      result = {Status::WriteFailed, errno};
  };
  const age::Decryptor::Status fed = decryptor_.Feed(piece.bytes.data(), piece.size, sink);
  if (result.status != Status::Ok) return result;
  if (fed != age::Decryptor::Status::Ok) return {Status::Damaged, 0};
  return result;
}

}  // namespace pz
