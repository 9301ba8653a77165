#include "crypt/age.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace pz::age {

template <std::size_t N>
SecretBytes<N>::~SecretBytes() {
  OPENSSL_cleanse(bytes.data(), bytes.size());
}
template struct SecretBytes<kFileKeySize>;
template struct SecretBytes<kKeySize>;

void Wipe(std::string& text) {
  if (!text.empty()) OPENSSL_cleanse(text.data(), text.size());
  text.clear();
}

void WipeBytes(void* data, std::size_t size) {
  if (size > 0) OPENSSL_cleanse(data, size);
}

namespace {

constexpr std::string_view kVersionLine = "age-encryption.org/v1\n";
constexpr std::string_view kStanzaStart = "-> ";
constexpr std::string_view kMacStart = "---";
constexpr std::string_view kScryptType = "scrypt";
constexpr std::string_view kScryptLabel = "age-encryption.org/v1/scrypt";
constexpr std::size_t kBodyLine = 64;  // columns of a full stanza body line
constexpr std::uint64_t kScryptR = 8;
constexpr std::uint64_t kScryptP = 1;

void Check(bool ok, const char* what) {
  if (!ok) throw CryptError(std::string("libcrypto: ") + what);
}

// HKDF-SHA-256 with the given salt (empty: none) and info, 32 bytes out.
void Hkdf(const unsigned char* ikm, std::size_t ikmSize, const unsigned char* salt,
          std::size_t saltSize, std::string_view info, unsigned char* out) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  Check(kdf != nullptr, "HKDF");
  EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
  EVP_KDF_free(kdf);
  Check(ctx != nullptr, "HKDF context");
  char digest[] = "SHA256";
  OSSL_PARAM params[5];
  OSSL_PARAM* p = params;
  *p++ = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0);
  *p++ = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<unsigned char*>(ikm),
                                           ikmSize);
  if (saltSize > 0) {
    *p++ = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<unsigned char*>(salt),
                                             saltSize);
  }
  *p++ = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<char*>(info.data()),
                                           info.size());
  *p = OSSL_PARAM_construct_end();
  const int ok = EVP_KDF_derive(ctx, out, kKeySize, params);
  EVP_KDF_CTX_free(ctx);
  Check(ok == 1, "HKDF derive");
}

// scrypt(N = 2^workFactor, r = 8, p = 1) of the passphrase with the stanza's labelled salt.
void Scrypt(const std::string& passphrase, const unsigned char* salt, int workFactor,
            unsigned char* out) {
  std::vector<unsigned char> s(kScryptLabel.begin(), kScryptLabel.end());
  s.insert(s.end(), salt, salt + kSaltSize);
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "SCRYPT", nullptr);
  Check(kdf != nullptr, "scrypt");
  EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
  EVP_KDF_free(kdf);
  Check(ctx != nullptr, "scrypt context");
  std::uint64_t n = std::uint64_t{1} << workFactor;
  std::uint32_t r = kScryptR, p = kScryptP;
  // What scrypt needs (128 * r * N) and a little more; libcrypto's own ceiling is 32 MiB.
  std::uint64_t maxmem = 129 * kScryptR * n + (1 << 20);
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD,
                                        const_cast<char*>(passphrase.data()), passphrase.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, s.data(), s.size()),
      OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_N, &n),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_R, &r),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_P, &p),
      OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_MAXMEM, &maxmem),
      OSSL_PARAM_construct_end()};
  const int ok = EVP_KDF_derive(ctx, out, kKeySize, params);
  EVP_KDF_CTX_free(ctx);
  Check(ok == 1, "scrypt derive");
}

void HmacSha256(const unsigned char* key, const unsigned char* data, std::size_t dataLen,
                unsigned char* out) {
  std::size_t outSize = 0;
  Check(EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, key, kKeySize, data, dataLen, out,
                  kKeySize, &outSize) != nullptr &&
            outSize == kKeySize,
        "HMAC-SHA-256");
}

void Random(unsigned char* out, std::size_t size) {
  Check(RAND_bytes(out, static_cast<int>(size)) == 1, "random bytes");
}

