// The age format as this program writes and reads it: round trips at the chunk bounds, fed in
// pieces of every kind, and every way a file can be damaged or tampered with.
#include "crypt/age.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/filehandle.h"
#include "test_support.h"

namespace pz::age {
namespace {

constexpr int kCheap = 10;  // a work factor that keeps the tests fast
using Bytes = std::vector<unsigned char>;

// The whole age file of data, read through SealedReader in reads of the given size.
Bytes Encrypt(const std::string& data, const std::string& pass, std::size_t readSize = 1 << 20) {
  test::TempDir dir;
  test::WriteFile(dir / "plain", data);
  FileHandle fd(::open((dir / "plain").c_str(), O_RDONLY | O_CLOEXEC));
  Encryptor enc(pass, kCheap);
  SealedReader reader(enc, fd.get(), static_cast<std::int64_t>(data.size()));
  Bytes out;
  Bytes buf(readSize);
  for (std::int64_t n;
       (n = reader.Read(static_cast<std::int64_t>(out.size()), buf.data(), buf.size())) > 0;)
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  EXPECT_EQ(static_cast<std::int64_t>(out.size()), reader.size());
  return out;
}

struct Opened {
  Decryptor::Unlock unlock = Decryptor::Unlock::WrongPassphrase;
  Decryptor::Status status = Decryptor::Status::Damaged;
  std::uint64_t failedChunk = 0;
  bool complete = false;
  std::string plain;
};

// Parses, unlocks and feeds file in pieces of piece bytes; total defaults to the file's size.
Opened Decrypt(const Bytes& file, const std::string& pass, std::size_t piece = 4096,
               std::int64_t total = -1) {
  Opened o;
  ScryptHeader h;
  if (ParseHeader(file.data(), file.size(), h) != HeaderParse::Complete) return o;
  Decryptor d(h, total < 0 ? static_cast<std::int64_t>(file.size()) : total);
  if (!d.Valid()) return o;
  o.unlock = d.TryPassphrase(pass);
  if (o.unlock != Decryptor::Unlock::Ok) return o;
  o.status = Decryptor::Status::Ok;
  for (std::size_t at = 0; at < file.size() && o.status == Decryptor::Status::Ok; at += piece) {
    o.status = d.Feed(file.data() + at, std::min(piece, file.size() - at),
                      [&](const unsigned char* p, std::size_t n) { o.plain.append(p, p + n); });
  }
  o.failedChunk = d.FailedChunk();
  o.complete = d.Complete();
  return o;
}

TEST(Age, RoundTripsAtTheChunkBoundsInPiecesOfAnySize) {
  for (std::size_t size : {0, 1, 65535, 65536, 65537, 3 * 65536 + 7}) {
    const std::string data = test::PatternBytes(size, static_cast<std::uint32_t>(size));
    for (std::size_t readSize : {std::size_t{7}, kSealedChunkSize, std::size_t{1} << 20}) {
      SCOPED_TRACE(std::to_string(size) + " read " + std::to_string(readSize));
      const Bytes file = Encrypt(data, "pass", readSize);
      EXPECT_EQ(static_cast<std::int64_t>(file.size()),
                EncryptedSize(static_cast<std::int64_t>(size), kCheap));
      for (std::size_t piece : {std::size_t{1}, std::size_t{65552}, file.size()}) {
        if (piece == 1 && size > 65537) continue;  // byte by byte once is enough
        const Opened o = Decrypt(file, "pass", piece);
        ASSERT_EQ(o.status, Decryptor::Status::Ok) << piece;
        EXPECT_TRUE(o.complete);
        EXPECT_EQ(o.plain, data);
      }
    }
  }
}

TEST(Age, WritesTheHeaderOfTheFormatWithAFreshSaltAndKey) {
  const Bytes a = Encrypt("x", "pass"), b = Encrypt("x", "pass");
  const std::string text(a.begin(), a.begin() + 32);
  EXPECT_EQ(text.substr(0, 32), "age-encryption.org/v1\n-> scrypt ");
  ScryptHeader h;
  ASSERT_EQ(ParseHeader(a.data(), a.size(), h), HeaderParse::Complete);
  EXPECT_EQ(h.workFactor, kCheap);
  EXPECT_NE(a, b);  // salt, file key and nonce are new every time
  EXPECT_EQ(EncryptedSize(0, kWorkFactor) - EncryptedSize(0, kCheap), 0);  // both two digits
  EXPECT_EQ(EncryptedSize(0, 9), EncryptedSize(0, kCheap) - 1);
}

TEST(Age, TellsAWrongPassphraseFromADamagedHeader) {
  const Bytes file = Encrypt("secret data", "right");
  EXPECT_EQ(Decrypt(file, "wrong").unlock, Decryptor::Unlock::WrongPassphrase);
  EXPECT_EQ(Decrypt(file, "").unlock, Decryptor::Unlock::WrongPassphrase);
  EXPECT_EQ(Decrypt(file, "right").unlock, Decryptor::Unlock::Ok);
  // A changed MAC, still valid base64: the key opens, the header does not authenticate.
  Bytes bad = file;
  const std::string text(file.begin(), file.end());
  const std::size_t mac = text.find("--- ") + 4;
  bad[mac] = bad[mac] == 'A' ? 'B' : 'A';
  EXPECT_EQ(Decrypt(bad, "right").unlock, Decryptor::Unlock::HeaderDamaged);
}

TEST(Age, EveryTamperingOfThePayloadFails) {
  const std::string data = test::PatternBytes(3 * 65536 + 100);
  const Bytes file = Encrypt(data, "pw");
  const std::size_t start = file.size() - (data.size() + 4 * kTagSize);  // the first chunk
  auto chunk = [&](const Bytes& f, std::size_t i) {
    return Bytes(f.begin() + static_cast<std::ptrdiff_t>(start + i * kSealedChunkSize),
                 f.begin() + static_cast<std::ptrdiff_t>(
                                 std::min(f.size(), start + (i + 1) * kSealedChunkSize)));
  };
  auto with = [&](const std::vector<Bytes>& chunks) {
    Bytes f(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(start));
    for (const Bytes& c : chunks) f.insert(f.end(), c.begin(), c.end());
    return f;
  };
  const Bytes other = Encrypt(data, "pw");  // another set, the same passphrase and data
  Bytes flipped = file;
  flipped[start + kSealedChunkSize + 5] ^= 1;
  Bytes nonce = file;
  nonce[start - 1] ^= 1;
  Bytes appended = file;
  appended.push_back(0);
  struct Case {
    const char* what;
    Bytes f;
    std::uint64_t failed;
  };
  const std::vector<Case> cases = {
      {"flipped bit", flipped, 1},
      {"changed nonce", nonce, 0},
      {"reordered", with({chunk(file, 1), chunk(file, 0), chunk(file, 2), chunk(file, 3)}), 0},
      {"dropped", with({chunk(file, 0), chunk(file, 2), chunk(file, 3)}), 1},
      {"truncated at a chunk", with({chunk(file, 0), chunk(file, 1), chunk(file, 2)}), 2},
      {"from another set", with({chunk(file, 0), chunk(other, 1), chunk(file, 2), chunk(file, 3)}),
       1},
      {"appended byte", appended, 3},
  };
  for (const Case& c : cases) {
    // Small pieces gather each chunk; the whole file at once opens chunks where they stand.
    for (const std::size_t piece : {std::size_t{4096}, c.f.size()}) {
      SCOPED_TRACE(std::string(c.what) + " in pieces of " + std::to_string(piece));
      const Opened o = Decrypt(c.f, "pw", piece);
      EXPECT_EQ(o.unlock, Decryptor::Unlock::Ok);
      EXPECT_EQ(o.status, Decryptor::Status::Damaged);
      EXPECT_EQ(o.failedChunk, c.failed);
      EXPECT_FALSE(o.complete);
      // Nothing of the failed chunk or after it was handed on.
      EXPECT_EQ(o.plain, data.substr(0, c.failed * kChunkSize));
    }
  }
  // More bytes than the recorded size: refused, nothing past the final chunk is taken.
  const Opened beyond = Decrypt(appended, "pw", 1 << 20, static_cast<std::int64_t>(file.size()));
  EXPECT_EQ(beyond.status, Decryptor::Status::Beyond);
  // A size that no age file of this header has: the empty final chunk after a full one.
  ScryptHeader h;
  ASSERT_EQ(ParseHeader(file.data(), file.size(), h), HeaderParse::Complete);
  EXPECT_FALSE(
      Decryptor(h, static_cast<std::int64_t>(start + kSealedChunkSize + kTagSize)).Valid());
  EXPECT_FALSE(Decryptor(h, static_cast<std::int64_t>(start + kTagSize - 1)).Valid());
}

TEST(Age, HeadersOfOtherKindsAreRefused) {
  const std::string salt = "rF0/NwblUHHTpgQgRpe5CQ",
                    body = "gUjEymFKMVXQEKdMMHL24oYexjE3TIC0O0zGSqJ2aUY";
  const std::string mac = "--- a5d+4Ay1evJhoDskIzuTZV9bBgKk4573VZNfuoWJDPE\n";
  auto header = [&](const std::string& stanzas) {
    return "age-encryption.org/v1\n" + stanzas + mac;
  };
  struct Case {
    std::string text;
    HeaderParse want;
  };
  const std::vector<Case> cases = {
      {header("-> scrypt " + salt + " 18\n" + body + "\n"), HeaderParse::Complete},
      {header("-> scrypt " + salt + " 018\n" + body + "\n"), HeaderParse::Malformed},
      {header("-> scrypt " + salt + " 21\n" + body + "\n"), HeaderParse::TooCostly},
      {header("-> scrypt " + salt + "A 18\n" + body + "\n"), HeaderParse::Malformed},
      {header("-> scrypt " + salt.substr(0, 21) + "D 18\n" + body + "\n"),
       HeaderParse::Malformed},  // not canonical: unused bits set
      {header("-> scrypt " + salt + " 18 x\n" + body + "\n"), HeaderParse::Malformed},
      {header("-> X25519 " + salt + "\n" + body + "\n"), HeaderParse::NotScrypt},
      {header("-> scrypt " + salt + " 18\n" + body + "\n-> scrypt " + salt + " 18\n" + body + "\n"),
       HeaderParse::NotScrypt},
      {"age-encryption.org/v2\n", HeaderParse::Malformed},
      {"age-encryption.org/v1\n-> scr", HeaderParse::NeedMore},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ScryptHeader h;
    const auto* p = reinterpret_cast<const unsigned char*>(c.text.data());
    EXPECT_EQ(ParseHeader(p, c.text.size(), h), c.want);
  }
  // A header cut anywhere needs more; at its full length it is complete.
  const std::string whole = cases[0].text;
  ScryptHeader h;
  const auto* p = reinterpret_cast<const unsigned char*>(whole.data());
  for (std::size_t n = 0; n < whole.size(); ++n)
    ASSERT_EQ(ParseHeader(p, n, h), HeaderParse::NeedMore) << n;
  EXPECT_EQ(ParseHeader(p, whole.size(), h), HeaderParse::Complete);
  EXPECT_EQ(h.raw.size(), whole.size());
}

}  // namespace
}  // namespace pz::age
