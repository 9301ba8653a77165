// ZIPENG.DLL: the packing engine over libzip. Reads the new zip command block, packs the
// specified files (streamed through a source of our own, so progress and cancelling reach the
// caller) and returns the number of files packed.
#include <dirent.h>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/filehandle.h"
#include "zip/engine_abi.h"
#include "zip/engines/pdeflate.h"
#include "zip/engines/unpack.h"
#include "zip/engines/ziphandle.h"
#include "zip/zipformat.h"

namespace {

using namespace pz::zipabi;
using pz::unpack::CallbackReporter;

constexpr std::int32_t kEngineVersion = 160;  // takes the new block layout
constexpr std::int64_t kProgressStep = 1 << 20;
constexpr int kMaxLevel = 9;                     // deflate's levels; 0 stores
constexpr zip_uint16_t kLevelFlagMask = 0x0006;  // general purpose bits 1-2: the level class
constexpr int kMaxFolderDepth = 64;

struct Job {
  CallbackReporter* rep;
  bool cancelled = false;
};

struct Member {
  std::string path;
  std::string stored;
  struct stat st;
  bool folder = false;  // a folder entry of its own (separate folders)
};

// Streams one file into the archive, reporting its start and the bytes done. With a level
// above 0 it hands libzip data that is already deflated (on every core), with its CRC and sizes.
struct FileSource {
  FileSource(Job* j, Member m, int lvl) : job(j), member(std::move(m)), level(lvl) {
    zip_error_init(&error);
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  ~FileSource() { zip_error_fini(&error); }

  Job* job;
  Member member;
  pz::FileHandle fd;
  std::int64_t pending = 0;
  zip_error_t error{};
  int level = 0;
  std::unique_ptr<pz::pdeflate::Deflater> deflater{};  // reads fd: declared after it, ends first
  pz::pdeflate::Chunk chunk{};
  std::size_t chunkPos = 0;
  bool deflated = false;  // every byte went through: the totals below hold
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
  std::uint64_t compSize = 0;
};

// Reports to the caller; true when it asks to stop.
bool Stopped(FileSource* s, std::int32_t action, std::int64_t size, const std::string& text) {
  if (!s->job->rep->Progress(action, size, text)) return false;
  s->job->cancelled = true;
  zip_error_set(&s->error, ZIP_ER_CANCELLED, 0);
  return true;
}

bool StartDeflating(FileSource* s) {
  const auto size = static_cast<std::uint64_t>(s->member.st.st_size);
  const int fd = s->fd.get();
  auto read = [fd](std::uint8_t* buf, std::size_t n, std::uint64_t offset) -> std::int64_t {
    ssize_t got;
    do got = ::pread(fd, buf, n, static_cast<off_t>(offset));
    while (got < 0 && errno == EINTR);
    return got;
  };
  try {
    s->deflater = std::make_unique<pz::pdeflate::Deflater>(s->level, size, read,
                                                           pz::pdeflate::ThreadsFor(size));
  } catch (const std::exception&) {
    zip_error_set(&s->error, ZIP_ER_MEMORY, 0);
    return false;
  }
  s->chunk = {};
  s->chunkPos = 0;
  s->deflated = false;
  return true;
}

// Hands out the deflated stream block by block; each block's data counts as done when it
// comes in, in the order of the file.
zip_int64_t ReadDeflated(FileSource* s, std::uint8_t* data, zip_uint64_t len) {
  zip_uint64_t n = 0;
  while (n < len) {
    if (s->chunkPos == s->chunk.size) {
      if (!s->deflater->Next(s->chunk)) break;
      s->chunkPos = 0;
      if (s->chunk.input > 0 &&
          Stopped(s, kActBytesDone, static_cast<std::int64_t>(s->chunk.input), ""))
        return -1;
    }
    const std::size_t k = std::min<std::size_t>(len - n, s->chunk.size - s->chunkPos);
    std::memcpy(data + n, s->chunk.data + s->chunkPos, k);
    s->chunkPos += k;
    n += k;
  }
  if (n == 0 && s->deflater->Failed()) {
    zip_error_set(&s->error, ZIP_ER_READ, s->deflater->ReadError());
    return -1;
  }
  return static_cast<zip_int64_t>(n);
}

void StopDeflating(FileSource* s) {
  if (s->deflater != nullptr && s->deflater->Finished()) {
    s->deflated = true;
    s->crc = s->deflater->Crc();
    s->size = s->deflater->InputSize();
    s->compSize = s->deflater->OutputSize();
  }
  s->deflater.reset();  // the workers end here
}

// Size and time; with deflating the method too, and once every byte went through, the CRC
// and sizes that libzip then writes as they are.
zip_int64_t Stat(FileSource* s, void* data, zip_uint64_t len) {
  auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &s->error);
  if (st == nullptr) return -1;
  zip_stat_init(st);
  st->size = static_cast<zip_uint64_t>(s->member.st.st_size);
  st->mtime = s->member.st.st_mtime;
  st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
  if (s->level > 0) {
    st->comp_method = ZIP_CM_DEFLATE;
    st->valid |= ZIP_STAT_COMP_METHOD;
  }
  if (s->deflated) {
    st->size = s->size;
    st->crc = s->crc;
    st->comp_size = s->compSize;
    st->valid |= ZIP_STAT_CRC | ZIP_STAT_COMP_SIZE;
  }
  return sizeof(*st);
}

// Deflated data records its level class in bits 1-2 of the general purpose flags.
zip_int64_t Attributes(FileSource* s, void* data, zip_uint64_t len) {
  auto* a = ZIP_SOURCE_GET_ARGS(zip_file_attributes_t, data, len, &s->error);
  if (a == nullptr) return -1;
  if (s->level > 0) {
    a->valid |= ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
    a->general_purpose_bit_flags = pz::pdeflate::LevelFlags(s->level);
    a->general_purpose_bit_mask = kLevelFlagMask;
  }
  return 0;
}

zip_int64_t Open(FileSource* s) {
  s->fd.reset(::open(s->member.path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!s->fd.valid()) {
    zip_error_set(&s->error, ZIP_ER_OPEN, errno);
    return -1;
  }
  if (Stopped(s, kActFileBegins, s->member.st.st_size, s->member.stored)) return -1;
  if (s->level > 0 && !StartDeflating(s)) return -1;
  return 0;
}

// Stored members: the file as it is, its bytes reported once a step is full and at its end.
zip_int64_t ReadPlain(FileSource* s, void* data, zip_uint64_t len) {
  ssize_t n;
  do n = ::read(s->fd.get(), data, len);
  while (n < 0 && errno == EINTR);
  if (n < 0) {
    zip_error_set(&s->error, ZIP_ER_READ, errno);
    return -1;
  }
  s->pending += n;
  if (s->pending >= kProgressStep || (n == 0 && s->pending > 0)) {
    const std::int64_t done = s->pending;
    s->pending = 0;
    if (Stopped(s, kActBytesDone, done, "")) return -1;
  }
  return n;
}

zip_int64_t SourceCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* s = static_cast<FileSource*>(userdata);
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      return Open(s);
    case ZIP_SOURCE_READ:
      if (s->level > 0) return ReadDeflated(s, static_cast<std::uint8_t*>(data), len);
      return ReadPlain(s, data, len);
    case ZIP_SOURCE_CLOSE:
      StopDeflating(s);
      s->fd.reset();
      return 0;
    case ZIP_SOURCE_STAT:
      return Stat(s, data, len);
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES:
      return Attributes(s, data, len);
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&s->error, data, len);
    case ZIP_SOURCE_FREE:
      delete s;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                            ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
    default:
      zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

bool IsHidden(const std::string& name) {
  return !name.empty() && name[0] == '.';
}

// The name stored for a path: the file name alone, or the path made relative and free of
// "." and ".." parts. It must be a name that unpacking takes as it stands, so our own archives
// never carry names that point outside; "" for a path that gives none.
std::string StoredName(const std::string& path, bool dirNames) {
  const std::vector<std::string> parts = pz::unpack::SplitPath(path).parts;
  if (parts.empty()) return "";
  std::string s;
  for (const auto& p : dirNames ? parts : std::vector<std::string>{parts.back()})
    s += (s.empty() ? "" : "/") + p;
  const pz::unpack::SafeName safe = pz::unpack::SanitizeMemberName(s, dirNames);
  return safe.verdict == pz::unpack::Verdict::Ok ? s : "";
}

struct CollectOptions {
  bool recurse, hidden, dirNames, separateDirs;
};

// The names in a folder, sorted, without "." and ".." (and hidden ones unless wanted).
std::vector<std::string> FolderNames(const std::string& path, bool hidden) {
  std::vector<std::string> names;
  const pz::DirHandle d(::opendir(path.c_str()));
  if (d == nullptr) return names;
  while (dirent* e = ::readdir(d.get())) {
    std::string n = e->d_name;
    if (n == "." || n == ".." || (!hidden && IsHidden(n))) continue;
    names.push_back(n);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void Collect(const std::string& path, const CollectOptions& o, std::vector<Member>& out,
             CallbackReporter& rep, int depth = 0) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    rep.Message(pz::unpack::kErrSource, "File not found: " + path);
    return;
  }
  if (S_ISREG(st.st_mode)) {
    std::string stored = StoredName(path, o.dirNames);
    if (stored.empty())
      rep.Message(pz::unpack::kErrSource, "Refused (no safe member name): " + path);
    else
      out.push_back({path, stored, st});
    return;
  }
  if (!S_ISDIR(st.st_mode) || !o.recurse || depth > kMaxFolderDepth) return;
  if (o.separateDirs && o.dirNames) {
    std::string stored = StoredName(path, true);
    if (!stored.empty()) out.push_back({path, stored + "/", st, true});
  }
  for (const auto& n : FolderNames(path, o.hidden)) {
    std::string child = path + "/" + n;
    struct stat cst {};
    struct stat target {};
    if (::lstat(child.c_str(), &cst) == 0 && S_ISLNK(cst.st_mode) &&
        ::stat(child.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
      continue;  // linked folders are not followed: no loops
    Collect(child, o, out, rep, depth + 1);
  }
}

// Records the exact modification time beside the two-second local DOS time, in the
// extended-timestamp field as Info-ZIP writes it: modification and access time in the local
// header, the modification time alone in the central one.
void AddTimestampField(zip_t* za, zip_uint64_t index, const struct stat& st) {
  using namespace pz::zipfmt;
  constexpr std::uint8_t kFlags = kTimestampHasMtime | kTimestampHasAtime;
  zip_uint8_t local[kTimestampTimesAt + 2 * kTimestampTimeSize] = {kFlags};
  Put32(local + kTimestampTimesAt, static_cast<std::uint32_t>(st.st_mtime));
  Put32(local + kTimestampTimesAt + kTimestampTimeSize, static_cast<std::uint32_t>(st.st_atime));
  zip_uint8_t central[kTimestampTimesAt + kTimestampTimeSize] = {kFlags};
  Put32(central + kTimestampTimesAt, static_cast<std::uint32_t>(st.st_mtime));
  zip_file_extra_field_set(za, index, kTimestampExtraId, ZIP_EXTRA_FIELD_NEW, local, sizeof local,
                           ZIP_FL_LOCAL);
  zip_file_extra_field_set(za, index, kTimestampExtraId, ZIP_EXTRA_FIELD_NEW, central,
                           sizeof central, ZIP_FL_CENTRAL);
}

std::string ZipErrorText(zip_error_t* e) {
  return zip_error_strerror(e);
}

constexpr std::int64_t kLargestPrefix = 64 << 20;

// libzip writes an archive from its first byte, so data in front of the first entry (a
// self-extractor stub and its block) would be lost. It is read here and put back afterwards.
bool ReadPrefix(const std::string& archive, std::string& prefix, CallbackReporter& rep) {
  const pz::FileHandle fd(::open(archive.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return true;  // a new archive
  const std::int64_t first = pz::zipfmt::FirstEntryPosition(fd.get());
  if (first > kLargestPrefix) {
    rep.Message(pz::unpack::kErrPack, "Too much data in front of the archive " + archive);
    return false;
  }
  if (first <= 0) return true;
  prefix.resize(static_cast<std::size_t>(first));
  return ::pread(fd.get(), prefix.data(), prefix.size(), 0) == static_cast<ssize_t>(prefix.size());
}

// Writes prefix and the archive behind it (its offsets moved) to a file of the archive's mode
// beside it, which then replaces the archive.
bool RestorePrefix(const std::string& archive, const std::string& prefix) {
  const pz::FileHandle in(::open(archive.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!in.valid() || ::fstat(in.get(), &st) != 0) return false;
  std::string temp = archive + ".pzx-XXXXXX";
  pz::FileHandle out(::mkstemp(temp.data()));
  if (!out.valid()) return false;
  pz::ScopeGuard removeTemp([&temp] { ::unlink(temp.c_str()); });
  const bool written = ::fchmod(out.get(), st.st_mode & ALLPERMS) == 0 &&
                       pz::zipfmt::WriteAll(out.get(), prefix.data(), prefix.size()) &&
                       pz::zipfmt::CopyWithMovedOffsets(in.get(), out.get(),
                                                        static_cast<std::int64_t>(prefix.size()),
                                                        nullptr) == pz::zipfmt::kCopyDone &&
                       ::fsync(out.get()) == 0;
  out.reset();
  if (!written || ::rename(temp.c_str(), archive.c_str()) != 0) return false;
  removeTemp.Dismiss();
  return true;
}

// What the command block asks for.
struct PackRequest {
  std::string archive;
  CollectOptions collect{};
  bool verbose = false;
  bool update = false;
  bool freshen = false;  // replace older members only
  bool encrypt = false;
  bool move = false;     // delete the files once packed
  bool zipTime = false;  // the archive takes the time of its newest member
  int level = 0;
  std::string password;
};

PackRequest ReadRequest(const ZipBlockHead& h) {
  PackRequest r;
  r.archive = reinterpret_cast<const char*>(h.archive);
  const bool dirNames = h.noDirNames == kFalse;
  r.collect = {h.recurse != 0, h.hiddenFiles != kFalse, dirNames, h.noSeparateDirs == kFalse};
  r.verbose = h.verbose != kFalse || h.trace != kFalse;
  r.update = h.update != kFalse;
  r.freshen = h.freshen != kFalse && !r.update;
  r.encrypt = h.encrypt != kFalse;
  r.move = h.move != kFalse;
  r.zipTime = h.zipTime != kFalse;
  r.level = std::clamp(h.level, 0, kMaxLevel);
  if (h.password != 0) r.password = reinterpret_cast<const char*>(h.password);
  return r;
}

// The files (and folders) the given names and masks stand for; masks are expanded here.
std::vector<Member> CollectMembers(const std::vector<std::string>& specs,
                                   const CollectOptions& collect, CallbackReporter& rep) {
  std::vector<Member> members;
  for (const auto& fileSpec : specs) {
    if (fileSpec.find_first_of("*?[") == std::string::npos) {
      Collect(fileSpec, collect, members, rep);
      continue;
    }
    glob_t g{};
    const pz::ScopeGuard freeGlob([&g] { ::globfree(&g); });
    if (::glob(fileSpec.c_str(), 0, nullptr, &g) == 0)
      for (std::size_t i = 0; i < g.gl_pathc; ++i) Collect(g.gl_pathv[i], collect, members, rep);
    else
      rep.Message(pz::unpack::kErrSource, "File not found: " + fileSpec);
  }
  return members;
}

// An empty file is a new archive that the caller created with the mode it wants (a placeholder).
pz::ZipHandle OpenArchive(const std::string& archive, CallbackReporter& rep, bool& placeholder) {
  struct stat ast {};
  placeholder = ::stat(archive.c_str(), &ast) == 0 && S_ISREG(ast.st_mode) && ast.st_size == 0;
  int errorp = 0;
  pz::ZipHandle za =
      pz::ZipHandle::Open(archive, placeholder ? ZIP_CREATE | ZIP_TRUNCATE : ZIP_CREATE, errorp);
  if (!za.valid())
    rep.Message(pz::unpack::kErrPack,
                "Cannot open archive " + archive + ": " + pz::OpenErrorText(errorp));
  return za;
}

// Removed before the commit, the placeholder leaves a free name for the finished archive: moved
// over a file, ext4 would first push all of its data to the disk, which for a temporary archive
// that is cut and deleted right after is wasted time. libzip then gives a new archive the mode
// the file mask allows, so the mask is narrowed to the placeholder's mode while it writes.
bool DropPlaceholder(const std::string& archive, mode_t& mask) {
  struct stat ast {};
  if (::lstat(archive.c_str(), &ast) != 0 || !S_ISREG(ast.st_mode) || ast.st_size != 0 ||
      ::unlink(archive.c_str()) != 0)
    return false;
  mask = static_cast<mode_t>(~ast.st_mode & ACCESSPERMS);
  return true;
}

// The members to pack: update and freshen leave out what the archive holds in the same or a
// newer version, and freshen what it does not hold at all.
std::vector<const Member*> Choose(zip_t* za, const std::vector<Member>& members,
                                  const PackRequest& r) {
  std::vector<const Member*> chosen;
  for (const auto& m : members) {
    const zip_int64_t existing = zip_name_locate(za, m.stored.c_str(), 0);
    if (r.update || r.freshen) {
      if (existing < 0 && r.freshen) continue;
      if (existing >= 0) {
        zip_stat_t zs;
        if (zip_stat_index(za, static_cast<zip_uint64_t>(existing), 0, &zs) == 0 &&
            (zs.valid & ZIP_STAT_MTIME) && zs.mtime >= m.st.st_mtime)
          continue;
      }
    }
    chosen.push_back(&m);
  }
  return chosen;
}

// Tells the caller how many files and bytes the batch packs; true when it stops there.
bool Announce(const std::vector<const Member*>& chosen, CallbackReporter& rep) {
  std::int64_t total = 0;
  for (const Member* m : chosen)
    if (!m->folder) total += m->st.st_size;
  const auto files =
      std::count_if(chosen.begin(), chosen.end(), [](const Member* m) { return !m->folder; });
  return rep.Progress(kActFileCount, files, "") || rep.Progress(kActSizeTotal, total, "");
}

// Method, times and Unix mode of a member just added.
void DescribeMember(zip_t* za, zip_uint64_t i, const Member& m, int level) {
  zip_set_file_compression(za, i, level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                           static_cast<zip_uint32_t>(level));
  zip_file_set_mtime(za, i, m.st.st_mtime, 0);
  AddTimestampField(za, i, m.st);
  const auto mode = static_cast<zip_uint32_t>((m.st.st_mode & ACCESSPERMS) | S_IFREG);
  zip_file_set_external_attributes(za, i, 0, ZIP_OPSYS_UNIX, mode << pz::zipfmt::kUnixModeShift);
}

enum class Added { Yes, No, Stop };

// Adds one member; its data is read when the archive is written. Stop when the batch ends here.
Added AddMember(zip_t* za, Job& job, const Member& m, const PackRequest& r) {
  CallbackReporter& rep = *job.rep;
  if (m.folder) {
    if (zip_name_locate(za, m.stored.c_str(), 0) < 0 &&
        zip_dir_add(za, m.stored.c_str(), ZIP_FL_ENC_UTF_8) < 0)
      rep.Message(pz::unpack::kErrPack, "Cannot add " + m.stored);
    return Added::No;
  }
  auto source = std::make_unique<FileSource>(&job, m, r.level);
  zip_source_t* src = zip_source_function(za, SourceCallback, source.get());
  if (src == nullptr) return Added::No;
  static_cast<void>(source.release());  // libzip frees it with the source
  const zip_int64_t idx =
      zip_file_add(za, m.stored.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (idx < 0) {
    zip_source_free(src);
    rep.Message(pz::unpack::kErrPack, "Cannot add " + m.stored);
    return Added::No;
  }
  const auto i = static_cast<zip_uint64_t>(idx);
  DescribeMember(za, i, m, r.level);
  if (r.encrypt) {
    const zip_uint16_t method =
        zip_encryption_method_supported(ZIP_EM_AES_256, 1) ? ZIP_EM_AES_256 : ZIP_EM_TRAD_PKWARE;
    if (zip_file_set_encryption(za, i, method, r.password.c_str()) != 0) {
      rep.Message(pz::unpack::kErrPassword, "Encryption not available");
      return Added::Stop;
    }
  }
  if (r.verbose && rep.Message(0, "adding: " + m.stored)) return Added::Stop;
  return Added::Yes;
}

// Writes the archive (the members' data is read now) and puts back what stood in front of it.
bool Commit(pz::ZipHandle& za, const Job& job, const std::string& archive,
            const std::string& prefix, bool placeholder) {
  CallbackReporter& rep = *job.rep;
  mode_t narrow = 0;
  const bool dropped = placeholder && DropPlaceholder(archive, narrow);
  const mode_t mask = ::umask(0);
  ::umask(dropped ? mask | narrow : mask);
  bool committed = false;
  {
    const pz::ScopeGuard restoreMask([mask] { ::umask(mask); });
    committed = za.Commit();
  }
  if (!committed) {
    const std::string why = job.cancelled ? "Cancelled" : ZipErrorText(zip_get_error(za.get()));
    za.reset();
    rep.Message(job.cancelled ? pz::unpack::kErrCancelled : pz::unpack::kErrPack,
                "Cannot write archive " + archive + ": " + why);
    return false;
  }
  if (!prefix.empty() && !RestorePrefix(archive, prefix)) {
    rep.Message(pz::unpack::kErrPack, "Cannot put back the data in front of " + archive);
    return false;
  }
  return true;
}

void DateArchive(const std::string& archive, const std::vector<const Member*>& chosen) {
  if (chosen.empty()) return;
  time_t newest = 0;
  for (const Member* m : chosen) newest = std::max(newest, m->st.st_mtime);
  struct timespec times[2] = {{newest, 0}, {newest, 0}};
  ::utimensat(AT_FDCWD, archive.c_str(), times, 0);
}

int Pack(const ZipBlockNew& block, const std::vector<std::string>& specs) {
  const ZipBlockHead& h = block.head;
  CallbackReporter rep(h.callback, h.caller);
  if (h.version != kZipInterfaceVersion || h.archive == 0) {
    rep.Message(pz::unpack::kErrPack, "Unknown command block");
    return 0;
  }
  const PackRequest r = ReadRequest(h);
  const std::vector<Member> members = CollectMembers(specs, r.collect, rep);
  std::string prefix;
  if (!ReadPrefix(r.archive, prefix, rep)) return 0;
  Job job{&rep};  // outlives the archive, whose sources report through it
  bool placeholder = false;
  pz::ZipHandle za = OpenArchive(r.archive, rep, placeholder);
  if (!za.valid()) return 0;
  if (r.encrypt && r.password.empty()) {
    rep.Message(pz::unpack::kErrPassword, "No password for encryption");
    return 0;
  }
  const std::vector<const Member*> chosen = Choose(za.get(), members, r);
  if (Announce(chosen, rep)) return 0;

  int added = 0;
  std::vector<std::string> moveAfter;
  for (const Member* m : chosen) {
    const Added a = AddMember(za.get(), job, *m, r);
    if (a == Added::Stop) return 0;
    if (a == Added::No) continue;
    ++added;
    if (r.move) moveAfter.push_back(m->path);
  }
  if (!Commit(za, job, r.archive, prefix, placeholder)) return 0;
  for (const auto& p : moveAfter) ::unlink(p.c_str());
  if (r.zipTime) DateArchive(r.archive, chosen);
  rep.Progress(kActBatchDone, 0, "");
  return added;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) std::int32_t GetZipEngVersion() {
  return kEngineVersion;
}

__attribute__((visibility("default"))) std::int32_t ZipEngExec(void* block) {
  if (block == nullptr) return 0;
  try {
    const auto& b = *static_cast<const ZipBlockNew*>(block);
    std::vector<std::string> specs;
    const auto* records = reinterpret_cast<const ZipSpec*>(b.specArray);
    for (std::int32_t i = 0; records != nullptr && i < b.head.count; ++i)
      if (records[i].fileSpec != 0)
        specs.emplace_back(reinterpret_cast<const char*>(records[i].fileSpec));
    return Pack(b, specs);
  } catch (...) {
    return 0;  // nothing unwinds into the caller
  }
}

}  // extern "C"
