#include "zip/engines/unpack.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "zip/engine_abi.h"
#include "zip/zipformat.h"

namespace pz::unpack {

namespace {

using namespace pz::zipabi;

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::int64_t kProgressStep = 1 << 20;  // report done bytes at most once per MiB

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = o.fd_;
      o.fd_ = -1;
    }
    return *this;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

using pz::zipfmt::WriteAll;

// Opens (creating when missing) one folder below parent; links are not followed.
Fd OpenSubFolder(int parent, const std::string& name, bool create) {
  Fd fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.ok() && errno == ENOENT && create) {
    if (::mkdirat(parent, name.c_str(), 0777) == 0 || errno == EEXIST)
      fd = Fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return fd;
}

bool Matches(const Options& o, const char* name) {
  if (o.specs.empty()) return true;
  const char* slash = std::strrchr(name, '/');
  const char* base = slash ? slash + 1 : name;
  for (const auto& s : o.specs)
    if (::fnmatch(s.c_str(), name, 0) == 0 || ::fnmatch(s.c_str(), base, 0) == 0) return true;
  return false;
}

// The modification time that the extended-timestamp field records (to the second, in UTC);
// else libzip's reading of the two-second local DOS time.
bool MemberMtime(zip_t* za, zip_uint64_t index, const zip_stat_t& st, time_t& mtime) {
  for (zip_flags_t where : {ZIP_FL_CENTRAL, ZIP_FL_LOCAL}) {
    zip_uint16_t len = 0;
    const zip_uint8_t* p =
        zip_file_extra_field_get_by_id(za, index, pz::zipfmt::kTimestampExtraId, 0, &len, where);
    if (p != nullptr && len >= 5 && (p[0] & pz::zipfmt::kTimestampHasMtime)) {
      mtime = static_cast<time_t>(pz::zipfmt::Le32(p + 1));
      return true;
    }
  }
  if (!(st.valid & ZIP_STAT_MTIME)) return false;
  mtime = st.mtime;
  return true;
}

// The mode a file gets when its member records none: what creating it would have given.
mode_t DefaultFileMode() {
  mode_t mask = 022;
  if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[128];
    while (std::fgets(line, sizeof line, f) != nullptr)
      if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
    std::fclose(f);
  }
  return 0666 & ~mask;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string s;
  for (const auto& p : parts) s += (s.empty() ? "" : "/") + p;
  return s;
}

}  // namespace

SafeName SanitizeMemberName(std::string_view raw, bool dirNames) {
  SafeName out;
  std::string name(raw);
  for (char& c : name)
    if (c == '\\') c = '/';
  out.isDir = !name.empty() && name.back() == '/';
  bool absolute = !name.empty() && name.front() == '/';
  bool dotdot = false;
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos <= name.size()) {
    std::size_t next = name.find('/', pos);
    if (next == std::string::npos) next = name.size();
    std::string part = name.substr(pos, next - pos);
    pos = next + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      dotdot = true;
      continue;
    }
    // A drive part ("C:") makes a Windows name absolute.
    if (parts.empty() && part.size() >= 2 && part[1] == ':') absolute = true;
    parts.push_back(part);
  }
  // The file name itself must be a plain name.
  std::string_view last = name;
  while (!last.empty() && last.back() == '/') last.remove_suffix(1);
  auto slash = last.find_last_of('/');
  std::string_view leaf = slash == std::string_view::npos ? last : last.substr(slash + 1);
  if (parts.empty() || leaf.empty() || leaf == "." || leaf == "..") return out;
  if (!dirNames || absolute || dotdot) {
    if (out.isDir) {
      if (!dirNames) return out;  // folders are not made without folder names
      out.verdict = Verdict::Refused;
      return out;
    }
    out.parts = {parts.back()};
    out.verdict = (dirNames && (absolute || dotdot)) ? Verdict::Reduced : Verdict::Ok;
    return out;
  }
  out.parts = std::move(parts);
  out.verdict = Verdict::Ok;
  return out;
}

