#include "zip/engines/unpack.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/filehandle.h"
#include "zip/engine_abi.h"
#include "zip/engines/ziphandle.h"
#include "zip/zipformat.h"

namespace pz::unpack {

namespace {

using namespace pz::zipabi;
using pz::FileHandle;

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::int64_t kProgressStep = 1 << 20;  // report done bytes at most once per MiB

constexpr int kTempNameAttempts = 100;
constexpr mode_t kUnfinishedMode = S_IRUSR | S_IWUSR;  // its owner's alone until it is complete
constexpr mode_t kUsualUmask = S_IWGRP | S_IWOTH;      // when /proc does not tell

using pz::zipfmt::WriteAll;

// Opens (creating when missing) one folder below parent; links are not followed.
FileHandle OpenSubFolder(int parent, const std::string& name, bool create) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  FileHandle fd(::openat(parent, name.c_str(), kFlags));
  if (!fd.valid() && errno == ENOENT && create) {
    if (::mkdirat(parent, name.c_str(), ACCESSPERMS) == 0 || errno == EEXIST)
      fd = FileHandle(::openat(parent, name.c_str(), kFlags));
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
  using namespace pz::zipfmt;
  for (zip_flags_t where : {ZIP_FL_CENTRAL, ZIP_FL_LOCAL}) {
    zip_uint16_t len = 0;
    const zip_uint8_t* p =
        zip_file_extra_field_get_by_id(za, index, pz::zipfmt::kTimestampExtraId, 0, &len, where);
    // A flag byte, then the modification time when the flag says so.
    if (p != nullptr && len >= kTimestampTimesAt + kTimestampTimeSize &&
        (p[0] & kTimestampHasMtime)) {
      mtime = static_cast<time_t>(pz::zipfmt::Le32(p + kTimestampTimesAt));
      return true;
    }
  }
  if (!(st.valid & ZIP_STAT_MTIME)) return false;
  mtime = st.mtime;
  return true;
}

// The mode a file gets when its member records none: what creating it would have given.
mode_t DefaultFileMode() {
  mode_t mask = kUsualUmask;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen("/proc/self/status", "re"),
                                                          &std::fclose);
  if (f == nullptr) return DEFFILEMODE & ~mask;
  char line[128];
  while (std::fgets(line, sizeof line, f.get()) != nullptr)
    if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
  return DEFFILEMODE & ~mask;
}

// The system's reason after a failed call, for the message that names the file.
std::string Because(int err) {
  return std::string(": ") + std::strerror(err);
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string s;
  for (const auto& p : parts) s += (s.empty() ? "" : "/") + p;
  return s;
}

}  // namespace

NameParts SplitPath(std::string_view path) {
  NameParts out;
  out.absolute = !path.empty() && path.front() == '/';
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t next = path.find('/', pos);
    if (next == std::string_view::npos) next = path.size();
    const std::string_view part = path.substr(pos, next - pos);
    pos = next + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      out.dotdot = true;
      continue;
    }
    // A drive part ("C:") makes a Windows name absolute.
    if (out.parts.empty() && part.size() >= 2 && part[1] == ':') out.absolute = true;
    out.parts.emplace_back(part);
  }
  return out;
}

SafeName SanitizeMemberName(std::string_view raw, bool dirNames) {
  SafeName out;
  std::string name(raw);
  for (char& c : name)
    if (c == '\\') c = '/';
  out.isDir = !name.empty() && name.back() == '/';
  NameParts split = SplitPath(name);
  const bool absolute = split.absolute;
  const bool dotdot = split.dotdot;
  std::vector<std::string>& parts = split.parts;
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

namespace {

// A file written under a temporary name in its folder, which gets its final name only once
// complete; on every path that does not get that far the temporary name is removed.
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!name_.empty()) ::unlinkat(folder_, name_.c_str(), 0);
  }

  bool Create(int folder) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
      std::string name =
          kUnpackTempPrefix + std::to_string(::getpid()) + "-" + std::to_string(++counter);
      fd_.reset(::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         kUnfinishedMode));
      if (fd_.valid()) {
        folder_ = folder;
        name_ = std::move(name);
        return true;
      }
      if (errno != EEXIST) break;
    }
    return false;
  }
  int fd() const { return fd_.get(); }
  void CloseFile() { fd_.reset(); }
  // Renames within the folder, so the final name is never written through; false with errno
  // set when the name cannot be given.
  bool Publish(const std::string& leaf, bool replace) {
    if (::renameat2(folder_, name_.c_str(), folder_, leaf.c_str(),
                    replace ? 0 : RENAME_NOREPLACE) == 0) {
      name_.clear();
      return true;
    }
    // File systems without RENAME_NOREPLACE: a link refuses an existing name as well, and the
    // temporary name goes with this object.
    return !replace && errno == EINVAL &&
           ::linkat(folder_, name_.c_str(), folder_, leaf.c_str(), 0) == 0;
  }

 private:
  FileHandle fd_;
  int folder_ = -1;
  std::string name_;
};

