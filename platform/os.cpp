#include "platform/os.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

namespace pz {

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
  return JoinPath(programmPfad, folder);
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

}  // namespace pz
