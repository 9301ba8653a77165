// PzxSfx.bin: the self-extractor stub. A converted archive is this program, a 256-byte block
// ("PZS", flags, caption, default folder, command) and the archive with its offsets moved past
// both. The stub finds the block in front of the first entry and unpacks the archive.
//
//   <archive>.exe [target folder] [--overwrite]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zip/engines/unpack.h"
#include "zip/zipformat.h"

namespace {

using namespace pz::zipfmt;
namespace up = pz::unpack;

class ConsoleReporter : public up::Reporter {
 public:
  bool Progress(std::int32_t action, std::int64_t, const std::string& text) override {
    if (action == pz::zipabi::kActFileBegins) std::printf("  %s\n", text.c_str());
    return false;
  }
  bool Message(std::int32_t, const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return false;
  }
};

bool ReadAt(int fd, std::int64_t pos, void* buf, std::size_t n) {
  return pos >= 0 && ::pread(fd, buf, n, pos) == static_cast<ssize_t>(n);
}

// Position of the block: 256 bytes before the first entry (or before the directory when the
// archive is empty). -1 when the file holds no archive.
std::int64_t FindBlock(int fd) {
  const std::int64_t first = FirstEntryPosition(fd);
  return first < 0 ? -1 : first - kSfxBlockSize;
}

}  // namespace

int main(int argc, char** argv) {
  std::string target;
  bool forceOverwrite = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--overwrite") == 0)
      forceOverwrite = true;
    else
      target = argv[i];
  }
  const char* self = "/proc/self/exe";
  const int fd = ::open(self, O_RDONLY | O_CLOEXEC);
  std::uint8_t block[kSfxBlockSize];
  const std::int64_t at = fd < 0 ? -1 : FindBlock(fd);
  if (at < 0 || !ReadAt(fd, at, block, sizeof block) ||
      std::memcmp(block, kSfxMagic, sizeof kSfxMagic) != 0) {
    std::fprintf(stderr, "No archive is attached to this program.\n");
    return 2;
  }
  ::close(fd);
  const std::uint8_t flags = block[3];
  const std::size_t lc = block[4], ld = block[5], lx = block[6];
  if (lc + ld + lx > static_cast<std::size_t>(kSfxTextRoom)) {
    std::fprintf(stderr, "The self-extractor block is damaged.\n");
    return 2;
  }
  const char* texts = reinterpret_cast<const char*>(block + 7);
  const std::string caption(texts, lc), defaultDir(texts + lc, ld), command(texts + lc + ld, lx);
  if (target.empty()) target = defaultDir.empty() ? "." : defaultDir;
  std::printf("%s\n", caption.c_str());

  int err = 0;
  zip_t* za = zip_open(self, ZIP_RDONLY, &err);
  if (za == nullptr) {
    std::fprintf(stderr, "The attached archive cannot be read (libzip error %d).\n", err);
    return 2;
  }
  ::mkdir(target.c_str(), 0777);
  const int dir = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    std::fprintf(stderr, "Cannot use the folder %s.\n", target.c_str());
    zip_discard(za);
    return 2;
  }
  up::Options o;
  o.dirNames = true;
  // Confirming is not possible without a window: existing files are kept unless told otherwise.
  o.overwrite = forceOverwrite || (flags & kSfxOverwriteAlways) != 0;
  ConsoleReporter rep;
  const int done = up::Unpack(za, dir, o, rep);
  ::close(dir);
  zip_discard(za);
  std::printf("%d file(s) unpacked into %s\n", done, target.c_str());
  if (done > 0 && (flags & kSfxAutoRun) != 0 && !command.empty() && ::chdir(target.c_str()) == 0)
    return std::system(command.c_str()) == 0 ? 0 : 1;
  return done > 0 ? 0 : 1;
}