// Standard base64 without padding, as the format writes it.
std::string Base64(const unsigned char* data, std::size_t size) {
  std::string out(4 * ((size + 2) / 3) + 1, '\0');
  const int n =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(size));
  out.resize(static_cast<std::size_t>(n));
  while (!out.empty() && out.back() == '=') out.pop_back();
  return out;
}

// Decodes exactly size bytes from unpadded base64; false for any other length or for a
// non-canonical encoding (the format allows only the one this program writes).
bool FromBase64(std::string_view text, unsigned char* out, std::size_t size) {
  if (text.size() != (size * 4 + 2) / 3) return false;
  for (char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/') return false;
  }
  std::string padded(text);
  while (padded.size() % 4 != 0) padded += '=';
  std::vector<unsigned char> buf(padded.size());
  if (EVP_DecodeBlock(buf.data(), reinterpret_cast<const unsigned char*>(padded.data()),
                      static_cast<int>(padded.size())) < 0)
    return false;
  std::memcpy(out, buf.data(), size);
  OPENSSL_cleanse(buf.data(), buf.size());
  return Base64(out, size) == text;
}

// The 12-byte nonce of payload chunk index.
std::array<unsigned char, 12> ChunkNonce(std::uint64_t index, bool last) {
  std::array<unsigned char, 12> n{};
  for (int i = 10; i >= 3; --i) {
    n[static_cast<std::size_t>(i)] = static_cast<unsigned char>(index & 0xFF);
    index >>= 8;
  }
  n[11] = last ? 1 : 0;
  return n;
}

std::uint64_t ChunkCount(std::int64_t plainSize) {
  const auto size = static_cast<std::uint64_t>(plainSize);
  return std::max<std::uint64_t>(1, (size + kChunkSize - 1) / kChunkSize);
}

}  // namespace

class ChunkCipher {
 public:
  explicit ChunkCipher(const unsigned char* key) : ctx_(EVP_CIPHER_CTX_new()) {
    Check(ctx_ != nullptr, "cipher context");
    Check(EVP_CipherInit_ex(ctx_, EVP_chacha20_poly1305(), nullptr, key, nullptr, -1) == 1,
          "ChaCha20-Poly1305");
  }
  ~ChunkCipher() { EVP_CIPHER_CTX_free(ctx_); }
  ChunkCipher(const ChunkCipher&) = delete;
  ChunkCipher& operator=(const ChunkCipher&) = delete;

  // in: size bytes; out: size bytes and the tag.
  void Seal(const unsigned char* nonce, const unsigned char* in, std::size_t size,
            unsigned char* out) {
    int n = 0, fin = 0;
    Check(EVP_CipherInit_ex(ctx_, nullptr, nullptr, nullptr, nonce, 1) == 1 &&
              EVP_CipherUpdate(ctx_, out, &n, in, static_cast<int>(size)) == 1 &&
              EVP_CipherFinal_ex(ctx_, out + n, &fin) == 1 &&
              EVP_CIPHER_CTX_ctrl(ctx_, EVP_CTRL_AEAD_GET_TAG, kTagSize, out + size) == 1,
          "seal");
  }
  // in: size bytes and the tag; out: size bytes. False when the tag does not authenticate.
  bool Open(const unsigned char* nonce, const unsigned char* in, std::size_t size,
            unsigned char* out) {
    int n = 0, fin = 0;
    Check(EVP_CipherInit_ex(ctx_, nullptr, nullptr, nullptr, nonce, 0) == 1 &&
              EVP_CIPHER_CTX_ctrl(ctx_, EVP_CTRL_AEAD_SET_TAG, kTagSize,
                                  const_cast<unsigned char*>(in + size)) == 1 &&
              EVP_CipherUpdate(ctx_, out, &n, in, static_cast<int>(size)) == 1,
          "open");
    if (EVP_CipherFinal_ex(ctx_, out + n, &fin) == 1) return true;
    OPENSSL_cleanse(out, size);
    return false;
  }

 private:
  EVP_CIPHER_CTX* ctx_;
};

std::int64_t EncryptedSize(std::int64_t plainSize, int workFactor) {
  // The header Encryptor writes: version line, stanza line, body line, MAC line; then the nonce.
  auto b64 = [](std::size_t bytes) { return (bytes * 4 + 2) / 3; };
  const std::size_t header = kVersionLine.size() + kStanzaStart.size() + kScryptType.size() + 1 +
                             b64(kSaltSize) + 1 + std::to_string(workFactor).size() + 1 +
                             b64(kFileKeySize + kTagSize) + 1 + kMacStart.size() + 1 +
                             b64(kKeySize) + 1;
  return static_cast<std::int64_t>(header + kNonceSize) + plainSize +
         static_cast<std::int64_t>(ChunkCount(plainSize) * kTagSize);
}

