// The second half of an encrypted join on a thread of its own: the joining thread reads each
// segment and hashes it, this thread decrypts what was read and writes the plain data. The two
// halves cost about the same, so both cores work, and every byte is read only once. A few
// buffers of a quarter megabyte travel between the two threads: memory stays small and the
// bytes stay in the processor's cache from the read to the write.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "crypt/age.h"

namespace pz {

class DecryptWriter {
 public:
  // Damaged: a chunk did not authenticate, or bytes followed the final one.
  enum class Status { Ok, Damaged, WriteFailed };
  struct Result {
    Status status = Status::Ok;
    int error = 0;  // errno of a failed write
  };

  // Writes to the current position of outFd; the decryptor must be unlocked.
  DecryptWriter(age::Decryptor& decryptor, int outFd);
  // Stops after the buffer in hand: what is still queued is dropped.
  ~DecryptWriter();
  DecryptWriter(const DecryptWriter&) = delete;
  DecryptWriter& operator=(const DecryptWriter&) = delete;

  // The buffer to read the next bytes into; waits while every buffer is queued.
  std::vector<unsigned char>& Next();
  // The buffer from Next() holds size bytes of the age file, which follow those queued before.
  void Queue(std::size_t size);
  // Waits until everything queued is decrypted and written. After a failure the rest is dropped
  // and the failure stays.
  Result Drain();

 private:
  struct Piece {
    std::vector<unsigned char> bytes;
    std::size_t size = 0;
  };
  void Run();
  Result Write(const Piece& piece);

  age::Decryptor& decryptor_;
  const int outFd_;
  std::vector<Piece> ring_;
  std::size_t head_ = 0;    // the next piece to fill
  std::size_t queued_ = 0;  // pieces filled and not yet written
  bool stop_ = false;
  Result result_;
  std::mutex mutex_;
  std::condition_variable filled_;
  std::condition_variable emptied_;
  std::thread thread_;  // last: starts once the members above are ready
};

}  // namespace pz
