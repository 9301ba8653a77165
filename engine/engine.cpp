#include "engine/engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <fstream>
#include <set>
#include <sstream>
#include <stop_token>
#include <thread>

#include "crypt/age.h"
#include "engine/checksum.h"
#include "engine/decryptwriter.h"
#include "engine/filecopy.h"
#include "engine/header.h"
#include "engine/partialfile.h"
#include "engine/segments.h"
#include "lang/codepage.h"
#include "lang/textblocks.h"
#include "platform/os.h"

namespace pz {

namespace {

std::string Quoted(const std::string& path) {
  return " \"" + path + "\"";
}

// Names in quotes, one after the other.
std::string NameList(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += Quoted(name);
  return out;
}

std::string ErrnoText(int err) {
  return std::strerror(err);
}

[[noreturn]] void Fail(const EngineContext& ctx, tb::Block block, const std::string& path,
                       int err) {
  std::string text = ctx.Text(block) + Quoted(path);
  if (err != 0) text += ": " + ErrnoText(err);
  throw EngineError(text);
}

// Errors that mean the volume has no more room for this segment.
bool VolumeFull(int err) {
  return err == ENOSPC || err == EFBIG || err == EDQUOT;
}

// The size of an open file; kSizeUnknown when it cannot be had.
constexpr std::int64_t kSizeUnknown = -1;
std::int64_t OpenSize(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return kSizeUnknown;
  return st.st_size;
}

// Hands a run of the source to the hasher for a; b (unless null) gets only what lies past
// *bFrom, so the bytes of a segment written again after a failure reach it once.
void HashRun(RangeHasher& hasher, int in, std::int64_t offset, std::int64_t length, Sha256* a,
             Sha256* b, std::int64_t* bFrom) {
  const std::int64_t end = offset + length;
  const std::int64_t fresh = b != nullptr ? std::clamp(*bFrom, offset, end) : end;
  hasher.Add(in, offset, fresh - offset, a, nullptr);
  hasher.Add(in, fresh, end - fresh, a, b);
  if (b != nullptr) *bFrom = std::max(*bFrom, end);
}

// Copies like CopyBytes and hands every run the kernel has copied to the hasher, which reads it
// back from the page cache. The caller drains the hasher before using a hash.
CopyResult CopyAndHash(int in, std::int64_t* offset, int out, std::int64_t count,
                       RangeHasher& hasher, Sha256* a, Sha256* b, std::int64_t* bFrom,
                       const std::function<void(std::int64_t)>& progress) {
  const std::int64_t start = *offset;
  std::int64_t hashed = 0;
  const CopyResult r = CopyBytes(in, offset, out, count, [&](std::int64_t n) {
    HashRun(hasher, in, start + hashed, n - hashed, a, b, bFrom);
    hashed = n;
    if (progress) progress(n);
  });
  HashRun(hasher, in, start + hashed, r.copied - hashed, a, b, bFrom);
  return r;
}

// A new segment file, made exclusively so that nothing standing under its name is written
// through: a symbolic link planted there (a shared folder, a prepared stick) or a second name
// of another file is removed first and the segment made in its place. A link that cannot be
// removed stops the split; a file that cannot be removed is truncated, links never followed.
// Open for reading too: an encrypted segment is hashed from what was written.
FileHandle CreateSegmentFile(const std::string& path, EngineContext& ctx) {
  constexpr int kAttempts = 3;  // something keeps putting a file there: give up
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    FileHandle out(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (out.valid() || errno != EEXIST) return out;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;  // gone meanwhile
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return out;
    }
    const bool link = S_ISLNK(st.st_mode);
    if (::unlink(path.c_str()) != 0) {
      if (link) Fail(ctx, tb::kSegmentLinkKept, path, errno);
      return FileHandle(::open(path.c_str(), O_RDWR | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
    }
    if (link)
      ctx.ui.ShowMessage(ctx.Text(tb::kSegmentLinkReplaced) + Quoted(path), MsgIcon::Warning);
  }
  errno = EEXIST;
  return FileHandle();
}

// The split's checksums: one line per segment file as written, one for the file that was split.
class SplitChecksums {
 public:
  SplitChecksums(const SplitJob& job, EngineContext& ctx) : job_(job), ctx_(ctx) {}

  // A checksum file of the same set name in a folder that receives a new segment is outdated.
  void ClearStale(const std::string& folder) {
    if (!cleared_.insert(folder).second) return;
    const std::string stale = JoinPath(folder, ChecksumFileName(job_.zielName));
    if (FileExists(stale) && !SameFile(stale, job_.quelle) && !SameFile(stale, job_.quellName))
      DeleteFile(stale);
  }
  // An encrypted set lists its segments only: the hash of the plain file would confirm any guess
  // of its content.
  void SegmentLinesOnly() { segmentLinesOnly_ = true; }
  void Add(const std::string& segment, const std::string& hex) {
    lines_.emplace_back(FileNamePart(segment), hex);
  }
  // A packed split cuts an archive; the line for the file is that of the file itself, hashed
  // on a thread of its own while the archive is cut.
  void StartWholeFile() {
    if (!job_.komprimiert || segmentLinesOnly_) return;
    whole_ = std::jthread([this](const std::stop_token& stop) {
      wholeHex_ = HashFile(job_.quellName, stop);
      wholeError_ = wholeHex_ ? 0 : errno;
    });
  }

  // Beside the last segment. A failure costs the later check, not the split: a warning.
  void Write(const std::string& folder, const Sha256& data) {
    const std::string path = JoinPath(folder, ChecksumFileName(job_.zielName));
    if (whole_.joinable()) whole_.join();
    const bool listWhole = !segmentLinesOnly_;
    const std::optional<std::string> whole =
        !listWhole ? std::nullopt : (job_.komprimiert ? wholeHex_ : data.Hex());
    int err = listWhole && job_.komprimiert ? wholeError_ : 0;
    if ((whole || !listWhole) && !SameFile(path, job_.quelle) && !SameFile(path, job_.quellName)) {
      if (whole) lines_.emplace_back(FileNamePart(job_.quellName), *whole);
      if (WriteChecksumFile(path, lines_)) return;
      err = errno;
    }
    std::string text = ctx_.Text(tb::kChecksumWriteFailed) + Quoted(path);
    if (err != 0) text += ": " + ErrnoText(err);
    Refuse(ctx_.ui, text, MsgIcon::Warning);
  }

 private:
  const SplitJob& job_;
  EngineContext& ctx_;
  std::set<std::string> cleared_;
  std::vector<std::pair<std::string, std::string>> lines_;
  std::optional<std::string> wholeHex_;
  int wholeError_ = 0;
  bool segmentLinesOnly_ = false;
  std::jthread whole_;  // last: stopped and joined before what it writes goes
};

// Copies the joiner page into the folder of the checksum file. A failure costs the recipient the
// page, not the split: a warning.
void WriteJoinerPage(const std::string& page, const std::string& folder, EngineContext& ctx) {
  const std::string path = JoinPath(folder, FileNamePart(page));
  std::ifstream in(page, std::ios::binary);
  std::ostringstream read;
  read << in.rdbuf();
  const std::string bytes = read.str();
  int err = in.is_open() && read && !bytes.empty() ? 0 : ENOENT;
  if (err == 0) {
    PartialFile file = PartialFile::Create(path);
    if (file.valid() && WriteAll(file.fd(), bytes.data(), bytes.size()) && file.Commit()) {
      ctx.ui.ShowMessage(ctx.Text(tb::kJoinerWritten) + Quoted(path), MsgIcon::Information);
      return;
    }
    err = errno;
  }
  Refuse(ctx.ui, ctx.Text(tb::kJoinerWriteFailed) + Quoted(path) + ": " + ErrnoText(err),
         MsgIcon::Warning);
}

}  // namespace

EngineContext::EngineContext(Interaction& u, const TextSource& t, std::string pfad)
    : ui(u),
      texts(t),
      programmPfad(std::move(pfad)),
      freeSpace(FreeSpace),
      largestFile(LargestFileSize) {}

std::string EngineContext::TempArchive() const {
  return tempArchive.empty() ? TempArchivPfad(programmPfad) : tempArchive;
}

bool AskForSegment(std::string& path, Interaction& ui) {
  while (!FileExists(path)) {
    std::string confirmed = path;
    if (ui.Datentraeger_Anfordern(confirmed) != Interaction::kOk) return false;
    // A folder is where to look for the segment asked for.
    if (FolderExists(confirmed)) {
      while (confirmed.size() > 1 && confirmed.back() == '/') confirmed.pop_back();
      confirmed = JoinPath(confirmed, FileNamePart(path));
    }
    path = SegmentFinden(confirmed);
  }
  return true;
}

std::int64_t Dateigroesse_Ermitteln(const std::string& path, EngineContext& ctx) {
  FileHandle f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (f.valid() && fstat(f.get(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_size;
  ctx.ui.ShowMessage(ctx.Text(tb::kSizeUnreadable1) + " \"" + FileNamePart(path) + "\" " +
                         ctx.Text(tb::kSizeUnreadable2) + ctx.Text(tb::kSizeUnreadable3),
                     MsgIcon::Error);
  return 0;
}

namespace {

// One split: the header, then segment after segment, each on the volume the user confirms.
class Splitter {
 public:
  Splitter(const SplitJob& job, EngineContext& ctx, SplitReport& report)
      : job_(job), ctx_(ctx), report_(report), folder_(job.zielPfad), sums_(job, ctx) {}

  // After a stop: the segments of this run are no set that can be joined, so they go. The lines
  // that say which went, and which stay because they could not.
  std::string RemoveWritten() {
    std::vector<std::string> removed;
    std::vector<std::string> kept;
    for (const std::string& path : written_)
      (DeleteFile(path) || !FileExists(path) ? removed : kept).push_back(path);
    written_.clear();
    std::string text;
    if (!removed.empty()) text += "\n" + ctx_.Text(tb::kSplitSegmentsRemoved) + NameList(removed);
    if (!kept.empty()) text += "\n" + ctx_.Text(tb::kSplitSegmentsKept) + NameList(kept);
    return text;
  }

  bool Run() {
    size_ = Dateigroesse_Ermitteln(job_.quelle, ctx_);
    if (!BuildHeader()) return false;
    sums_.StartWholeFile();
    in_ = FileHandle(::open(job_.quelle.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in_.valid()) Fail(ctx_, tb::kReadFailed, job_.quelle, errno);
    // What the segments hold: the file, or the age file that encrypts it.
    if (encryptor_) sealed_.emplace(*encryptor_, in_.get(), size_);
    stream_ = sealed_ ? sealed_->size() : size_;
    remaining_ = stream_;
    if (!CutSegments()) return false;
    CollectHashes(true);
    WriteRecoveryFiles();
    sums_.Write(folder_, data_);
    if (!ctx_.joinerPage.empty()) WriteJoinerPage(ctx_.joinerPage, folder_, ctx_);
    return true;
  }

 private:
  // What a segment file got; its data is counted only when it was written whole.
  struct Written {
    bool ok = false;
    std::int64_t copied = 0;
  };

  // A segment's hash while the hasher may still work on it.
  struct OwedHash {
    std::string segment;  // empty once the segment failed: the hash is then of no use
    Sha256 hash;
    std::int64_t end = 0;  // the hasher's Added() once the segment's last run was queued
    FileHandle readBack;   // an encrypted segment, which the hasher reads back from
  };

  // Refuses what the format cannot hold before anything is asked, written or deleted.
  bool BuildHeader() {
    if (!job_.automatisch && job_.trennGroesse <= static_cast<std::int64_t>(kHeaderSize))
      return Refuse(ctx_.ui, ctx_.Text(tb::kSegmentSizeTooSmall), MsgIcon::Error);
    std::string passphrase;
    const ScopeGuard wipe([&] { age::Wipe(passphrase); });
    try {
      passphrase = Header_Aufbauen(
          header_, size_,
          {FileNamePart(job_.quellName), job_.komprimiert, job_.passwort, ctx_.workFactor},
          ctx_.ui);
    } catch (const HeaderError& e) {
      return Refuse(ctx_.ui,
                    ctx_.Text(e.kind() == HeaderError::Kind::NameTooLong ? tb::kNameTooLong
                                                                         : tb::kPasswordTooLong),
                    MsgIcon::Error);
    }
    if (!passphrase.empty()) {
      encryptor_ = std::make_unique<age::Encryptor>(passphrase, ctx_.workFactor);
      sums_.SegmentLinesOnly();
    }
    return true;
  }

  bool CutSegments() {
    bool firstDone = false;  // an empty source still gets its header-only first segment
    for (std::int64_t i = 1; remaining_ > 0 || !firstDone;) {
      if (i - 1 > kLastSegmentNumber) throw EngineError(ctx_.Text(tb::kSplitFailed));
      const bool first = i == 1;
      const std::int64_t payload = std::min(Room(first), remaining_);
      const std::string segment =
          SegmentDateiPfad(folder_, job_.zielName, static_cast<std::uint16_t>(i - 1));
      // Truncating a segment file that is the source would destroy the data being cut.
      if (SameFile(segment, job_.quelle) || SameFile(segment, job_.quellName))
        return Refuse(ctx_.ui, ctx_.Text(tb::kSegmentIsSource) + Quoted(segment), MsgIcon::Error);

      const Written w = WriteSegment(segment, first, payload);
      if (w.ok) std::erase(report_.leftPieces, segment);  // written again in full where it was
      if (!w.ok) {
        // The same segment is written again in full on the confirmed volume.
        if (!AnotherVolumeAfterFailure(segment)) return false;
        continue;
      }
      remaining_ -= w.copied;
      firstDone = true;
      CollectHashes(false);
      segments_.push_back(segment);
      if (job_.automatisch && remaining_ > 0 && w.copied > 0 && !NextVolume()) return false;
      ++i;
    }
    return true;
  }

  // Beside the checksum file, which lists them too.
  void WriteRecoveryFiles() {
    if (job_.recoveryPercent <= 0) return;
    for (const std::string& path :
         WriteRecovery(segments_, folder_, job_.zielName, job_.recoveryPercent, ctx_)) {
      if (const auto hex = HashFile(path)) sums_.Add(path, *hex);
    }
  }

  // The data the next segment may take: what the volume holds in the automatic mode, else the
  // segment size; the first segment holds the header as well.
  std::int64_t Room(bool first) const {
    std::int64_t room = job_.trennGroesse;
    if (job_.automatisch) {
      // A FAT volume with room for more still takes no file past 4 GiB - 1.
      room =
          HasDrivePart(folder_) ? std::min(ctx_.freeSpace(folder_), ctx_.largestFile(folder_)) : 0;
    }
    return first ? room - static_cast<std::int64_t>(kHeaderSize) : room;
  }

  // Writes one segment file, whose hash the hasher takes on while the next is copied. One that
  // fails counts nothing: the source position is as before it.
  Written WriteSegment(const std::string& segment, bool first, std::int64_t payload) {
    sums_.ClearStale(folder_);
    FileHandle out = CreateSegmentFile(segment, ctx_);
    if (!out.valid()) Fail(ctx_, tb::kSegmentCreateFailed, segment, errno);
    // A split stopped in the middle of this segment (a failure, Cancel, a signal) leaves no part
    // of it under a segment's name.
    ScopeGuard unfinished([&segment] { DeleteFile(segment); });
    if (std::find(written_.begin(), written_.end(), segment) == written_.end())
      written_.push_back(segment);

    OwedHash& owed = owed_.emplace_back();
    owed.segment = segment;
    if (first) owed.hash.Update(header_.data(), header_.size());
    Written w;
    bool failed = first && !WriteHeader(out.get(), segment);
    if (!failed && remaining_ > 0 && payload <= 0) failed = true;  // no room at all
    if (!failed && payload > 0) failed = !CopyPayload(out.get(), payload, owed, w.copied);
    // A volume is swapped after each segment in the automatic mode: the data must be on it.
    if (!failed && job_.automatisch && ::fsync(out.get()) != 0) failed = true;
    if (!failed && !out.Close()) failed = true;
    owed.end = hasher_.Added();
    unfinished.Dismiss();  // a failed copy is the volume prompt's business
    if (failed) {
      position_ -= w.copied;
      owed.segment.clear();
      return w;
    }
    w.ok = true;
    return w;
  }

  // Takes the lines of the segments that the hasher is done with, oldest first; with all, waits
  // for every one of them.
  void CollectHashes(bool all) {
    int err = 0;
    if (all && !hasher_.Drain(&err)) Fail(ctx_, tb::kReadFailed, job_.quelle, err);
    const std::int64_t hashed = hasher_.Hashed();
    while (!owed_.empty() && owed_.front().end <= hashed) {
      if (!owed_.front().segment.empty())
        sums_.Add(owed_.front().segment, owed_.front().hash.Hex());
      owed_.pop_front();
    }
  }

  // A full volume is the volume prompt's business; anything else ends the split.
  bool WriteHeader(int out, const std::string& segment) {
    if (WriteAll(out, header_.data(), header_.size())) return true;
    if (!VolumeFull(errno)) Fail(ctx_, tb::kSegmentCreateFailed, segment, errno);
    return false;
  }

  // Copies the next payload bytes of the source; false when writing them failed.
  bool CopyPayload(int out, std::int64_t payload, OwedHash& owed, std::int64_t& copied) {
    if (sealed_) return CopySealed(out, payload, owed, copied);
    const std::int64_t done = size_ - remaining_;
    const CopyResult r = CopyAndHash(in_.get(), &position_, out, payload, hasher_, &owed.hash,
                                     job_.komprimiert ? nullptr : &data_, &dataHashed_,
                                     [&](std::int64_t n) { ctx_.ui.Progress(done + n, size_); });
    copied = r.copied;
    if (r.status == CopyResult::Status::ReadError)
      Fail(ctx_, tb::kReadFailed, job_.quelle, r.error);
    if (r.status == CopyResult::Status::ShortSource) Fail(ctx_, tb::kReadFailed, job_.quelle, 0);
    return r.status != CopyResult::Status::WriteError;
  }

  // Encrypts the next payload bytes chunk by chunk into the segment; the hasher reads them back
  // from the segment file (its own descriptor, open until the hash is taken) while the next
  // chunks are sealed.
  bool CopySealed(int out, std::int64_t payload, OwedHash& owed, std::int64_t& copied) {
    const std::int64_t done = stream_ - remaining_;
    std::int64_t sinceReport = 0;
    sealBuffer_.resize(age::kSealedChunkSize);
    owed.readBack = FileHandle(::dup(out));
    const off_t base = ::lseek(out, 0, SEEK_CUR);
    if (!owed.readBack.valid() || base < 0)
      Fail(ctx_, tb::kSegmentCreateFailed, owed.segment, errno);
    while (copied < payload) {
      const std::int64_t n = sealed_->Read(position_, sealBuffer_.data(),
                                           static_cast<std::size_t>(std::min<std::int64_t>(
                                               age::kSealedChunkSize, payload - copied)));
      if (n <= 0) Fail(ctx_, tb::kReadFailed, job_.quelle, n < 0 ? errno : 0);
      if (!WriteAll(out, sealBuffer_.data(), static_cast<std::size_t>(n))) return false;
      hasher_.Add(owed.readBack.get(), base + copied, n, &owed.hash, nullptr);
      position_ += n;
      copied += n;
      if ((sinceReport += n) >= kProgressStep || copied == payload) {
        ctx_.ui.Progress(done + copied, stream_);
        sinceReport = 0;
      }
    }
    return true;
  }

  // After a failed write: the user offers another volume, or cancels and the part segment goes.
  bool AnotherVolumeAfterFailure(const std::string& segment) {
    Refuse(ctx_.ui,
           ctx_.Text(tb::kSegmentWriteFailed1) + "\n" + ctx_.Text(tb::kSegmentWriteFailed2),
           MsgIcon::Error);
    std::string confirmed = folder_;
    if (ctx_.ui.Datentraeger_Anfordern(confirmed) != Interaction::kOk) {
      DeleteFile(segment);
      written_.erase(std::remove(written_.begin(), written_.end(), segment), written_.end());
      ctx_.ui.ShowMessage(ctx_.Text(tb::kSplitCancelled) + NameList(written_),
                          MsgIcon::Information);
      return false;
    }
    // The part on the volume left behind would be read by a join started there.
    if (!DeleteFile(segment) && FileExists(segment)) report_.leftPieces.push_back(segment);
    folder_ = confirmed;
    ctx_.ui.SetBusy(true);  // the split goes on
    return true;
  }

  // The automatic mode asks for the next volume after each full one.
  bool NextVolume() {
    std::string confirmed = folder_;
    if (ctx_.ui.Datentraeger_Anfordern(confirmed) != Interaction::kOk)
      return Refuse(ctx_.ui, ctx_.Text(tb::kSplitCancelled) + NameList(written_),
                    MsgIcon::Information);
    folder_ = confirmed;
    ctx_.ui.Repaint();
    return true;
  }

  const SplitJob& job_;
  EngineContext& ctx_;
  SplitReport& report_;
  std::string folder_;                // where the next segment goes
  std::vector<std::string> written_;  // the segment files this run made, in order
  SplitChecksums sums_;
  std::vector<std::string> segments_;  // written so far
  HeaderBytes header_{};
  FileHandle in_;
  std::unique_ptr<age::Encryptor> encryptor_;  // set for a protected split
  std::optional<age::SealedReader> sealed_;
  std::vector<unsigned char> sealBuffer_;
  std::int64_t size_ = 0;    // of the file to cut
  std::int64_t stream_ = 0;  // of what the segments hold: the file or its age file
  std::int64_t remaining_ = 0;
  std::int64_t position_ = 0;    // where the next payload starts in the stream
  Sha256 data_;                  // the data as cut, for the whole file's line
  std::int64_t dataHashed_ = 0;  // how much of the source data_ has been handed
  std::deque<OwedHash> owed_;    // segments in the order cut, until their hash is taken
  // One hashing thread for the whole split (and one for the whole file's line), so buffers and
  // threads are not made per segment; after the hashes it feeds.
  RangeHasher hasher_;
};

}  // namespace

bool Datei_Trennen(const SplitJob& job, EngineContext& ctx, SplitReport* report) {
  SplitReport local;
  SplitReport& r = report != nullptr ? *report : local;
  r = SplitReport{};
  Splitter splitter(job, ctx, r);
  try {
    return splitter.Run();
  } catch (const EngineStopped& e) {
    throw EngineStopped(e.what() + splitter.RemoveWritten());
  } catch (const age::CryptError& e) {
    throw EngineError(ctx.Text(tb::kEncryptionFailed) + " " + e.what());
  }
}

std::string SplitReportText(const SplitReport& report, const TextSource& texts) {
  std::string text;
  for (const std::string& piece : report.leftPieces)
    text += (text.empty() ? "" : "\n") + texts.GetText(tb::kPartSegmentKept) + Quoted(piece);
  return text;
}

bool Quelle_Loeschen(const std::string& quelle, EngineContext& ctx) {
  if (!FileExists(quelle) || DeleteFile(quelle)) return true;
  const int err = errno;
  ctx.ui.ShowMessage(ctx.Text(tb::kSourceNotDeleted) + Quoted(quelle) + ": " + ErrnoText(err),
                     MsgIcon::Warning);
  return false;
}

HeaderRead ReadSegmentHeader(const std::string& path) {
  HeaderRead r;
  FileHandle f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  HeaderBytes b;
  const ssize_t got = f.valid() ? ::pread(f.get(), b.data(), b.size(), 0) : -1;
  if (got < 0) {
    r.status = HeaderRead::Status::Unreadable;
    r.detail = std::strerror(errno);
  } else if (got != static_cast<ssize_t>(b.size())) {
    r.status = HeaderRead::Status::TooShort;
  } else {
    try {
      r.status = Header_Rekonstruieren(b, r.info) ? HeaderRead::Status::Valid
                                                  : HeaderRead::Status::NoHeader;
    } catch (const HeaderError& e) {
      r.status = HeaderRead::Status::Damaged;
      r.detail = e.what();
    }
  }
  return r;
}

std::string HeaderRefusal(const HeaderRead& read, const std::string& path, const TextSource& texts,
                          std::uint16_t notFirst) {
  switch (read.status) {
    case HeaderRead::Status::Unreadable:
      return texts.GetText(tb::kReadFailed) + Quoted(path) + ": " + read.detail;
    case HeaderRead::Status::Damaged:
      return texts.GetText(tb::kHeaderDamaged) + Quoted(path) + " (" + read.detail + ")";
    default:
      return texts.GetText(notFirst) + Quoted(path);
  }
}

namespace {

// True when the output would be a segment file that the join still has to read.
bool OutputIsSegment(const std::string& output, const std::string& first) {
  if (SameFile(output, first)) return true;
  std::string path = first;
  for (std::uint32_t n = 1; n <= kLastSegmentNumber; ++n) {
    path = SegmentFinden(SegmentPfadAusVorgaenger(path, static_cast<std::uint16_t>(n)));
    if (!FileExists(path)) return false;
    if (SameFile(output, path)) return true;
  }
  return false;
}

// Reads the header of a first segment; false (nothing shown) when the file has none.
bool ReadFirstSegment(const std::string& path, EngineContext& ctx, FileHandle& file,
                      HeaderBytes& header, HeaderInfo& info) {
  file = FileHandle(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) Fail(ctx, tb::kReadFailed, path, errno);
  const ssize_t got = ::pread(file.get(), header.data(), header.size(), 0);
  if (got < 0) Fail(ctx, tb::kReadFailed, path, errno);
  if (got != static_cast<ssize_t>(header.size())) Fail(ctx, tb::kHeaderTooShort, path, 0);
  try {
    return Header_Rekonstruieren(header, info);
  } catch (const HeaderError& e) {
    throw EngineError(ctx.Text(tb::kHeaderDamaged) + Quoted(path) + " (" + e.what() + ")");
  }
}

// Hashes length bytes of fd from offset into a (and into b, unless null).
void HashRange(int fd, std::int64_t offset, std::int64_t length, Sha256& a, Sha256* b,
               const std::string& path, EngineContext& ctx) {
  if (length <= 0) return;
  RangeHasher hasher;
  hasher.Add(fd, offset, length, &a, b);
  int err = 0;
  if (!hasher.Drain(&err)) Fail(ctx, tb::kReadFailed, path, err);
}

// The age header at the start of a set's data; read on into the segments that follow (without
// asking for any) when the first one holds less than the header.
age::HeaderParse ReadAgeHeader(const std::string& ersteSegment, age::ScryptHeader& header,
                               EngineContext& ctx) {
  std::vector<unsigned char> bytes;
  std::string path = ersteSegment;
  for (std::uint32_t n = 0; n <= kLastSegmentNumber; ++n) {
    if (n > 0) path = SegmentPfadAusVorgaenger(path, static_cast<std::uint16_t>(n));
    if (n > 0 && !FileExists(path)) break;
    FileHandle f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!f.valid()) Fail(ctx, tb::kReadFailed, path, errno);
    const std::size_t had = bytes.size();
    bytes.resize(age::kMaxHeaderSize);
    const ssize_t got = ::pread(f.get(), bytes.data() + had, bytes.size() - had,
                                n == 0 ? static_cast<off_t>(kHeaderSize) : 0);
    if (got < 0) Fail(ctx, tb::kReadFailed, path, errno);
    bytes.resize(had + static_cast<std::size_t>(got));
    const age::HeaderParse parsed = age::ParseHeader(bytes.data(), bytes.size(), header);
    if (parsed != age::HeaderParse::NeedMore) return parsed;
  }
  return age::HeaderParse::Malformed;
}

// One join. Writes into a partial file beside the target (or the temporary archive of a packed
// set), checks each segment against the checksum file as it is read back from where it landed,
// and moves the result into place only when everything worked.
class Joiner {
 public:
  // rebuiltIn: where recovery files rebuilt segments, when not beside the others.
  Joiner(const JoinJob& job, EngineContext& ctx, JoinReport& report, std::string rebuiltIn)
      : job_(job),
        ctx_(ctx),
        report_(report),
        target_(JoinPath(job.zielPfad, job.zielName)),
        rebuiltIn_(std::move(rebuiltIn)) {}

  bool Run() {
    if (!ReadFirstSegment(job_.ersteSegment, ctx_, first_, header_, info_)) return false;
    if (!info_.compressed && !job_.ersetzen && PathExists(target_))
      return Refuse(ctx_.Text(tb::kTargetExists) + Quoted(target_), MsgIcon::Error);
    if (!(info_.encrypted ? Unlock() : PasswordMatches())) return false;
    report_.gated = info_.password && !info_.encrypted;
    if (!OpenOutput()) return false;
    check_.emplace(SetNameOfSegment(job_.ersteSegment), PlainFileName(info_.name));
    if (info_.encrypted) check_->SegmentLinesOnly();
    if (!CopySegments()) return false;
    return info_.compressed ? Unpack() : Commit();
  }

 private:
  bool Refuse(const std::string& text, MsgIcon icon) { return pz::Refuse(ctx_.ui, text, icon); }

  // Ends the join on a hash the checksum file contradicts; the closing message names bad.
  bool Contradicted(Verdict verdict, const std::string& bad) {
    report_.verdict = verdict;
    report_.bad = bad;
    ctx_.ui.SetBusy(false);
    return false;
  }

  bool PasswordMatches() {
    const std::string typed = info_.password ? Utf8ToEightBit(ctx_.ui.Passwort2_Abfragen()) : "";
    return typed == info_.passwort || Refuse(ctx_.Text(tb::kWrongPassword), MsgIcon::Error);
  }

  // An encrypted set: its age header, then the passphrase, derived once. A wrong one ends the
  // join before anything is written.
  bool Unlock() {
    age::ScryptHeader header;
    const age::HeaderParse parsed = ReadAgeHeader(job_.ersteSegment, header, ctx_);
    if (parsed == age::HeaderParse::TooCostly)
      return Refuse(ctx_.Text(tb::kWorkFactorTooHigh) + Quoted(job_.ersteSegment), MsgIcon::Error);
    const std::string damaged = ctx_.Text(tb::kEncryptionHeaderDamaged) + Quoted(job_.ersteSegment);
    if (parsed != age::HeaderParse::Complete) return Refuse(damaged, MsgIcon::Error);
    decrypt_ = std::make_unique<age::Decryptor>(std::move(header), info_.dataSize);
    if (!decrypt_->Valid()) return Refuse(damaged, MsgIcon::Error);
    std::string typed = ctx_.ui.Passwort2_Abfragen();
    const ScopeGuard wipe([&] { age::Wipe(typed); });
    if (typed.empty()) return Refuse(ctx_.Text(tb::kWrongPassword), MsgIcon::Error);
    switch (decrypt_->TryPassphrase(typed)) {
      case age::Decryptor::Unlock::Ok:
        return true;
      case age::Decryptor::Unlock::WrongPassphrase:
        return Refuse(ctx_.Text(tb::kWrongPassword), MsgIcon::Error);
      case age::Decryptor::Unlock::HeaderDamaged:
        break;
    }
    return Refuse(damaged, MsgIcon::Error);
  }

  bool OpenOutput() {
    const std::string archive = ctx_.TempArchive();
    const std::string output = info_.compressed ? archive : target_;
    if (OutputIsSegment(output, job_.ersteSegment))
      return Refuse(ctx_.Text(tb::kOutputIsSegment) + Quoted(output), MsgIcon::Error);
    if (info_.compressed) {
      // The temporary archive holds the user's data: readable by the owner only.
      // Read as well: each segment is hashed from where it landed.
      archive_ = FileHandle(::open(archive.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
      if (!archive_.valid()) Fail(ctx_, tb::kOutputCreateFailed, archive, errno);
      ::fchmod(archive_.get(), 0600);
      outFd_ = archive_.get();
      outPath_ = archive;
    } else {
      partial_ = PartialFile::Create(target_);
      if (!partial_.valid()) Fail(ctx_, tb::kOutputCreateFailed, target_, errno);
      report_.partialRemoved = true;
      outFd_ = partial_.fd();
      outPath_ = partial_.path();
    }
    return true;
  }

  // Asks for the segment until it exists; false after Cancel. Segments read so far are judged
  // first, so nobody is asked for a volume of a join that has failed already.
  bool FindSegment(std::string& path) {
    path = SegmentFinden(path);
    if (!FileExists(path) && !rebuiltIn_.empty()) path = Rebuilt(path);
    if (!FileExists(path) && !SettleHashes(0)) return false;
    if (!AskForSegment(path, ctx_.ui))
      return Refuse(ctx_.Text(tb::kJoinCancelled), MsgIcon::Information);
    check_->LookIn(FolderPart(path));
    return true;
  }

  // A segment rebuilt beside the target (its own folder being read-only), or one after it that
  // stands beside the first segment again; path when neither is there.
  std::string Rebuilt(const std::string& path) const {
    for (const std::string& folder : {rebuiltIn_, FolderPart(job_.ersteSegment)}) {
      const std::string there = SegmentFinden(JoinPath(folder, FileNamePart(path)));
      if (FileExists(there)) return there;
    }
    return path;
  }

  bool CopySegments() {
    const std::int64_t firstData = OpenSize(first_.get()) - static_cast<std::int64_t>(kHeaderSize);
    check_->LookIn(FolderPart(job_.ersteSegment));
    std::int64_t written = 0;
    std::string path = job_.ersteSegment;
    for (std::int64_t i = 1; written < info_.dataSize; ++i) {
      // No number follows the last one: wrapping round would read the first segment again.
      if (i - 1 > static_cast<std::int64_t>(kLastSegmentNumber))
        return Refuse(ctx_.Text(tb::kPastLastSegment) + Quoted(path), MsgIcon::Error);
      path = SegmentPfadAusVorgaenger(path, static_cast<std::uint16_t>(i - 1));
      if (!FindSegment(path)) return false;

      FileHandle segment;
      int source = first_.get();
      std::int64_t offset = static_cast<std::int64_t>(kHeaderSize);
      std::int64_t available = firstData;
      if (i > 1) {
        if (!OpenLaterSegment(path, segment)) return false;
        source = segment.get();
        offset = 0;
        available = OpenSize(source);
      }

      // Never more than the header records: surplus bytes mean the segments do not belong
      // together.
      const std::int64_t take = std::min(available, info_.dataSize - written);
      if (decrypt_) {
        if (!DecryptSegment(source, offset, take, path, i == 1, written)) return false;
      } else {
        if (!SettleHashes(hashes_.threads() - 1)) return false;
        hashes_.Begin(path, outFd_, written, header_.data(), i == 1 ? header_.size() : 0);
        written += CopySegment(source, offset, take, path, written);
      }
      if (i == 1) first_.Close();
      if (available > take)
        return Refuse(ctx_.Text(tb::kSegmentsTooLong) + Quoted(path), MsgIcon::Error);
    }
    return SettleHashes(0) && (decrypt_ || OutputEndsAt(written)) &&
           HeaderOnlySetMatches(firstData);
  }

  // One segment of an encrypted set: read and hashed here, decrypted and written by the writer
  // on its thread. A chunk that begins in this segment and ends in the next is judged with the
  // next; this segment's line is judged first.
  bool DecryptSegment(int source, std::int64_t offset, std::int64_t take, const std::string& path,
                      bool first, std::int64_t& written) {
    if (!writer_) writer_.emplace(*decrypt_, outFd_);
    Sha256 hash;
    if (first) hash.Update(header_.data(), header_.size());
    ReadForDecryption(source, offset, take, path, written, hash);
    const DecryptWriter::Result result = writer_->Drain();
    if (result.status == DecryptWriter::Status::WriteFailed)
      Fail(ctx_, tb::kOutputWriteFailed, outPath_, result.error);
    written += take;
    if (result.status != DecryptWriter::Status::Ok ||
        (written == info_.dataSize && !decrypt_->Complete()))
      ChunkDamaged(path);
    return SegmentMatches(path, hash);
  }

  // Judges the segments hashed so far, oldest first, until at most keep are still owed.
  bool SettleHashes(std::size_t keep) {
    while (hashes_.owed() > keep) {
      const SegmentHashes::Done done = hashes_.Oldest();
      if (done.error != 0) Fail(ctx_, tb::kReadFailed, outPath_, done.error);
      if (!check_->Segment(SegmentNameWieGeschrieben(FileNamePart(done.name)), done.hex))
        return Mismatch(done.name);
    }
    return true;
  }

  // A segment read back wrong from the joined file is damaged, or the copy put it in the wrong
  // place: the segment file itself, read once more, tells which.
  bool Mismatch(const std::string& path) {
    const std::string bad = check_->bad();
    if (bad == SegmentNameWieGeschrieben(FileNamePart(path))) {
      const std::optional<std::string> own = HashFile(path);
      const std::string* listed = check_->Listed(bad);
      if (own && listed != nullptr && *own == *listed)
        return Contradicted(Verdict::WholeDiffers, info_.compressed ? outPath_ : target_);
    }
    return Contradicted(Verdict::SegmentDiffers, bad);
  }

  // Every segment was hashed where it belongs; nothing may stand beyond the last of them.
  bool OutputEndsAt(std::int64_t written) {
    const std::int64_t size = OpenSize(outFd_);
    if (size == kSizeUnknown) Fail(ctx_, tb::kReadFailed, outPath_, errno);
    return size == written ||
           Contradicted(Verdict::WholeDiffers, info_.compressed ? outPath_ : target_);
  }

  // A segment after the first, which must not be the output being written.
  bool OpenLaterSegment(const std::string& path, FileHandle& segment) {
    if (SameFile(path, outPath_) || SameFile(path, target_))
      return Refuse(ctx_.Text(tb::kOutputIsSegment) + Quoted(path), MsgIcon::Error);
    segment = FileHandle(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!segment.valid()) Fail(ctx_, tb::kReadFailed, path, errno);
    return true;
  }

  // A set of no data is its first segment with the header alone, which the copy never reads.
  bool HeaderOnlySetMatches(std::int64_t firstData) {
    if (info_.dataSize != 0) return true;
    if (firstData > 0)
      return Refuse(ctx_.Text(tb::kSegmentsTooLong) + Quoted(job_.ersteSegment), MsgIcon::Error);
    Sha256 hash;
    hash.Update(header_.data(), header_.size());
    return SegmentMatches(job_.ersteSegment, hash);
  }

  // Copies one segment's data to the end of the output and has every run that the kernel has
  // copied hashed from the output; the bytes copied.
  std::int64_t CopySegment(int source, std::int64_t offset, std::int64_t take,
                           const std::string& path, std::int64_t before) {
    std::int64_t landed = 0;
    const CopyResult r = CopyBytes(source, &offset, outFd_, take, [&](std::int64_t n) {
      hashes_.Add(n - landed);
      landed = n;
      ctx_.ui.Progress(before + n, info_.dataSize);
    });
    hashes_.Add(r.copied - landed);
    if (r.status == CopyResult::Status::ReadError) Fail(ctx_, tb::kReadFailed, path, r.error);
    if (r.status == CopyResult::Status::ShortSource) Fail(ctx_, tb::kReadFailed, path, 0);
    if (r.status == CopyResult::Status::WriteError)
      Fail(ctx_, tb::kOutputWriteFailed, outPath_, r.error);
    return r.copied;
  }

  // Reads one segment's part of the age file, hashing it and handing it on to the writer.
  void ReadForDecryption(int source, std::int64_t offset, std::int64_t take,
                         const std::string& path, std::int64_t before, Sha256& hash) {
    std::int64_t done = 0;
    while (done < take) {
      std::vector<unsigned char>& buffer = writer_->Next();
      const auto want = static_cast<std::size_t>(
          std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), take - done));
      const ssize_t n = ReadAt(source, buffer.data(), want, offset + done);
      if (n <= 0) Fail(ctx_, tb::kReadFailed, path, n < 0 ? errno : 0);
      hash.Update(buffer.data(), static_cast<std::size_t>(n));
      writer_->Queue(static_cast<std::size_t>(n));
      done += n;
      ctx_.ui.Progress(before + done, info_.dataSize);
    }
  }

  // A chunk that does not authenticate: the segment is damaged, which recovery files may mend.
  [[noreturn]] void ChunkDamaged(const std::string& path) {
    report_.chunkDamaged = true;
    Fail(ctx_, tb::kChunkDamaged, path, 0);
  }

  bool SegmentMatches(const std::string& path, const Sha256& hash) {
    return check_->Segment(SegmentNameWieGeschrieben(FileNamePart(path)), hash.Hex()) ||
           Contradicted(Verdict::SegmentDiffers, check_->bad());
  }

  bool Commit() {
    report_.verdict = check_->FinishFromSegments();
    report_.account = check_->Account(true);
    if (!partial_.Commit()) Fail(ctx_, tb::kOutputWriteFailed, target_, errno);
    report_.partialRemoved = false;
    return true;
  }

  bool Unpack() {
    if (!archive_.Close()) Fail(ctx_, tb::kOutputWriteFailed, outPath_, errno);
    // The member comes back under its stored name, whatever the target name: neither may stand.
    const std::string unpacked = JoinPath(job_.zielPfad, PlainFileName(info_.name));
    for (const std::string& path : {target_, unpacked}) {
      if (PathExists(path))
        return Refuse(ctx_.Text(tb::kUnpackTargetExists) + Quoted(path), MsgIcon::Error);
    }
    if (!ctx_.dekomprimieren) return Refuse(ctx_.Text(tb::kUnpackFailed), MsgIcon::Warning);
    if (!ctx_.dekomprimieren(outPath_, job_.zielPfad, PlainFileName(info_.name))) return false;
    // The line of a packed set is that of the file that was packed: checked once it is back.
    report_.verdict = check_->Finish(HashFile(unpacked));
    report_.account = check_->Account(true);
    if (report_.verdict != Verdict::WholeDiffers) return true;
    report_.partialRemoved = DeleteFile(unpacked);
    return Contradicted(report_.verdict, unpacked);
  }

  const JoinJob& job_;
  EngineContext& ctx_;
  JoinReport& report_;
  const std::string target_;
  const std::string rebuiltIn_;
  FileHandle first_;
  HeaderBytes header_{};
  HeaderInfo info_;
  PartialFile partial_;
  FileHandle archive_;
  int outFd_ = -1;
  std::string outPath_;
  std::optional<SetCheck> check_;
  std::unique_ptr<age::Decryptor> decrypt_;  // set for an encrypted set, once unlocked
  // An encrypted set's second thread, once started; after the decryptor and the output it
  // uses, so that it stops before they go.
  std::optional<DecryptWriter> writer_;
  // After the output it reads: its threads stop before the file closes.
  SegmentHashes hashes_;
};

}  // namespace

namespace {

bool JoinOnce(const JoinJob& job, EngineContext& ctx, JoinReport& r, const std::string& rebuiltIn) {
  try {
    try {
      return Joiner(job, ctx, r, rebuiltIn).Run();
    } catch (const age::CryptError& e) {
      throw EngineError(ctx.Text(tb::kEncryptionFailed) + " " + e.what());
    }
  } catch (const EngineError& e) {
    // The partial file went with the joiner; the message says so.
    if (!r.partialRemoved) throw;
    const std::string text = std::string(e.what()) + "\n" + ctx.Text(tb::kJoinResultRemoved);
    if (dynamic_cast<const EngineStopped*>(&e) != nullptr) throw EngineStopped(text);
    throw EngineError(text);
  }
}

}  // namespace

bool Trennsegmente_Zusammenfuehren(const JoinJob& job, EngineContext& ctx, JoinReport* report) {
  JoinReport local;
  JoinReport& r = report != nullptr ? *report : local;
  r = JoinReport{};
  // A missing segment, or a first one without a valid header, is rebuilt before the join asks
  // for it; a damaged one is found by its hash during the join, rebuilt, and the join runs again.
  const bool headerValid = ReadSegmentHeader(job.ersteSegment).status == HeaderRead::Status::Valid;
  RepairResult repair =
      UseRecovery(job.ersteSegment, job.zielPfad,
                  headerValid ? RepairMode::RepairIfShort : RepairMode::Repair, ctx);
  const bool mayRepair = repair.present && repair.rebuilt.empty();
  bool ok = false;
  std::exception_ptr damaged;  // an encrypted chunk that did not authenticate
  try {
    ok = JoinOnce(job, ctx, r, repair.folder);
  } catch (const EngineError&) {
    if (!r.chunkDamaged || !mayRepair) throw;
    damaged = std::current_exception();
  }
  if ((damaged || (!ok && r.verdict == Verdict::SegmentDiffers)) && mayRepair) {
    repair = UseRecovery(job.ersteSegment, job.zielPfad, RepairMode::Repair, ctx);
    if (repair.rebuilt.empty() && damaged) std::rethrow_exception(damaged);
    if (!repair.rebuilt.empty()) {
      r = JoinReport{};
      ok = JoinOnce(job, ctx, r, repair.folder);
    }
  }
  r.repair = repair;
  return ok;
}

int EncryptionWorkFactor(const std::string& ersteSegment, EngineContext& ctx) {
  age::ScryptHeader header;
  const age::HeaderParse parsed = ReadAgeHeader(ersteSegment, header, ctx);
  const bool known = parsed == age::HeaderParse::Complete || parsed == age::HeaderParse::TooCostly;
  return known ? header.workFactor : 0;
}

std::string JoinReportText(const JoinReport& report, bool done, const TextSource& texts) {
  std::string text;
  auto add = [&](const std::string& line) { text += (text.empty() ? "" : "\n") + line; };
  switch (report.verdict) {
    case Verdict::Verified:
      if (done) add(texts.GetText(tb::kJoinVerified));
      break;
    case Verdict::NoChecksumFile:
      if (done) add(texts.GetText(tb::kJoinNotVerified));
      break;
    case Verdict::Incomplete:
      if (done) add(texts.GetText(tb::kJoinPartlyVerified));
      break;
    case Verdict::SegmentDiffers:
      add(texts.GetText(tb::kSegmentHashDiffers) + Quoted(report.bad));
      break;
    case Verdict::WholeDiffers:
      add(texts.GetText(tb::kWholeHashDiffers) + Quoted(report.bad));
      break;
  }
  if (done && report.verdict != Verdict::NoChecksumFile) {
    const std::string account = CheckAccountText(report.account, texts);
    if (!account.empty()) add(account);
  }
  if (done && report.gated) add(texts.GetText(tb::kGatedOnly));
  if (!done && report.partialRemoved) add(texts.GetText(tb::kJoinResultRemoved));
  if (const std::string repair = RepairText(report.repair, RepairMode::RepairIfShort, texts);
      !repair.empty())
    add(repair);
  return text;
}

namespace {

// The lines about the whole file's line; nothing when all else was confirmed too.
void WholeFileLines(const CheckAccount& a, std::vector<tb::Block>& blocks) {
  using Whole = CheckAccount::Whole;
  if (a.whole == Whole::NotListed) blocks.push_back(tb::kCheckWholeNotListed);
  if (a.whole == Whole::NotChecked) blocks.push_back(tb::kCheckWholeUnreadable);
  if (a.whole == Whole::Later) blocks.push_back(tb::kCheckWholeLater);
  if (a.whole == Whole::Matched && a.verdict == Verdict::Incomplete)
    blocks.push_back(tb::kCheckWholeMatched);
}

}  // namespace

std::string CheckAccountText(const CheckAccount& a, const TextSource& texts) {
  std::vector<std::string> lines;
  auto add = [&](tb::Block b, const std::string& tail) {
    lines.push_back(texts.GetText(b) + tail);
  };
  if (!a.readError.empty()) {
    add(tb::kCheckFileUnreadable, Quoted(a.checksumPath) + ": " + a.readError);
  } else if (a.verdict == Verdict::Incomplete || a.verdict == Verdict::Verified) {
    const bool wholeMatched = a.whole == CheckAccount::Whole::Matched;
    if (a.matched.empty() && !wholeMatched)
      add(tb::kCheckNoLineUsable, "");
    else if (a.verdict == Verdict::Incomplete && !a.matched.empty())
      add(tb::kCheckMatchedCount,
          " " + std::to_string(a.matched.size()) + " / " + std::to_string(a.segments));
    if (!a.notListed.empty()) add(tb::kCheckNotListed, NameList(a.notListed));
    if (!a.conflicting.empty()) add(tb::kCheckConflicting, NameList(a.conflicting));
    std::vector<tb::Block> whole;
    WholeFileLines(a, whole);
    for (const tb::Block b : whole) add(b, "");
  }
  if (!a.unreadableLines.empty()) {
    std::string numbers;
    for (const std::size_t n : a.unreadableLines)
      numbers += (numbers.empty() ? " " : ", ") + std::to_string(n);
    add(tb::kCheckLinesUnreadable, numbers);
  }
  if (!a.beyond.empty()) add(tb::kCheckBeyond, NameList(a.beyond));
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

namespace {

// Hashes a segment as the join reads it: a first segment's header, then the data the set still
// lacks (into data too, unless the set is packed), then what lies beyond. The data taken.
std::int64_t HashSegment(const std::string& path, bool first, std::int64_t needed,
                         const HeaderInfo& info, Sha256& hash, Sha256& data, EngineContext& ctx) {
  FileHandle f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!f.valid()) Fail(ctx, tb::kReadFailed, path, errno);
  const std::int64_t size = OpenSize(f.get());
  const std::int64_t skip = first ? static_cast<std::int64_t>(kHeaderSize) : 0;
  const std::int64_t take = std::clamp<std::int64_t>(size - skip, 0, needed);
  HashRange(f.get(), 0, skip, hash, nullptr, path, ctx);
  HashRange(f.get(), skip, take, hash, info.compressed ? nullptr : &data, path, ctx);
  HashRange(f.get(), skip + take, size - skip - take, hash, nullptr, path, ctx);
  return take;
}

// Follows the name chain as the join does and judges each segment; the data the segments
// cover.
std::int64_t CheckSegmentChain(const std::string& ersteSegment, const HeaderInfo& info,
                               SetCheck& check, Sha256& data, VerifyReport& report,
                               EngineContext& ctx) {
  using S = SegmentVerdict::Status;
  std::int64_t covered = 0;
  std::set<std::string> seen;
  std::vector<std::string> hashes;  // of the segments found, in order
  std::string path = ersteSegment;
  for (std::uint32_t n = 0; n <= kLastSegmentNumber && (n == 0 || covered < info.dataSize); ++n) {
    if (n > 0) path = SegmentFinden(SegmentPfadAusVorgaenger(path, static_cast<std::uint16_t>(n)));
    seen.insert(SegmentNameWieGeschrieben(FileNamePart(path)));
    // Asked for where the join would ask; Cancel leaves it missing.
    if (std::string found = path; AskForSegment(found, ctx.ui)) {
      path = found;
      check.LookIn(FolderPart(path));
    } else {
      report.segments.push_back({path, S::Missing});
      break;
    }
    Sha256 hash;
    covered += HashSegment(path, n == 0, info.dataSize - covered, info, hash, data, ctx);
    hashes.push_back(hash.Hex());
    check.Segment(SegmentNameWieGeschrieben(FileNamePart(path)), hashes.back());
    report.segments.push_back({path, S::NotListed});
  }
  // Judged once the chain is followed: the checksum file may lie beside a later segment.
  for (std::size_t i = 0; i < hashes.size(); ++i) {
    SegmentVerdict& v = report.segments[i];
    const std::string name = SegmentNameWieGeschrieben(FileNamePart(v.path));
    const std::string* listed = check.Listed(name);
    v.status = check.Conflicting(name) ? S::Conflicting
               : listed == nullptr     ? S::NotListed
               : *listed == hashes[i]  ? S::Matches
                                       : S::Differs;
  }
  // Segments the checksum file lists that the name chain never reached: missing while the data
  // is not all there, else lines for a longer set that this one does not need.
  const bool complete = covered == info.dataSize;
  for (const std::string& name : check.ListedSegments()) {
    if (!seen.count(name))
      report.segments.push_back(
          {JoinPath(FolderPart(ersteSegment), name), complete ? S::Beyond : S::Missing});
  }
  return covered;
}

// All good, wrong, or neither: nothing differs or is missing, but not all could be checked. A
// packed set's whole file is checked by the join once unpacked; the join agrees on the rest.
void JudgeVerifyReport(VerifyReport& report, bool found) {
  using S = SegmentVerdict::Status;
  const CheckAccount& a = report.account;
  const bool segmentsGood = std::all_of(
      report.segments.begin(), report.segments.end(),
      [](const SegmentVerdict& v) { return v.status == S::Matches || v.status == S::Beyond; });
  const bool wrong =
      !report.complete || report.verdict == Verdict::SegmentDiffers ||
      report.verdict == Verdict::WholeDiffers ||
      std::any_of(report.segments.begin(), report.segments.end(), [](const SegmentVerdict& v) {
        return v.status == S::Differs || v.status == S::Missing;
      });
  const bool wholeGood = report.verdict == Verdict::Verified ||
                         (a.whole == CheckAccount::Whole::Later && a.notListed.empty() &&
                          a.conflicting.empty() && a.readError.empty());
  report.allGood = !wrong && found && segmentsGood && wholeGood;
  report.notVerified = !wrong && !report.allGood;
}

}  // namespace

VerifyReport Trennsegmente_Pruefen(const std::string& ersteSegment, EngineContext& ctx) {
  HeaderInfo info;
  {
    FileHandle first;
    HeaderBytes header{};
    if (!ReadFirstSegment(ersteSegment, ctx, first, header, info))
      throw EngineError(ctx.Text(tb::kNotAFirstSegment) + Quoted(ersteSegment));
  }

  VerifyReport report;
  SetCheck check(SetNameOfSegment(ersteSegment), PlainFileName(info.name));
  if (info.encrypted) check.SegmentLinesOnly();
  check.LookIn(FolderPart(ersteSegment));
  Sha256 data;
  const std::int64_t covered = CheckSegmentChain(ersteSegment, info, check, data, report, ctx);
  report.checksumPath = check.checksumPath();  // perhaps beside a segment in another folder

  report.complete = covered == info.dataSize;
  // Only the data of a plain set is the file itself.
  const bool plainData = !info.compressed && !info.encrypted;
  report.wholeName = PlainFileName(info.name);
  report.wholeChecked = report.complete && plainData && check.WholeLine() != nullptr;
  report.wholeMatches = report.wholeChecked && *check.WholeLine() == data.Hex();
  // As the join judges: the segments of a complete unpacked set prove the whole file; a line
  // for it that says otherwise is still reported.
  const bool proven = report.complete && !info.compressed;
  report.verdict = proven ? check.FinishFromSegments() : check.Finish(std::nullopt);
  report.account = check.Account(report.complete, info.compressed);
  if (report.wholeChecked && !report.wholeMatches && report.verdict != Verdict::SegmentDiffers) {
    report.verdict = Verdict::WholeDiffers;
    report.account.verdict = Verdict::WholeDiffers;
  }
  JudgeVerifyReport(report, check.found());
  return report;
}

}  // namespace pz