Encryptor::~Encryptor() = default;

Encryptor::Encryptor(const std::string& passphrase, int workFactor) {
  SecretBytes<kFileKeySize> fileKey;
  SecretBytes<kKeySize> wrapKey, macKey, payloadKey;
  std::array<unsigned char, kSaltSize> salt{};
  std::array<unsigned char, kNonceSize> nonce{};
  Random(fileKey.data(), kFileKeySize);
  Random(salt.data(), salt.size());
  Random(nonce.data(), nonce.size());
  Scrypt(passphrase, salt.data(), workFactor, wrapKey.data());

  std::array<unsigned char, kFileKeySize + kTagSize> body{};
  ChunkCipher(wrapKey.data())
      .Seal(ChunkNonce(0, false).data(), fileKey.data(), kFileKeySize, body.data());
  std::string header(kVersionLine);
  header += std::string(kStanzaStart) + std::string(kScryptType) + " " +
            Base64(salt.data(), salt.size()) + " " + std::to_string(workFactor) + "\n" +
            Base64(body.data(), body.size()) + "\n" + std::string(kMacStart);
  Hkdf(fileKey.data(), kFileKeySize, nullptr, 0, "header", macKey.data());
  std::array<unsigned char, kKeySize> mac{};
  HmacSha256(macKey.data(), reinterpret_cast<const unsigned char*>(header.data()), header.size(),
             mac.data());
  header += " " + Base64(mac.data(), mac.size()) + "\n";

  prefix_.assign(header.begin(), header.end());
  prefix_.insert(prefix_.end(), nonce.begin(), nonce.end());
  Hkdf(fileKey.data(), kFileKeySize, nonce.data(), nonce.size(), "payload", payloadKey.data());
  payload_ = std::make_unique<ChunkCipher>(payloadKey.data());
}

void Encryptor::SealChunk(std::uint64_t index, const unsigned char* plain, std::size_t size,
                          bool last, unsigned char* out) {
  payload_->Seal(ChunkNonce(index, last).data(), plain, size, out);
}

SealedReader::SealedReader(Encryptor& enc, int plainFd, std::int64_t plainSize)
    : enc_(enc),
      fd_(plainFd),
      plainSize_(plainSize),
      size_(static_cast<std::int64_t>(enc.Prefix().size()) + plainSize +
            static_cast<std::int64_t>(ChunkCount(plainSize) * kTagSize)),
      chunks_(ChunkCount(plainSize)),
      plain_(kChunkSize),
      buffer_(kSealedChunkSize) {}