// How one step of a member ends: on to the next step, this member is finished without being
// unpacked, or the whole batch stops.
enum class Next { Go, Skip, Stop };

// One member on its way out of the archive.
struct MemberJob {
  zip_uint64_t index = 0;
  zip_stat_t st{};
  std::string stored;  // the name as the archive records it
  SafeName safe;
  mode_t unixMode = 0;
  bool hasUnixMode = false;
  FileHandle folder;  // where it goes
  std::string shown;  // its path below the target folder
  bool replace = false;
};

class Unpacker {
 public:
  Unpacker(zip_t* za, int dirFd, const Options& o, Reporter& rep)
      : za_(za), dirFd_(dirFd), o_(o), rep_(rep), buf_(kChunk) {}

  // True when the reporter stops the batch at its start.
  bool Announce(zip_int64_t entries);
  // Unpacks (or tests) one member; true when the batch stops there.
  bool Member(zip_uint64_t index);
  int done() const { return done_; }

 private:
  Next Admit(MemberJob& m);
  Next OpenFolder(MemberJob& m);
  Next CheckExisting(MemberJob& m);
  Next Extract(MemberJob& m);
  Next Copy(zip_file_t* zf, int out, const std::string& shown);
  Next Commit(MemberJob& m, TempFile& out);

  // Tells why a member is not unpacked; the batch goes on unless the reporter stops it.
  Next Refuse(std::int32_t error, const std::string& text) {
    return rep_.Message(error, text) ? Next::Stop : Next::Skip;
  }
  Next Cancelled(const std::string& shown) {
    rep_.Message(kErrCancelled, "Cancelled: " + shown);
    return Next::Stop;
  }

  zip_t* za_;
  int dirFd_;
  const Options& o_;
  Reporter& rep_;
  std::vector<char> buf_;
  int done_ = 0;
};