int Unpack(zip_t* za, int dirFd, const Options& o, Reporter& rep) {
  const zip_int64_t entries = zip_get_num_entries(za, 0);
  if (entries < 0) return 0;

  // Announce what the batch holds.
  std::int64_t files = 0;
  std::int64_t total = 0;
  for (zip_int64_t i = 0; i < entries; ++i) {
    zip_stat_t st;
    if (zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
    if (!Matches(o, st.name)) continue;
    ++files;
    if (st.valid & ZIP_STAT_SIZE) total += static_cast<std::int64_t>(st.size);
  }
  if (rep.Progress(kActFileCount, files, "")) return 0;
  if (rep.Progress(kActSizeTotal, total, "")) return 0;

  int done = 0;
  std::vector<char> buf(kChunk);
  static unsigned counter = 0;
  for (zip_int64_t i = 0; i < entries; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    zip_stat_t st;
    if (zip_stat_index(za, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) continue;
    if (!Matches(o, st.name)) continue;
    const std::string stored = st.name;

    zip_uint8_t opsys = 0;
    zip_uint32_t attr = 0;
    zip_file_get_external_attributes(za, index, 0, &opsys, &attr);
    const mode_t unixMode = static_cast<mode_t>(attr >> 16);
    const bool hasUnixMode = opsys == ZIP_OPSYS_UNIX && unixMode != 0;
    // A mode without file-type bits (as Python's zipfile writes it) is an ordinary file.
    const bool typed = (unixMode & S_IFMT) != 0;
    SafeName safe = SanitizeMemberName(stored, o.dirNames);
    if (hasUnixMode && typed && !S_ISREG(unixMode) && !S_ISDIR(unixMode)) {
      if (rep.Message(kErrRefused, "Refused (link or special file): " + stored)) break;
      continue;
    }
    if (safe.verdict == Verdict::Refused) {
      if (safe.isDir && !o.dirNames) continue;  // a folder entry, nothing to do
      if (rep.Message(kErrRefused, "Refused (unsafe name): " + stored)) break;
      continue;
    }
    if (safe.verdict == Verdict::Reduced &&
        rep.Message(kErrReduced, "Unpacked under its file name only: " + stored))
      break;
    if (o.test && safe.isDir) continue;

    // Walk down the folders, creating them, never following a link.
    Fd parent(::dup(dirFd));
    const std::size_t folderParts = safe.isDir ? safe.parts.size() : safe.parts.size() - 1;
    bool walked = parent.ok();
    for (std::size_t p = 0; walked && p < folderParts; ++p) {
      parent = OpenSubFolder(parent.get(), safe.parts[p], !o.test);
      walked = parent.ok();
    }
    if (safe.isDir) {
      if (!walked && rep.Message(kErrWrite, "Cannot create folder: " + Joined(safe.parts))) break;
      continue;
    }
    if (!walked && !o.test) {
      if (rep.Message(kErrRefused, "Refused (folder cannot be used): " + stored)) break;
      continue;
    }

    const std::string& leaf = safe.parts.back();
    const std::string shown = Joined(safe.parts);
    bool replace = false;
    if (!o.test) {
      struct stat existing {};
      const bool exists =
          ::fstatat(parent.get(), leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
      if (exists) {
        if (S_ISDIR(existing.st_mode)) {
          if (rep.Message(kErrRefused, "Refused (a folder of that name exists): " + shown)) break;
          continue;
        }
        time_t memberTime = 0;
        const bool newer = MemberMtime(za, index, st, memberTime) && memberTime > existing.st_mtime;
        if (o.update || o.freshen) {
          if (!newer) continue;
          replace = true;
        } else if (o.overwrite) {
          replace = true;
        } else {
          if (rep.Message(kErrExists, "Existing file kept: " + shown)) break;
          continue;
        }
      } else if (o.freshen) {
        continue;
      }
    }

    const std::int64_t size = (st.valid & ZIP_STAT_SIZE) ? static_cast<std::int64_t>(st.size) : 0;
    if (rep.Progress(kActFileBegins, size, shown)) break;
    zip_file_t* zf = zip_fopen_index(za, index, 0);
    if (zf == nullptr) {
      const int ze = zip_error_code_zip(zip_get_error(za));
      const bool pw = ze == ZIP_ER_NOPASSWD || ze == ZIP_ER_WRONGPASSWD;
      zip_error_clear(za);
      if (rep.Message(pw ? kErrPassword : kErrData,
                      (pw ? "Password missing or wrong: " : "Cannot read: ") + shown))
        break;
      continue;
    }

    Fd out;
    std::string temp;
    if (!o.test) {
      for (int attempt = 0; attempt < 100 && !out.ok(); ++attempt) {
        temp = ".pzx-unpack-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        // Readable by its owner only until it is finished; the member's mode comes at the end.
        out = Fd(::openat(parent.get(), temp.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.ok() && errno != EEXIST) break;
      }
      if (!out.ok()) {
        zip_fclose(zf);
        if (rep.Message(kErrWrite, "Cannot create: " + shown)) break;
        continue;
      }
    }

    bool failed = false;
    bool stop = false;
    std::int64_t pending = 0;
    for (;;) {
      zip_int64_t n = zip_fread(zf, buf.data(), buf.size());
      if (n < 0) {
        failed = true;
        stop = rep.Message(kErrData, "Damaged data: " + shown);
        break;
      }
      if (n == 0) break;
      if (!o.test && !WriteAll(out.get(), buf.data(), static_cast<std::size_t>(n))) {
        failed = true;
        stop = rep.Message(kErrWrite, "Cannot write: " + shown);
        break;
      }
      pending += n;
      if (pending >= kProgressStep) {
        if (rep.Progress(kActBytesDone, pending, "")) {
          failed = stop = true;
          rep.Message(kErrCancelled, "Cancelled: " + shown);
          break;
        }
        pending = 0;
      }
    }
    zip_fclose(zf);
    if (!failed && pending > 0 && rep.Progress(kActBytesDone, pending, "")) {
      failed = stop = true;
      rep.Message(kErrCancelled, "Cancelled: " + shown);
    }

    if (!o.test) {
      if (!failed) {
        // Never set-id bits.
        ::fchmod(out.get(), hasUnixMode ? (unixMode & 0777) : DefaultFileMode());
        if (time_t mtime = 0; MemberMtime(za, index, st, mtime)) {
          struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
          ::futimens(out.get(), times);
        }
        if (::fsync(out.get()) != 0 && errno != EINVAL) failed = true;
      }
      out.reset();
      if (!failed) {
        // Rename within the folder: the final name is never written through.
        int r = ::renameat2(parent.get(), temp.c_str(), parent.get(), leaf.c_str(),
                            replace ? 0 : RENAME_NOREPLACE);
        if (r != 0 && !replace && errno == EINVAL) {
          r = ::linkat(parent.get(), temp.c_str(), parent.get(), leaf.c_str(), 0);
          if (r == 0) ::unlinkat(parent.get(), temp.c_str(), 0);
        }
        if (r != 0) {
          failed = true;
          stop =
              rep.Message(errno == EEXIST ? kErrExists : kErrWrite,
                          (errno == EEXIST ? "Existing file kept: " : "Cannot create: ") + shown);
        }
      }
      if (failed) ::unlinkat(parent.get(), temp.c_str(), 0);
    }
    if (!failed) {
      ++done;
      if (o.verbose && rep.Message(0, (o.test ? "tested: " : "unpacked: ") + shown)) break;
    }
    if (stop) break;
  }
  rep.Progress(kActBatchDone, 0, "");
  return done;
}

}  // namespace pz::unpack