bool SealedReader::Seal(std::uint64_t index) {
  const auto start = static_cast<std::int64_t>(index * kChunkSize);
  const auto size =
      static_cast<std::size_t>(std::min<std::int64_t>(kChunkSize, plainSize_ - start));
  for (std::size_t got = 0; got < size;) {
    const ssize_t n =
        ::pread(fd_, plain_.data() + got, size - got, start + static_cast<std::int64_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENODATA;  // the file is shorter than it was measured
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  enc_.SealChunk(index, plain_.data(), size, index + 1 == chunks_, buffer_.data());
  sealed_ = index;
  sealedSize_ = size + kTagSize;
  return true;
}

std::int64_t SealedReader::Read(std::int64_t offset, unsigned char* out, std::size_t max) {
  const auto& prefix = enc_.Prefix();
  const auto prefixSize = static_cast<std::int64_t>(prefix.size());
  if (offset >= size_ || max == 0) return 0;
  if (offset < prefixSize) {
    const auto n = std::min<std::size_t>(max, static_cast<std::size_t>(prefixSize - offset));
    std::memcpy(out, prefix.data() + offset, n);
    return static_cast<std::int64_t>(n);
  }
  const auto pos = static_cast<std::uint64_t>(offset - prefixSize);
  const std::uint64_t index = pos / kSealedChunkSize;
  if (index != sealed_ && !Seal(index)) return -1;
  const std::size_t within = pos % kSealedChunkSize;
  const std::size_t n = std::min(max, sealedSize_ - within);
  std::memcpy(out, buffer_.data() + within, n);
  return static_cast<std::int64_t>(n);
}

namespace {

// Reads one line ending in LF from data at pos; false when the data ends first.
bool NextLine(std::string_view data, std::size_t& pos, std::string_view& line) {
  const std::size_t end = data.find('\n', pos);
  if (end == std::string_view::npos) return false;
  line = data.substr(pos, end - pos);
  pos = end + 1;
  return true;
}

// Splits the arguments of a stanza line ("-> a b c").
std::vector<std::string_view> Arguments(std::string_view line) {
  std::vector<std::string_view> args;
  line.remove_prefix(kStanzaStart.size());
  for (std::size_t start = 0; start <= line.size();) {
    const std::size_t end = std::min(line.find(' ', start), line.size());
    args.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

// The scrypt stanza's arguments; the status when they are not those of one.
HeaderParse ReadScryptArguments(std::string_view line, ScryptHeader& h) {
  const std::vector<std::string_view> args = Arguments(line);
  if (args.empty() || args[0] != kScryptType) return HeaderParse::NotScrypt;
  if (args.size() != 3 || !FromBase64(args[1], h.salt.data(), h.salt.size()))
    return HeaderParse::Malformed;
  const std::string_view wf = args[2];
  if (wf.empty() || wf.size() > 2 || wf[0] < '1' || wf[0] > '9') return HeaderParse::Malformed;
  int value = 0;
  for (char c : wf) {
    if (c < '0' || c > '9') return HeaderParse::Malformed;
    value = value * 10 + (c - '0');
  }
  h.workFactor = value;
  return value > kMaxWorkFactor ? HeaderParse::TooCostly : HeaderParse::Complete;
}

}  // namespace

HeaderParse ParseHeader(const unsigned char* data, std::size_t size, ScryptHeader& h) {
  const std::string_view text(reinterpret_cast<const char*>(data), std::min(size, kMaxHeaderSize));
  const bool more = size < kMaxHeaderSize;
  auto incomplete = [&] { return more ? HeaderParse::NeedMore : HeaderParse::Malformed; };
  if (text.size() < kVersionLine.size())
    return text == kVersionLine.substr(0, text.size()) ? incomplete() : HeaderParse::Malformed;
  if (text.substr(0, kVersionLine.size()) != kVersionLine) return HeaderParse::Malformed;
  std::size_t pos = kVersionLine.size();
  std::string_view line;
  if (!NextLine(text, pos, line)) return incomplete();
  if (line.substr(0, kStanzaStart.size()) != kStanzaStart) return HeaderParse::Malformed;
  if (const HeaderParse args = ReadScryptArguments(line, h); args != HeaderParse::Complete)
    return args;
  // The body: a 32-byte body is one line of 43 columns, shorter than a full line.
  if (!NextLine(text, pos, line)) return incomplete();
  if (line.size() >= kBodyLine || !FromBase64(line, h.body.data(), h.body.size()))
    return HeaderParse::Malformed;
  if (!NextLine(text, pos, line)) return incomplete();
  // Another stanza beside the scrypt one is refused, as the format demands.
  if (line.substr(0, kStanzaStart.size()) == kStanzaStart) return HeaderParse::NotScrypt;
  if (line.substr(0, kMacStart.size() + 1) != std::string(kMacStart) + " " ||
      !FromBase64(line.substr(kMacStart.size() + 1), h.mac.data(), h.mac.size()))
    return HeaderParse::Malformed;
  h.raw.assign(data, data + pos);
  return HeaderParse::Complete;
}

Decryptor::~Decryptor() = default;

Decryptor::Decryptor(ScryptHeader header, std::int64_t totalSize)
    : header_(std::move(header)), total_(totalSize), in_(kSealedChunkSize), out_(kChunkSize) {
  const std::int64_t payload = total_ - static_cast<std::int64_t>(header_.raw.size() + kNonceSize);
  if (payload < static_cast<std::int64_t>(kTagSize)) return;
  const auto p = static_cast<std::uint64_t>(payload);
  const std::uint64_t chunks = (p + kSealedChunkSize - 1) / kSealedChunkSize;
  const std::size_t last = p - (chunks - 1) * kSealedChunkSize;
  // Only the whole payload may end in an empty final chunk.
  if (last < kTagSize || (chunks > 1 && last == kTagSize)) return;
  lastChunk_ = chunks - 1;
  lastWire_ = last;
}

Decryptor::Unlock Decryptor::TryPassphrase(const std::string& passphrase) {
  SecretBytes<kKeySize> wrapKey, macKey;
  Scrypt(passphrase, header_.salt.data(), header_.workFactor, wrapKey.data());
  if (!ChunkCipher(wrapKey.data())
           .Open(ChunkNonce(0, false).data(), header_.body.data(), kFileKeySize, fileKey_.data()))
    return Unlock::WrongPassphrase;
  Hkdf(fileKey_.data(), kFileKeySize, nullptr, 0, "header", macKey.data());
  // The MAC covers the header up to "---", without the space and the MAC itself.
  const std::size_t macLine = kMacStart.size() + 1 + 43 + 1;
  std::array<unsigned char, kKeySize> mac{};
  HmacSha256(macKey.data(), header_.raw.data(), header_.raw.size() - macLine + kMacStart.size(),
             mac.data());
  if (CRYPTO_memcmp(mac.data(), header_.mac.data(), mac.size()) != 0) return Unlock::HeaderDamaged;
  unlocked_ = true;
  return Unlock::Ok;
}

std::size_t Decryptor::ChunkWire(std::uint64_t index) const {
  return index == lastChunk_ ? lastWire_ : kSealedChunkSize;
}

// The header bytes must be those that were parsed and unlocked; then the nonce gives the key.
Decryptor::Status Decryptor::TakePrefix(const unsigned char*& data, std::size_t& size) {
  const auto headerSize = static_cast<std::int64_t>(header_.raw.size());
  while (size > 0 && fed_ < headerSize + static_cast<std::int64_t>(kNonceSize)) {
    if (fed_ < headerSize) {
      if (*data != header_.raw[static_cast<std::size_t>(fed_)]) return Status::Damaged;
    } else {
      nonce_[static_cast<std::size_t>(fed_ - headerSize)] = *data;
    }
    ++data, --size, ++fed_;
    if (fed_ == headerSize + static_cast<std::int64_t>(kNonceSize)) {
      SecretBytes<kKeySize> payloadKey;
      Hkdf(fileKey_.data(), kFileKeySize, nonce_.data(), nonce_.size(), "payload",
           payloadKey.data());
      payload_ = std::make_unique<ChunkCipher>(payloadKey.data());
    }
  }
  return Status::Ok;
}

// Opens the chunk due, whose sealed bytes (all of them) stand in sealed.
Decryptor::Status Decryptor::OpenChunk(const unsigned char* sealed, const Sink& sink) {
  const std::size_t plain = ChunkWire(chunk_) - kTagSize;
  const bool last = chunk_ == lastChunk_;
  if (!payload_->Open(ChunkNonce(chunk_, last).data(), sealed, plain, out_.data()))
    return Status::Damaged;
  if (plain > 0) sink(out_.data(), plain);
  have_ = 0;
  if (last)
    done_ = true;
  else
    ++chunk_;
  return Status::Ok;
}

Decryptor::Status Decryptor::Feed(const unsigned char* data, std::size_t size, const Sink& sink) {
  if (!unlocked_ || !Valid()) return Status::Damaged;
  if (TakePrefix(data, size) == Status::Damaged) return Status::Damaged;
  while (size > 0) {
    if (done_) return Status::Beyond;
    const std::size_t wire = ChunkWire(chunk_);
    const std::size_t take = std::min(wire - have_, size);
    // A whole chunk in the caller's bytes is opened where it stands; parts are gathered first.
    const bool inPlace = have_ == 0 && take == wire;
    if (!inPlace) std::memcpy(in_.data() + have_, data, take);
    const unsigned char* sealed = inPlace ? data : in_.data();
    have_ += take;
    data += take;
    size -= take;
    fed_ += static_cast<std::int64_t>(take);
    if (have_ == wire && OpenChunk(sealed, sink) == Status::Damaged) return Status::Damaged;
  }
  return Status::Ok;
}

}  // namespace pz::age