bool Unpacker::Announce(zip_int64_t entries) {
  std::int64_t files = 0;
  std::int64_t total = 0;
  for (zip_int64_t i = 0; i < entries; ++i) {
    zip_stat_t st;
    if (zip_stat_index(za_, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
    if (!Matches(o_, st.name)) continue;
    ++files;
    if (st.valid & ZIP_STAT_SIZE) total += static_cast<std::int64_t>(st.size);
  }
  return rep_.Progress(kActFileCount, files, "") || rep_.Progress(kActSizeTotal, total, "");
}

bool Unpacker::Member(zip_uint64_t index) {
  MemberJob m;
  m.index = index;
  Next next = Admit(m);
  if (next == Next::Go) next = OpenFolder(m);
  if (next == Next::Go) next = CheckExisting(m);
  if (next == Next::Go) next = Extract(m);
  if (next != Next::Go) return next == Next::Stop;
  ++done_;
  return o_.verbose && rep_.Message(0, (o_.test ? "tested: " : "unpacked: ") + m.shown);
}

// The member's name and type: what is unsafe or not wanted goes no further.
Next Unpacker::Admit(MemberJob& m) {
  if (zip_stat_index(za_, m.index, 0, &m.st) != 0 || !(m.st.valid & ZIP_STAT_NAME))
    return Next::Skip;
  if (!Matches(o_, m.st.name)) return Next::Skip;
  m.stored = m.st.name;

  zip_uint8_t opsys = 0;
  zip_uint32_t attr = 0;
  zip_file_get_external_attributes(za_, m.index, 0, &opsys, &attr);
  m.unixMode = static_cast<mode_t>(attr >> pz::zipfmt::kUnixModeShift);
  m.hasUnixMode = opsys == ZIP_OPSYS_UNIX && m.unixMode != 0;
  // A mode without file-type bits (as Python's zipfile writes it) is an ordinary file.
  const bool typed = (m.unixMode & S_IFMT) != 0;
  m.safe = SanitizeMemberName(m.stored, o_.dirNames);
  if (m.hasUnixMode && typed && !S_ISREG(m.unixMode) && !S_ISDIR(m.unixMode))
    return Refuse(kErrRefused, "Refused (link or special file): " + m.stored);
  if (m.safe.verdict == Verdict::Refused) {
    if (m.safe.isDir && !o_.dirNames) return Next::Skip;  // a folder entry, nothing to do
    return Refuse(kErrRefused, "Refused (unsafe name): " + m.stored);
  }
  if (m.safe.verdict == Verdict::Reduced &&
      rep_.Message(kErrReduced, "Unpacked under its file name only: " + m.stored))
    return Next::Stop;
  if (o_.test && m.safe.isDir) return Next::Skip;
  return Next::Go;
}

// Walks down the folders, creating them, never following a link. A folder entry ends here.
Next Unpacker::OpenFolder(MemberJob& m) {
  const std::vector<std::string>& parts = m.safe.parts;
  m.folder = FileHandle(::dup(dirFd_));
  const std::size_t folderParts = m.safe.isDir ? parts.size() : parts.size() - 1;
  for (std::size_t p = 0; m.folder.valid() && p < folderParts; ++p)
    m.folder = OpenSubFolder(m.folder.get(), parts[p], !o_.test);
  const bool walked = m.folder.valid();
  if (m.safe.isDir)
    return walked ? Next::Skip : Refuse(kErrWrite, "Cannot create folder: " + Joined(parts));
  if (!walked && !o_.test)
    return Refuse(kErrRefused, "Refused (folder cannot be used): " + m.stored);
  m.shown = Joined(parts);
  return Next::Go;
}

// Whether a file of that name may be replaced: update and freshen replace older files only.
Next Unpacker::CheckExisting(MemberJob& m) {
  if (o_.test) return Next::Go;
  struct stat existing {};
  const std::string& leaf = m.safe.parts.back();
  if (::fstatat(m.folder.get(), leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0)
    return o_.freshen ? Next::Skip : Next::Go;
  if (S_ISDIR(existing.st_mode))
    return Refuse(kErrRefused, "Refused (a folder of that name exists): " + m.shown);
  time_t memberTime = 0;
  const bool newer = MemberMtime(za_, m.index, m.st, memberTime) && memberTime > existing.st_mtime;
  if (o_.update || o_.freshen) {
    if (!newer) return Next::Skip;
  } else if (!o_.overwrite) {
    return Refuse(kErrExists, "Existing file kept: " + m.shown);
  }
  m.replace = true;
  return Next::Go;
}

Next Unpacker::Extract(MemberJob& m) {
  const std::int64_t size = (m.st.valid & ZIP_STAT_SIZE) ? static_cast<std::int64_t>(m.st.size) : 0;
  if (rep_.Progress(kActFileBegins, size, m.shown)) return Next::Stop;
  ZipFile zf(zip_fopen_index(za_, m.index, 0));
  if (zf == nullptr) {
    const int ze = zip_error_code_zip(zip_get_error(za_));
    const bool pw = ze == ZIP_ER_NOPASSWD || ze == ZIP_ER_WRONGPASSWD;
    zip_error_clear(za_);
    return Refuse(pw ? kErrPassword : kErrData,
                  (pw ? "Password missing or wrong: " : "Cannot read: ") + m.shown);
  }
  TempFile out;
  if (!o_.test && !out.Create(m.folder.get()))
    return Refuse(kErrWrite, "Cannot create: " + m.shown + Because(errno));
  const Next copied = Copy(zf.get(), out.fd(), m.shown);
  zf.reset();
  if (copied != Next::Go || o_.test) return copied;
  return Commit(m, out);
}

// Reads the member through (writing it to out unless testing), reporting the bytes done.
Next Unpacker::Copy(zip_file_t* zf, int out, const std::string& shown) {
  std::int64_t pending = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(zf, buf_.data(), buf_.size());
    if (n < 0) return Refuse(kErrData, "Damaged data: " + shown);
    if (n == 0) break;
    if (!o_.test && !WriteAll(out, buf_.data(), static_cast<std::size_t>(n)))
      return Refuse(kErrWrite, "Cannot write: " + shown + Because(errno));
    pending += n;
    if (pending >= kProgressStep) {
      if (rep_.Progress(kActBytesDone, pending, "")) return Cancelled(shown);
      pending = 0;
    }
  }
  if (pending > 0 && rep_.Progress(kActBytesDone, pending, "")) return Cancelled(shown);
  return Next::Go;
}

// Gives the finished file the member's mode (never set-id bits) and time, and its name.
Next Unpacker::Commit(MemberJob& m, TempFile& out) {
  ::fchmod(out.fd(), m.hasUnixMode ? (m.unixMode & ACCESSPERMS) : DefaultFileMode());
  if (time_t mtime = 0; MemberMtime(za_, m.index, m.st, mtime)) {
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ::futimens(out.fd(), times);
  }
  // Data that may not have reached the disk is no file unpacked.
  if (::fsync(out.fd()) != 0 && errno != EINVAL)
    return Refuse(kErrWrite, "Cannot write: " + m.shown + Because(errno));
  out.CloseFile();
  if (out.Publish(m.safe.parts.back(), m.replace)) return Next::Go;
  const bool exists = errno == EEXIST;
  return Refuse(
      exists ? kErrExists : kErrWrite,
      exists ? "Existing file kept: " + m.shown : "Cannot create: " + m.shown + Because(errno));
}

}  // namespace

int Unpack(zip_t* za, int dirFd, const Options& o, Reporter& rep) {
  const zip_int64_t entries = zip_get_num_entries(za, 0);
  if (entries < 0) return 0;
  Unpacker unpacker(za, dirFd, o, rep);
  if (unpacker.Announce(entries)) return 0;
  for (zip_int64_t i = 0; i < entries; ++i)
    if (unpacker.Member(static_cast<zip_uint64_t>(i))) break;
  rep.Progress(kActBatchDone, 0, "");
  return unpacker.done();
}

}  // namespace pz::unpack
