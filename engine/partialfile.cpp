#include "engine/partialfile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <utility>

#include "platform/os.h"

namespace pz {

namespace {

constexpr const char* kPartialMark = ".partial-";
constexpr std::size_t kRandomLetters = 6;  // after the mark
constexpr int kAttempts = 100;             // names to try before giving up

// The name cut so that the mark still fits a file name, never inside a UTF-8 sequence.
std::string Shortened(std::string name) {
  const std::size_t room = NAME_MAX - std::char_traits<char>::length(kPartialMark) - kRandomLetters;
  if (name.size() <= room) return name;
  std::size_t cut = room;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

// What a file written in place would have had: the replaced file's permissions, else 0666
// less the umask.
mode_t FinalMode(const std::string& finalPath) {
  struct stat st {};
  if (::stat(finalPath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

PartialFile PartialFile::Create(const std::string& finalPath) {
  PartialFile f;
  f.final_ = finalPath;
  const std::string stem =
      JoinPath(FolderPart(finalPath), Shortened(FileNamePart(finalPath)) + kPartialMark);
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device entropy;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string path = stem;
    for (std::size_t i = 0; i < kRandomLetters; ++i)
      path += kLetters[entropy() % (sizeof(kLetters) - 1)];
    // Exclusive: never a file that is there already, nor one a link points to.
    FileHandle fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.valid()) {
      f.fd_ = std::move(fd);
      f.path_ = path;
      return f;
    }
    if (errno != EEXIST) break;
  }
  return f;
}

PartialFile::PartialFile(PartialFile&& o) noexcept
    : fd_(std::move(o.fd_)),
      path_(std::move(o.path_)),
      final_(std::move(o.final_)),
      committed_(o.committed_) {
  o.path_.clear();
}

PartialFile& PartialFile::operator=(PartialFile&& o) noexcept {
  if (this != &o) {
    Remove();
    fd_ = std::move(o.fd_);
    path_ = std::move(o.path_);
    final_ = std::move(o.final_);
    committed_ = o.committed_;
    o.path_.clear();
  }
  return *this;
}

PartialFile::~PartialFile() {
  Remove();
}

void PartialFile::Remove() {
  fd_.Close();
  if (!committed_ && !path_.empty()) ::unlink(path_.c_str());
  path_.clear();
}

bool PartialFile::Commit() {
  const bool replaces = ::access(final_.c_str(), F_OK) == 0;
  bool ok = ::fchmod(fd_.get(), FinalMode(final_)) == 0;
  if (ok && replaces) ok = ::fsync(fd_.get()) == 0;
  if (ok) ok = fd_.Close();
  if (ok) ok = ::rename(path_.c_str(), final_.c_str()) == 0;
  if (!ok) {
    const int err = errno;
    Remove();
    errno = err;
    return false;
  }
  committed_ = true;
  return true;
}

}  // namespace pz
