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
#include <optional>
#include <string>
#include <vector>

#include "platform/filehandle.h"
#include "zip/engines/unpack.h"
#include "zip/engines/ziphandle.h"
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

// Exit status: 0 files unpacked (and the command run), 1 nothing unpacked or the command
// failed, 2 no usable archive or target folder.
enum Exit : int { kExitDone = 0, kExitFailed = 1, kExitBroken = 2 };

struct SfxBlock {
  std::uint8_t flags = 0;
  std::string caption, defaultDir, command;
};

struct Request {
  std::string target;
  bool forceOverwrite = false;
};

Request ParseArguments(int argc, char** argv) {
  Request r;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--overwrite") == 0)
      r.forceOverwrite = true;
    else
      r.target = argv[i];
  }
  return r;
}

bool ReadAt(int fd, std::int64_t pos, void* buf, std::size_t n) {
  return pos >= 0 && ::pread(fd, buf, n, pos) == static_cast<ssize_t>(n);
}

// Position of the block: 256 bytes before the first entry (or before the directory when the
// archive is empty). -1 when the file holds no archive.
std::int64_t FindBlock(int fd) {
  const std::int64_t first = FirstEntryPosition(fd);
  return first < 0 ? -1 : first - kSfxBlockSize;
}

// Reads the block in front of the archive attached to the program; false (with the reason
// printed) when there is none or it is damaged.
bool ReadBlock(const char* self, SfxBlock& out) {
  std::uint8_t block[kSfxBlockSize];
  {
    const pz::FileHandle fd(::open(self, O_RDONLY | O_CLOEXEC));
    const std::int64_t at = fd.valid() ? FindBlock(fd.get()) : -1;
    if (at < 0 || !ReadAt(fd.get(), at, block, sizeof block) ||
        std::memcmp(block, kSfxMagic, sizeof kSfxMagic) != 0) {
      std::fprintf(stderr, "No archive is attached to this program.\n");
      return false;
    }
  }
  out.flags = block[kSfxFlagsAt];
  const std::size_t lc = block[kSfxLengthsAt], ld = block[kSfxLengthsAt + 1],
                    lx = block[kSfxLengthsAt + 2];
  if (lc + ld + lx > static_cast<std::size_t>(kSfxTextRoom)) {
    std::fprintf(stderr, "The self-extractor block is damaged.\n");
    return false;
  }
  const char* texts = reinterpret_cast<const char*>(block + kSfxTextsAt);
  out.caption.assign(texts, lc);
  out.defaultDir.assign(texts + lc, ld);
  out.command.assign(texts + lc + ld, lx);
  return true;
}

// Unpacks the attached archive into target (made when missing); the number of files, none
// when the archive or the folder cannot be used.
std::optional<int> UnpackInto(const char* self, const std::string& target, bool overwrite) {
  int err = 0;
  const pz::ZipHandle za = pz::ZipHandle::Open(self, ZIP_RDONLY, err);
  if (!za.valid()) {
    std::fprintf(stderr, "The attached archive cannot be read (libzip error %d).\n", err);
    return std::nullopt;
  }
  ::mkdir(target.c_str(), ACCESSPERMS);
  const pz::FileHandle dir(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) {
    std::fprintf(stderr, "Cannot use the folder %s.\n", target.c_str());
    return std::nullopt;
  }
  up::Options o;
  o.dirNames = true;
  o.overwrite = overwrite;
  ConsoleReporter rep;
  return up::Unpack(za.get(), dir.get(), o, rep);
}

}  // namespace

int main(int argc, char** argv) {
  Request request = ParseArguments(argc, argv);
  const char* self = "/proc/self/exe";
  SfxBlock block;
  if (!ReadBlock(self, block)) return kExitBroken;
  if (request.target.empty()) request.target = block.defaultDir.empty() ? "." : block.defaultDir;
  std::printf("%s\n", block.caption.c_str());

  // Confirming is not possible without a window: existing files are kept unless told otherwise.
  const bool overwrite = request.forceOverwrite || (block.flags & kSfxOverwriteAlways) != 0;
  const std::optional<int> unpacked = UnpackInto(self, request.target, overwrite);
  if (!unpacked) return kExitBroken;
  const int done = *unpacked;
  std::printf("%d file(s) unpacked into %s\n", done, request.target.c_str());
  if (done > 0 && (block.flags & kSfxAutoRun) != 0 && !block.command.empty() &&
      ::chdir(request.target.c_str()) == 0)
    return std::system(block.command.c_str()) == 0 ? kExitDone : kExitFailed;
  return done > 0 ? kExitDone : kExitFailed;
}
