// Self-extracting archives, deleting archive files (trash or final) and disk formatting.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>

#include "platform/os.h"
#include "zip/ziparchiver.h"
#include "zip/zipformat.h"

namespace pz {

namespace {

constexpr std::size_t kCopyChunk = 8192;

using zipfmt::WriteAll;

bool ReadAll(int fd, void* data, std::size_t n) {
  auto* p = static_cast<std::uint8_t*>(data);
  while (n > 0) {
    ssize_t r = ::read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

std::string UpperExt(const std::string& path) {
  std::string name = FileNamePart(path);
  auto dot = name.find_last_of('.');
  std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

std::string WithExtension(const std::string& path, const std::string& ext) {
  std::string name = FileNamePart(path);
  auto dot = name.find_last_of('.');
  std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  std::string folder = FolderPart(path);
  return (folder.empty() && path.find('/') == std::string::npos) ? stem + ext
                                                                 : JoinPath(folder, stem + ext);
}

std::string PercentEncode(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

bool MakeFolders(const std::string& path) {
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return FolderExists(path);
}

// Copies a file's bytes into an open descriptor; errno set on failure.
bool CopyInto(int in, int out, std::int64_t count, bool& readFailed) {
  std::array<std::uint8_t, kCopyChunk> buf;
  readFailed = false;
  while (count > 0) {
    std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(count, kCopyChunk));
    if (!ReadAll(in, buf.data(), n)) {
      readFailed = true;
      return false;
    }
    if (!WriteAll(out, buf.data(), n)) return false;
    count -= static_cast<std::int64_t>(n);
  }
  return true;
}

// The user's trash folder (freedesktop.org layout); "" when there is no home to put it in.
std::string TrashFolder() {
  const char* xdg = ::getenv("XDG_DATA_HOME");
  const char* home = ::getenv("HOME");
  if (xdg != nullptr && *xdg == '/') return std::string(xdg) + "/Trash";
  if (home != nullptr && *home != '\0') return std::string(home) + "/.local/share/Trash";
  return "";
}

std::string TrashInfoText(const std::string& path) {
  char date[32];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &tm);
  return "[Trash Info]\nPath=" + PercentEncode(path) + "\nDeletionDate=" + date + "\n";
}

// Another file system: copies into the trash, then removes the original. 0 or an errno.
int CopyToTrash(const std::string& path, const std::string& target) {
  FileHandle in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  FileHandle out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  struct stat st {};
  bool readFailed = false;
  if (in.valid() && out.valid() && ::fstat(in.get(), &st) == 0 &&
      CopyInto(in.get(), out.get(), st.st_size, readFailed) && ::unlink(path.c_str()) == 0)
    return 0;
  const int err = errno != 0 ? errno : EIO;
  if (out.valid()) ::unlink(target.c_str());
  return err;
}

// Moves the file to target once its info file is written; when that fails, the info file goes.
// 0 or an errno.
int MoveIntoTrash(const std::string& path, const std::string& target, const std::string& infoPath,
                  bool infoWritten) {
  if (infoWritten && ::rename(path.c_str(), target.c_str()) == 0) return 0;
  int err = infoWritten ? errno : EIO;
  if (infoWritten && err == EXDEV) err = CopyToTrash(path, target);
  if (err != 0) ::unlink(infoPath.c_str());
  return err;
}

// Moves a file into the user's trash; 0 on success, an errno else.
int MoveToTrash(const std::string& path) {
  const std::string trash = TrashFolder();
  if (trash.empty()) return ENOENT;
  const std::string files = trash + "/files";
  const std::string info = trash + "/info";
  if (!MakeFolders(files) || !MakeFolders(info)) return errno != 0 ? errno : EIO;

  const std::string base = FileNamePart(path);
  for (int n = 1; n < 10000; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string infoPath = info + "/" + name + ".trashinfo";
    // Creating the info file exclusively claims the name.
    FileHandle fd(::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd.valid()) {
      if (errno == EEXIST) continue;
      return errno;
    }
    if (FileExists(files + "/" + name)) {
      fd.reset();
      ::unlink(infoPath.c_str());
      continue;
    }
    const std::string text = TrashInfoText(path);
    const bool written = WriteAll(fd.get(), text.data(), text.size());
    fd.reset();
    return MoveIntoTrash(path, files + "/" + name, infoPath, written);
  }
  return EEXIST;
}

}  // namespace

int TZipArchiver::DeleteArchiveFile(const std::string& fileName, DeleteOpts mode) {
  std::string path = fileName;
  if (path.empty() || path[0] != '/') {  // relative names are taken in the current folder
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) != nullptr) path = JoinPath(cwd, path);
  }
  if (!FileExists(path)) return -1;
  if (mode == htdFinal) return ::unlink(path.c_str()) == 0 ? 0 : errno;
  return MoveToTrash(path);
}

int TZipArchiver::FormatDisk() {
  ReportMessage(zipmsg::kFormatUnavailable, "");
  return -1;
}

std::string TZipArchiver::FindStub() const {
  const std::string name = "PzxSfx.bin";
  if (!sfxPath_.empty() && FileExists(sfxPath_)) return sfxPath_;
  const std::string candidates[] = {name, JoinPath(ProgrammPfadErmitteln(), name),
                                    dllDirectory_.empty() ? "" : JoinPath(dllDirectory_, name)};
  for (const auto& c : candidates)
    if (!c.empty() && FileExists(c)) return c;
  return "";
}

namespace {

std::array<std::uint8_t, zipfmt::kSfxBlockSize> SfxBlock(SFXOpts opts, OvrOpts ovr,
                                                         const std::string& caption,
                                                         const std::string& dir,
                                                         const std::string& cmd) {
  using namespace zipfmt;
  std::array<std::uint8_t, kSfxBlockSize> b{};
  std::copy(std::begin(kSfxMagic), std::end(kSfxMagic), b.begin());
  std::uint8_t f = 0;
  if (opts.Has(SFXAskCmdLine)) f |= kSfxAskCmdLine;
  if (opts.Has(SFXAskFiles)) f |= kSfxAskFiles;
  if (opts.Has(SFXHideOverWriteBox)) f |= kSfxHideOverwriteBox;
  if (ovr == OvrAlways) f |= kSfxOverwriteAlways;
  if (ovr == OvrNever) f |= kSfxOverwriteNever;
  if (!opts.Has(SFXCheckSize)) f |= kSfxNoCheckSize;
  if (opts.Has(SFXAutoRun)) f |= kSfxAutoRun;
  b[kSfxFlagsAt] = f;
  b[kSfxLengthsAt] = static_cast<std::uint8_t>(caption.size());
  b[kSfxLengthsAt + 1] = static_cast<std::uint8_t>(dir.size());
  b[kSfxLengthsAt + 2] = static_cast<std::uint8_t>(cmd.size());
  std::string texts = caption + dir + cmd;  // the caller keeps this within kSfxTextRoom
  std::memcpy(b.data() + kSfxTextsAt, texts.data(),
              std::min<std::size_t>(texts.size(), kSfxTextRoom));
  return b;
}

}  // namespace

int TZipArchiver::WriteEmptySfx(const std::string& exe) {
  using namespace zipfmt;
  std::string stub = FindStub();
  if (stub.empty()) return Refuse(zipmsg::kSfxNoStub, kCopyFailed);
  FileHandle in(::open(stub.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!in.valid() || ::fstat(in.get(), &st) != 0) return kCopyReadFailed;
  FileHandle out(::open(exe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755));
  if (!out.valid()) return kCopyNotCreated;
  ScopeGuard removeExe([&exe] { ::unlink(exe.c_str()); });
  bool readFailed = false;
  if (!CopyInto(in.get(), out.get(), st.st_size, readFailed))
    return readFailed ? kCopyReadFailed : kCopyWriteFailed;
  auto block =
      SfxBlock(sfxOptions_, sfxOverWriteMode_, sfxCaption_, sfxDefaultDir_, sfxCommandLine_);
  std::uint8_t end[kEndRecordSize] = {};
  Put32(end, kEndSig);
  Put32(end + endrec::kCentralOffset, static_cast<std::uint32_t>(st.st_size + kSfxBlockSize));
  if (!WriteAll(out.get(), block.data(), block.size()) || !WriteAll(out.get(), end, sizeof end))
    return kCopyWriteFailed;
  removeExe.Dismiss();
  return kCopyDone;
}

int TZipArchiver::CopySfx(const std::string& stub, const std::string& archive,
                          const std::string& exe) {
  using namespace zipfmt;
  FileHandle stubIn(::open(stub.c_str(), O_RDONLY | O_CLOEXEC));
  FileHandle zipIn(::open(archive.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat stubSt {};
  struct stat zipSt {};
  if (!stubIn.valid() || !zipIn.valid() || ::fstat(stubIn.get(), &stubSt) != 0 ||
      ::fstat(zipIn.get(), &zipSt) != 0)
    return kCopyReadFailed;
  FileHandle out(::open(exe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755));
  if (!out.valid()) return kCopyNotCreated;
  ScopeGuard removeExe([&exe] { ::unlink(exe.c_str()); });
  const std::int64_t delta = stubSt.st_size + kSfxBlockSize;

  bool readFailed = false;
  if (!CopyInto(stubIn.get(), out.get(), stubSt.st_size, readFailed))
    return readFailed ? kCopyReadFailed : kCopyWriteFailed;
  auto block =
      SfxBlock(sfxOptions_, sfxOverWriteMode_, sfxCaption_, sfxDefaultDir_, sfxCommandLine_);
  if (!WriteAll(out.get(), block.data(), block.size())) return kCopyWriteFailed;
  if (directoryMismatch_) {
    // Offsets that are already off are not moved further: the archive is copied unchanged.
    if (!CopyInto(zipIn.get(), out.get(), zipSt.st_size, readFailed))
      return readFailed ? kCopyReadFailed : kCopyWriteFailed;
  } else if (int r =
                 CopyWithMovedOffsets(zipIn.get(), out.get(), delta, [this] { ProcessMessages(); });
             r != kCopyDone) {
    return r;
  }
  struct stat outSt {};
  if (::fstat(out.get(), &outSt) != 0 || outSt.st_size != delta + zipSt.st_size) return kCopyFailed;
  removeExe.Dismiss();
  return kCopyDone;
}

int TZipArchiver::ConvertToSfx() {
  using namespace zipfmt;
  if (!FileExists(zipFilename_)) return Refuse(zipmsg::kNoArchive, kCopyFailed);
  if (UpperExt(zipFilename_) != ".ZIP") return Refuse(zipmsg::kSfxNotZip, kCopyFailed);
  const std::size_t textLen = sfxCaption_.size() + sfxDefaultDir_.size() + sfxCommandLine_.size();
  if (textLen > static_cast<std::size_t>(kSfxTextRoom)) {
    ReportMessage(zipmsg::kSfxTextsTooLong,
                  "\r\nSFXCaption + SFXDefaultDir + SFXCommandLine = " + std::to_string(textLen));
    return kCopyFailed;
  }
  const std::string stub = FindStub();
  if (stub.empty()) return Refuse(zipmsg::kSfxNoStub, kCopyFailed);
  const std::string exe = WithExtension(zipFilename_, ".exe");
  if (FileExists(exe)) DeleteArchiveFile(exe, howToDelete_);
  if (int r = CopySfx(stub, zipFilename_, exe); r != kCopyDone) return r;
  DeleteArchiveFile(zipFilename_, howToDelete_);
  SetZipFilename(exe);
  return kCopyDone;
}

}  // namespace pz
