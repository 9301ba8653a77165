#include "platform/os.h"

#include <dirent.h>
#include <linux/magic.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "platform/filehandle.h"

// The installed layout below the prefix; the build passes the same folders it installs to.
#ifndef PZ_INSTALL_BINDIR
#define PZ_INSTALL_BINDIR "bin"
#endif
#ifndef PZ_INSTALL_PKGLIBDIR
#define PZ_INSTALL_PKGLIBDIR "lib/parzello"
#endif
#ifndef PZ_INSTALL_PKGDATADIR
#define PZ_INSTALL_PKGDATADIR "share/parzello"
#endif

namespace pz {

namespace {

// The prefix of a program folder that is PREFIX/bin; nothing for any other folder.
std::optional<std::string> InstallPrefix(const std::string& programmPfad) {
  const std::string bin = std::string("/") + PZ_INSTALL_BINDIR;
  if (programmPfad.size() < bin.size() ||
      programmPfad.compare(programmPfad.size() - bin.size(), bin.size(), bin) != 0) {
    return std::nullopt;
  }
  return programmPfad.substr(0, programmPfad.size() - bin.size());
}

// Creates folder and its missing parents for this user only; false when it is no folder after.
bool MakeFolders(const std::string& folder) {
  for (std::size_t pos = 1; pos != std::string::npos; pos = folder.find('/', pos + 1)) {
    ::mkdir(folder.substr(0, pos).c_str(), 0700);
  }
  ::mkdir(folder.c_str(), 0700);
  return FolderExists(folder);
}

// $XDG_CACHE_HOME/parzello (only an absolute one counts), else $HOME/.cache/parzello; "" when
// neither can be named or made.
std::string UserCacheFolder() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    base = JoinPath(home, ".cache");
  } else {
    return "";
  }
  const std::string folder = JoinPath(base, "parzello");
  return MakeFolders(folder) ? folder : "";
}

// Beside a program folder the user may write to; for an installed program (PREFIX/bin, which
// root may write to as well) or an unwritable folder, the user's cache folder.
std::string TempFolder(const std::string& programmPfad) {
  const std::string beside = JoinPath(programmPfad, kTempFolder);
  const bool ownFolder = ::access(programmPfad.c_str(), W_OK | X_OK) == 0;
  if (ownFolder && !InstallPrefix(programmPfad)) return beside;
  const std::string cache = UserCacheFolder();
  return cache.empty() ? beside : cache;
}

}  // namespace

std::string ProgrammPfadErmitteln() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return ".";
  std::string exe(buf.data(), static_cast<size_t>(n));
  std::string folder = FolderPart(exe);
  return folder;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder + "/" + name;
}

std::string DataFolder(const std::string& programmPfad, const char* folder) {
  if (std::strcmp(folder, kTempFolder) == 0) return TempFolder(programmPfad);
  const std::string beside = JoinPath(programmPfad, folder);
  if (FolderExists(beside)) return beside;
  if (const auto prefix = InstallPrefix(programmPfad)) {
    const char* base =
        std::strcmp(folder, kDllFolder) == 0 ? PZ_INSTALL_PKGLIBDIR : PZ_INSTALL_PKGDATADIR;
    const std::string installed = JoinPath(JoinPath(*prefix, base), folder);
    if (FolderExists(installed)) return installed;
  }
  return beside;
}

std::string TempArchivPfad(const std::string& programmPfad) {
  return JoinPath(DataFolder(programmPfad, kTempFolder), kTempArchiveName);
}

std::string FileNamePart(const std::string& path) {
  auto pos = path.find_last_of('/');
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string FolderPart(const std::string& path) {
  auto pos = path.find_last_of('/');
  if (pos == std::string::npos) return "";
  return path.substr(0, pos);
}

bool HasDrivePart(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

std::string ExistingInAnyCase(const std::string& path, std::size_t exact) {
  if (FileExists(path)) return path;
  const std::string folder = FolderPart(path);
  const std::string name = FileNamePart(path);
  if (exact > name.size()) return path;
  const DirHandle d(::opendir(folder.empty() ? "/" : folder.c_str()));
  if (d == nullptr) return path;
  while (const dirent* e = ::readdir(d.get())) {
    const std::string other = e->d_name;
    if (other.size() != name.size() || other.compare(0, exact, name, 0, exact) != 0) continue;
    if (::strcasecmp(other.c_str() + exact, name.c_str() + exact) != 0) continue;
    const std::string found = JoinPath(folder, other);
    if (FileExists(found)) return found;
  }
  return path;
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return -1;
  return st.st_size;
}

int64_t FreeSpace(const std::string& folder) {
  struct statvfs vfs {};
  const std::string where = folder.empty() ? "/" : folder;
  if (statvfs(where.c_str(), &vfs) != 0) return -1;
  return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

int64_t LargestFileSize(const std::string& folder) {
  // pathconf(_PC_FILESIZEBITS) cannot tell: it answers 32 for tmpfs too. FAT is the one file
  // system people carry big files on whose bound lies below any disk's size.
  struct statfs fs {};
  if (statfs(folder.empty() ? "/" : folder.c_str(), &fs) == 0 && fs.f_type == MSDOS_SUPER_MAGIC) {
    return (int64_t{1} << 32) - 1;
  }
  return std::numeric_limits<int64_t>::max();
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool DeleteFile(const std::string& path) {
  return unlink(path.c_str()) == 0;
}

std::string LastErrorText() {
  return std::strerror(errno);
}

void IgnoreFileSizeSignal() {
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGXFSZ, &sa, nullptr);
}

}  // namespace pz
