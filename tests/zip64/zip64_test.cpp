// A member larger than 4 GiB is deflated on every core and written with its ZIP64 sizes, so
// that Debian's unzip and our own unpacking both check it whole. The file is sparse (zeros):
// nothing big is written to the disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "test_support.h"
#include "zip/engines/unpack.h"
#include "zip/ziparchiver.h"

namespace {

using namespace pz;

class NoReports : public unpack::Reporter {
 public:
  bool Progress(std::int32_t, std::int64_t, const std::string&) override { return false; }
  bool Message(std::int32_t, const std::string& text) override {
    ADD_FAILURE() << text;
    return false;
  }
};

TEST(Zip64, MemberPastFourGibibytesRoundTrips) {
  test::TempDir dir;
  const std::string source = dir / "zeros.bin";
  const off_t size = (off_t{4} << 30) + 12345;
  {
    const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
  }
  TZipArchiver zip;
  zip.SetDLLDirectory(PZ_TEST_DLL_DIR);
  zip.SetUnattended(true);
  std::int64_t done = 0;
  zip.OnProgress = [&](TZipArchiver&, ProgressType t, const std::string&, std::int64_t n) {
    if (t == BytesDone) done += n;
  };
  zip.SetAddCompLevel(1);
  zip.SetZipFilename(dir / "big.zip");
  zip.FSpecArgs() = {source};
  zip.AddFiles();
  ASSERT_EQ(zip.SuccessCount(), 1);
  EXPECT_EQ(done, size);

  const int status = std::system(("unzip -tqq '" + dir / "big.zip" + "' > /dev/null").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // Our own unpacking, as UNZENG.DLL runs it, checks every byte against the CRC.
  int error = 0;
  zip_t* za = zip_open((dir / "big.zip").c_str(), ZIP_RDONLY, &error);
  ASSERT_NE(za, nullptr) << error;
  NoReports reports;
  unpack::Options options;
  options.test = true;
  const int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_EQ(unpack::Unpack(za, folder, options, reports), 1);
  ::close(folder);
  zip_discard(za);
}

}  // namespace
