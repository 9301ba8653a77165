// Passphrase encryption in the age v1 format (age-encryption.org/v1): one scrypt stanza, and the
// payload in ChaCha20-Poly1305 chunks of 64 KiB. Every primitive comes from libcrypto. The
// encryptor seals one chunk at a time at any position, the decryptor takes the file in pieces of
// any size: memory stays one chunk whatever the size of the data. No Qt.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pz::age {

inline constexpr std::size_t kChunkSize = 64 * 1024;
inline constexpr std::size_t kTagSize = 16;
inline constexpr std::size_t kSealedChunkSize = kChunkSize + kTagSize;
inline constexpr std::size_t kNonceSize = 16;    // the payload's nonce after the header
inline constexpr std::size_t kFileKeySize = 16;  // the key every stanza wraps
inline constexpr std::size_t kSaltSize = 16;     // the scrypt stanza's salt
inline constexpr std::size_t kKeySize = 32;      // wrap, payload and MAC keys
// The work factor this program writes (age's own default); the highest it reads costs 1 GiB.
inline constexpr int kWorkFactor = 18;
inline constexpr int kMaxWorkFactor = 20;
// A scrypt header is about 150 bytes; anything this long is no header of ours.
inline constexpr std::size_t kMaxHeaderSize = 4096;

// libcrypto refused a step (no memory for scrypt, no random bytes).
class CryptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Key bytes that are wiped (OPENSSL_cleanse) when they go.
template <std::size_t N>
struct SecretBytes {
  std::array<unsigned char, N> bytes{};
  SecretBytes() = default;
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  ~SecretBytes();
  unsigned char* data() { return bytes.data(); }
  const unsigned char* data() const { return bytes.data(); }
};

// Wipes a passphrase held in a string and empties it.
void Wipe(std::string& text);
// Wipes size bytes of a passphrase held elsewhere (a toolkit's string).
void WipeBytes(void* data, std::size_t size);

// The size of the age file that Encryptor writes for plainSize bytes of data.
std::int64_t EncryptedSize(std::int64_t plainSize, int workFactor = kWorkFactor);

// The ChaCha20-Poly1305 context of one key, reused for every chunk it seals or opens.
class ChunkCipher;

// Encrypts one file: picks the file key, salt and nonce, derives the wrap key once.
class Encryptor {
 public:
  explicit Encryptor(const std::string& passphrase, int workFactor = kWorkFactor);
  ~Encryptor();
  Encryptor(const Encryptor&) = delete;
  Encryptor& operator=(const Encryptor&) = delete;

  // What precedes the first chunk: the header and the payload nonce.
  const std::vector<unsigned char>& Prefix() const { return prefix_; }
  // Seals chunk index (size bytes of data, at most kChunkSize; last for the final chunk) into
  // out, which takes size + kTagSize bytes.
  void SealChunk(std::uint64_t index, const unsigned char* plain, std::size_t size, bool last,
                 unsigned char* out);

 private:
  std::vector<unsigned char> prefix_;
  std::unique_ptr<ChunkCipher> payload_;
};

// The age file of a plaintext file, read at any offset: the prefix, then chunk after chunk,
// each sealed when it is first read. Keeps one chunk.
class SealedReader {
 public:
  SealedReader(Encryptor& enc, int plainFd, std::int64_t plainSize);
  std::int64_t size() const { return size_; }
  // Up to max bytes of the age file from offset, never past the chunk that holds it; 0 at the
  // end, -1 (errno set) when reading the plaintext failed or it was shorter than said.
  std::int64_t Read(std::int64_t offset, unsigned char* out, std::size_t max);

 private:
  bool Seal(std::uint64_t index);

  Encryptor& enc_;
  int fd_;
  std::int64_t plainSize_;
  std::int64_t size_;
  std::uint64_t chunks_;
  std::uint64_t sealed_ = UINT64_MAX;  // the chunk in buffer_
  std::size_t sealedSize_ = 0;
  std::vector<unsigned char> plain_, buffer_;
};

// The header of an age file as far as this program reads it: the one scrypt stanza.
struct ScryptHeader {
  std::vector<unsigned char> raw;  // the header bytes as they stand, MAC line included
  std::array<unsigned char, kSaltSize> salt{};
  int workFactor = 0;
  std::array<unsigned char, kFileKeySize + kTagSize> body{};
  std::array<unsigned char, kKeySize> mac{};
};
enum class HeaderParse {
  Complete,   // header holds it
  NeedMore,   // the data ends inside what may still be a header
  Malformed,  // not an age v1 header, or not of this form
  NotScrypt,  // an age header for other recipients than one passphrase
  TooCostly,  // a work factor beyond kMaxWorkFactor
};
HeaderParse ParseHeader(const unsigned char* data, std::size_t size, ScryptHeader& header);

// Decrypts one age file of a known total size (header included), fed in pieces in order.
class Decryptor {
 public:
  enum class Unlock { Ok, WrongPassphrase, HeaderDamaged };
  enum class Status { Ok, Damaged, Beyond };
  using Sink = std::function<void(const unsigned char* data, std::size_t size)>;

  // False from Valid() when no age file of this header can have that size.
  Decryptor(ScryptHeader header, std::int64_t totalSize);
  ~Decryptor();
  Decryptor(const Decryptor&) = delete;
  Decryptor& operator=(const Decryptor&) = delete;

  bool Valid() const { return lastChunk_ != UINT64_MAX; }
  // Derives the wrap key (once per call), opens the stanza and checks the header's MAC.
  Unlock TryPassphrase(const std::string& passphrase);
  // The next bytes of the file from its first byte on; data authenticated chunk by chunk goes
  // to sink. Damaged: a chunk (FailedChunk()) or the header bytes are not what was sealed.
  Status Feed(const unsigned char* data, std::size_t size, const Sink& sink);
  // True once the final chunk has been authenticated.
  bool Complete() const { return done_; }
  std::uint64_t FailedChunk() const { return chunk_; }

 private:
  Status TakePrefix(const unsigned char*& data, std::size_t& size);
  Status OpenChunk(const unsigned char* sealed, const Sink& sink);
  std::size_t ChunkWire(std::uint64_t index) const;

  ScryptHeader header_;
  std::int64_t total_;
  std::uint64_t lastChunk_ = UINT64_MAX;
  std::size_t lastWire_ = 0;  // sealed size of the final chunk
  SecretBytes<kFileKeySize> fileKey_;
  bool unlocked_ = false;
  std::int64_t fed_ = 0;
  std::array<unsigned char, kNonceSize> nonce_{};
  std::unique_ptr<ChunkCipher> payload_;
  std::uint64_t chunk_ = 0;  // the chunk being gathered
  std::vector<unsigned char> in_, out_;
  std::size_t have_ = 0;
  bool done_ = false;
};

}  // namespace pz::age
