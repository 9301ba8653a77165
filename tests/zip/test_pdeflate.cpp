// Deflate on every core: whatever the level, threads and block edges, the result is one raw
// deflate stream of the data, with its CRC, no larger than one stream made on one core.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <tuple>

#include "tests/zip/zip_test_util.h"
#include "zip/engines/pdeflate.h"

namespace {

namespace pd = pz::pdeflate;

struct Packed {
  std::string stream;
  std::uint64_t input = 0;  // the sum of what the chunks stood for
  std::uint32_t crc = 0;
  bool failed = false;
  int error = 0;
};

// Reads in uneven pieces, as a file may; fails with EIO from byte failAt on.
Packed Pack(const std::string& data, int level, unsigned threads,
            std::size_t failAt = std::string::npos) {
  auto read = [&](std::uint8_t* buf, std::size_t n, std::uint64_t pos) -> std::int64_t {
    if (pos >= failAt) {
      errno = EIO;
      return -1;
    }
    if (pos >= data.size()) return 0;
    n = std::min({n, data.size() - pos, std::size_t{100003}});
    std::memcpy(buf, data.data() + pos, n);
    return static_cast<std::int64_t>(n);
  };
  pd::Deflater d(level, data.size(), read, threads);
  Packed p;
  pd::Chunk c;
  while (d.Next(c)) {
    p.stream.append(reinterpret_cast<const char*>(c.data), c.size);
    p.input += c.input;
  }
  p.failed = d.Failed();
  p.error = d.ReadError();
  p.crc = d.Crc();
  if (!p.failed) {
    EXPECT_TRUE(d.Finished());
    EXPECT_EQ(d.InputSize(), data.size());
    EXPECT_EQ(d.OutputSize(), p.stream.size());
  }
  return p;
}

// Inflates a raw stream that must end exactly where its bytes end.
std::string Inflate(const std::string& stream) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
  std::string out;
  char buf[1 << 16];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
  }
  EXPECT_EQ(rc, Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u);  // nothing after the final block
  inflateEnd(&z);
  return out;
}

std::uint32_t Crc(const std::string& s) {
  return static_cast<std::uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(s.data()), s.size()));
}

// One stream on one core, the size to measure against.
std::size_t SingleStreamSize(const std::string& data, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  const std::size_t n = z.total_out;
  deflateEnd(&z);
  return n;
}

class DeflaterTest : public ::testing::TestWithParam<std::tuple<int, unsigned>> {};

TEST_P(DeflaterTest, EverySizeAndKindInflatesToItsData) {
  const auto [level, threads] = GetParam();
  // Around the pieces of the stored-or-deflated choice and the blocks (128 KiB here).
  const std::size_t sizes[] = {
      0, 1, pd::kPiece - 1, pd::kPiece + 1, pd::kMinBlock, 3 * pd::kMinBlock + 1};
  for (const std::size_t n : sizes) {
    const std::string kinds[] = {pztest::TextBytes(n, 1), pztest::RandomBytes(n, 2),
                                 pztest::MixedBytes(n, 40000, 3)};
    for (const std::string& data : kinds) {
      SCOPED_TRACE(::testing::Message() << "size " << n << ", kind " << (&data - kinds));
      const Packed p = Pack(data, level, threads);
      ASSERT_FALSE(p.failed);
      EXPECT_TRUE(Inflate(p.stream) == data);
      EXPECT_EQ(p.crc, Crc(data));
      EXPECT_EQ(p.input, n);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(LevelsAndThreads, DeflaterTest,
                         ::testing::Combine(::testing::Values(1, 3, 9), ::testing::Values(0u, 3u)));

TEST(Deflater, KeepsTheRatioOfOneStreamAndStoresWhatWillNotShrink) {
  for (const int level : {3, 9}) {
    SCOPED_TRACE(level);
    const std::string text = pztest::TextBytes(2 << 20, 7);
    const Packed p = Pack(text, level, 4);  // 16 blocks, each primed with the one before
    EXPECT_LE(p.stream.size(), SingleStreamSize(text, level) * 1005 / 1000);
    const std::string random = pztest::RandomBytes(1 << 20, 8);
    EXPECT_LE(Pack(random, level, 4).stream.size(), random.size() + random.size() / 2000);
    // The text in between is still deflated.
    const std::string mixed = pztest::MixedBytes(2 << 20, 256 << 10, 9);
    EXPECT_LT(Pack(mixed, level, 4).stream.size(), mixed.size() * 3 / 4);
  }
}

TEST(Deflater, ReadFailureEndsTheStreamUnfinished) {
  const std::string data = pztest::MixedBytes(2 << 20, 100000, 4);
  for (const unsigned threads : {0u, 2u}) {
    const Packed p = Pack(data, 6, threads, 700000);
    EXPECT_TRUE(p.failed);
    EXPECT_EQ(p.error, EIO);
    EXPECT_LT(p.input, data.size());
  }
}

}  // namespace
