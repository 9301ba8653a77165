// Reading an archive's directory without the engine: end record search, central directory,
// name conversion, drive facts. The archive is untrusted: every length and offset read from it
// is checked against what the file really holds before it is used.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "lang/codepage.h"
#include "platform/os.h"
#include "zip/ziparchiver.h"
#include "zip/zipformat.h"

namespace pz {

namespace {

// Reads up to n bytes, retrying short reads; returns the count read.
std::int64_t ReadFull(int fd, void* buf, std::size_t n) {
  std::size_t done = 0;
  auto* p = static_cast<std::uint8_t*>(buf);
  while (done < n) {
    ssize_t r = ::read(fd, p + done, n - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += static_cast<std::size_t>(r);
  }
  return static_cast<std::int64_t>(done);
}

bool SeekTo(int fd, std::int64_t pos) {
  return pos >= 0 && ::lseek(fd, static_cast<off_t>(pos), SEEK_SET) == static_cast<off_t>(pos);
}

// In raise mode a failure of the end record search is thrown; in report mode it is a false.
bool EndSearchFails(bool raise, int number) {
  if (raise) throw EZipArchiver(number, true);
  return false;
}

// Whether the bytes from `from` to the end of tail are zeros that pad the file to a 512-byte
// block: those are no data after the archive.
bool IsBlockPadding(const std::vector<std::uint8_t>& tail, std::int64_t from,
                    std::int64_t realFileSize) {
  constexpr std::int64_t kBlock = 512;
  if (static_cast<std::int64_t>(tail.size()) - from >= kBlock || realFileSize % kBlock != 0)
    return false;
  return std::all_of(tail.begin() + from, tail.end(), [](std::uint8_t b) { return b == 0; });
}

// The failure for a file without an end record, by how it begins and how its disk is labelled.
[[noreturn]] void RaiseNoEndRecord(bool spannedStart, int labelDisk) {
  if (!spannedStart && labelDisk != 0)
    throw EZipArchiver(zipmsg::kLabelDisk, std::int64_t{labelDisk});
  if (!spannedStart) throw EZipArchiver(zipmsg::kNotSpannedStart, true);
  if (labelDisk == 1) throw EZipArchiver(zipmsg::kDiskOne, true);
  throw EZipArchiver(zipmsg::kNotArchive, true);
}

// The 42 header bytes after the signature, field by field.
std::unique_ptr<ZipDirEntry> EntryFromHeader(const std::uint8_t* h) {
  using namespace zipfmt;
  auto e = std::make_unique<ZipDirEntry>();
  e->MadeByVersion = h[centralhdr::kMadeBy];
  e->HostVersionNo = h[centralhdr::kHost];
  e->VersionNeeded = Le16(h + centralhdr::kNeeded);
  e->Flag = Le16(h + centralhdr::kFlags);
  e->ComprMethod = Le16(h + centralhdr::kMethod);
  e->ModifTime = Le16(h + centralhdr::kTime);
  e->ModifDate = Le16(h + centralhdr::kDate);
  e->CRC32 = Le32(h + centralhdr::kCrc);
  e->ComprSize = Le32(h + centralhdr::kComprSize);
  e->UncomprSize = Le32(h + centralhdr::kSize);
  e->FileNameLength = Le16(h + centralhdr::kNameLength);
  e->ExtraFieldLength = Le16(h + centralhdr::kExtraLength);
  e->FileCommentLen = Le16(h + centralhdr::kCommentLength);
  e->StartOnDisk = Le16(h + centralhdr::kStartDisk);
  e->IntFileAttrib = Le16(h + centralhdr::kIntAttrib);
  e->ExtFileAttrib = Le32(h + centralhdr::kExtAttrib);
  e->RelOffLocalHdr = Le32(h + centralhdr::kLocalOffset);
  e->Size = e->UncomprSize;
  e->ComprSize64 = e->ComprSize;
  e->LocalOffset = e->RelOffLocalHdr;
  return e;
}

}  // namespace

void TZipArchiver::ReadZip64End(std::int64_t& entries, std::int64_t& size, std::int64_t& offset,
                                std::int64_t& directoryEnd) {
  using namespace zipfmt;
  std::uint8_t loc[kZip64LocatorSize];
  if (endRecordOffset_ < kZip64LocatorSize ||
      ::pread(inFile_.get(), loc, sizeof loc, endRecordOffset_ - kZip64LocatorSize) != sizeof loc ||
      Le32(loc) != kZip64LocatorSig)
    return;  // no ZIP64 record: the 16- and 32-bit values stand
  // The record is where the locator says, or right before the locator when data was placed
  // in front of the archive without moving the offsets.
  std::uint8_t rec[kZip64EndSize];
  const std::int64_t recorded = static_cast<std::int64_t>(Le64(loc + zip64loc::kEndOffset));
  const std::int64_t before = endRecordOffset_ - kZip64LocatorSize - kZip64EndSize;
  std::int64_t at = -1;
  for (std::int64_t candidate : {recorded, before}) {
    if (candidate >= 0 && candidate <= before &&
        ::pread(inFile_.get(), rec, sizeof rec, candidate) == sizeof rec &&
        Le32(rec) == kZip64EndSig) {
      at = candidate;
      break;
    }
  }
  if (at < 0) return;
  const std::uint64_t e = Le64(rec + zip64end::kEntries);
  const std::uint64_t s = Le64(rec + zip64end::kCentralSize);
  const std::uint64_t o = Le64(rec + zip64end::kCentralOffset);
  // Values beyond any file size are damage, not numbers to compute with.
  if (s > static_cast<std::uint64_t>(at) || o > static_cast<std::uint64_t>(at) ||
      e > static_cast<std::uint64_t>(at))
    throw EZipArchiver(zipmsg::kSeekFailed, true);
  entries = static_cast<std::int64_t>(e);
  size = static_cast<std::int64_t>(s);
  offset = static_cast<std::int64_t>(o);
  directoryEnd = at;
}

std::string TZipArchiver::ConvertName(const std::string& raw) const {
  const bool convert = (codePage_ == cpAuto && hostSystem_ == zipfmt::kHostFat) ||
                       hostSystem_ == zipfmt::kHostHpfs ||
                       (hostSystem_ == zipfmt::kHostNtfs && madeByVersion_ == 50) ||
                       codePage_ == cpOEM;
  return convert ? Cp437ToUtf8(raw) : raw;
}

void TZipArchiver::ReadDiskSpace(int which) {
  std::int64_t freeBytes = -1;
  std::int64_t size = -1;
  struct statvfs vs {};
  if (::statvfs(driveRoot_.c_str(), &vs) == 0) {
    freeBytes = static_cast<std::int64_t>(vs.f_bavail) * static_cast<std::int64_t>(vs.f_frsize);
    size = static_cast<std::int64_t>(vs.f_blocks) * static_cast<std::int64_t>(vs.f_frsize);
  }
  if (which & 1) diskFree_ = freeBytes;
  if (which & 2) diskSize_ = size;
}

bool TZipArchiver::CheckDrive() {
  diskSize_ = 0;
  volumeLabel_.clear();
  struct statvfs vs {};
  if (::statvfs(driveRoot_.c_str(), &vs) != 0) return false;
  // A folder standing in for a removable disk carries its label in a file.
  volumeLabel_ = zipfmt::ReadVolumeLabel(driveRoot_);
  volumeSerial_ = static_cast<std::uint32_t>(vs.f_fsid);
  ReadDiskSpace(3);
  return diskSize_ >= 0;
}

void TZipArchiver::AskForVolume(int k) {
  inFile_.reset();
  currentDisk_ = k;
  if (k < 0) {
    // Here every drive is a fixed one: the last volume is the file that was named.
  } else {
    // Parts of a set on a fixed drive differ in the last three characters before the
    // extension: name001.zip, name002.zip, ...
    std::string folder = FolderPart(inputName_);
    std::string name = FileNamePart(inputName_);
    auto dot = name.find_last_of('.');
    std::size_t stemEnd = dot == std::string::npos ? name.size() : dot;
    if (stemEnd < 3) throw EZipArchiver(zipmsg::kOpenFailed, inputName_);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", (k + 1) % 1000);
    name.replace(stemEnd - 3, 3, digits);
    inputName_ = folder.empty() ? name : JoinPath(folder, name);
  }
  inFile_.reset(::open(inputName_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!inFile_.valid()) throw EZipArchiver(zipmsg::kOpenFailed, inputName_);
}

bool TZipArchiver::OpenInput(EndMode mode) {
  inFile_.reset(::open(inputName_.c_str(), O_RDONLY | O_CLOEXEC));
  if (inFile_.valid()) return true;
  if (mode == EndMode::Raise) throw EZipArchiver(zipmsg::kOpenFailed, inputName_);
  ReportMessage(zipmsg::kOpenFailedReport, "");
  return false;
}

bool TZipArchiver::StartsSpannedSet() {
  using namespace zipfmt;
  std::uint8_t start[2 * kSignatureSize];
  return SeekTo(inFile_.get(), 0) && ReadFull(inFile_.get(), start, sizeof start) == sizeof start &&
         Le32(start) == kSpanSig && Le32(start + kSignatureSize) == kLocalSig;
}

bool TZipArchiver::EndRecordAtEnd(std::uint8_t (&buf)[zipfmt::kEndRecordSize], std::int64_t end) {
  using namespace zipfmt;
  if (end < kEndRecordSize || !SeekTo(inFile_.get(), end - kEndRecordSize) ||
      ReadFull(inFile_.get(), buf, kEndRecordSize) != kEndRecordSize || Le32(buf) != kEndSig ||
      Le16(buf + endrec::kCommentLength) != 0)
    return false;
  endRecordOffset_ = fileSize_ - kEndRecordSize;
  return true;
}

bool TZipArchiver::SearchEndRecord(std::uint8_t (&buf)[zipfmt::kEndRecordSize], std::int64_t end,
                                   EndMode mode) {
  using namespace zipfmt;
  const std::int64_t n = std::min<std::int64_t>(end, kEndRecordSize + kMaxCommentLength);
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(n));
  const bool raise = mode == EndMode::Raise;
  if (!SeekTo(inFile_.get(), end - n)) return EndSearchFails(raise, zipmsg::kEndSeek);
  if (ReadFull(inFile_.get(), tail.data(), tail.size()) != n)
    return EndSearchFails(raise, zipmsg::kEndRead);
  for (std::int64_t i = n - kEndRecordSize - 1; i >= 0; --i) {
    const std::uint8_t* p = tail.data() + i;
    if (Le32(p) != kEndSig) continue;
    const std::int64_t commentLen = Le16(p + endrec::kCommentLength);
    const std::int64_t recordEnd = i + kEndRecordSize + commentLen;
    if (recordEnd > n) continue;  // a comment reaching past the file: not the end record
    endRecordOffset_ = end - n + i;
    std::memcpy(buf, p, kEndRecordSize);
    if (recordEnd != n) {
      fileSize_ = endRecordOffset_ + kEndRecordSize + commentLen;
      if (!IsBlockPadding(tail, recordEnd, realFileSize_)) ReportMessage(zipmsg::kDataAfterEnd, "");
    }
    if (commentLen != 0) {
      const char* c = reinterpret_cast<const char*>(p + kEndRecordSize);
      archiveComment_.assign(c, ::strnlen(c, static_cast<std::size_t>(commentLen)));
    }
    return true;
  }
  return false;
}

bool TZipArchiver::FindEndRecord(std::uint8_t (&buf)[zipfmt::kEndRecordSize], EndMode mode) {
  using namespace zipfmt;
  archiveComment_.clear();
  endRecordOffset_ = 0;
  if (!OpenInput(mode)) return false;
  int labelDisk = 0;
  if (volumeLabel_.rfind(kSpanLabelPrefix, 0) == 0) labelDisk = LabelDiskNumber(volumeLabel_);
  const bool spannedStart = StartsSpannedSet();
  if (spannedStart) isMultiVolume_ = true;

  const off_t end = ::lseek(inFile_.get(), 0, SEEK_END);
  if (end < 0) throw EZipArchiver(zipmsg::kEndSeek, true);
  fileSize_ = realFileSize_ = end;
  if (EndRecordAtEnd(buf, end) || SearchEndRecord(buf, end, mode)) return true;
  if (mode == EndMode::Report) return false;
  RaiseNoEndRecord(spannedStart, labelDisk);
}

void TZipArchiver::LocateDirectory(DirectoryPlace& place) {
  using namespace zipfmt;
  inputName_ = zipFilename_;
  std::string folder = FolderPart(zipFilename_);
  driveRoot_ = (folder.empty() ? std::string(".") : folder) + "/";
  if (!CheckDrive()) throw EZipArchiver(zipmsg::kDriveAbsent, driveRoot_);

  std::uint8_t end[kEndRecordSize];
  FindEndRecord(end, EndMode::Raise);
  place.diskNumber = Le16(end + endrec::kDisk);
  const int centralDisk = Le16(end + endrec::kCentralDisk);
  place.entries = Le16(end + endrec::kEntries);
  std::int64_t centralSize = Le32(end + endrec::kCentralSize);
  place.recordedOffset = Le32(end + endrec::kCentralOffset);
  // Where the directory ends: at the end record, or at the ZIP64 end record wherever a
  // locator stands in front of it. Writers put ZIP64 records there also when the classic
  // fields are not saturated, and then the ZIP64 values are the ones that hold.
  std::int64_t directoryEnd = endRecordOffset_;
  ReadZip64End(place.entries, centralSize, place.recordedOffset, directoryEnd);
  endRecordDisk_ = place.diskNumber;
  currentDisk_ = place.diskNumber;
  if (endRecordDisk_ != 0) isMultiVolume_ = true;

  if (centralDisk == place.diskNumber) {
    // The directory is taken to lie right before the end record, whatever its recorded
    // offset says: that is what finds archives with a stub in front.
    place.start = directoryEnd - centralSize;
  } else {
    AskForVolume(centralDisk);
    const off_t size = ::lseek(inFile_.get(), 0, SEEK_END);
    if (size < 0) throw EZipArchiver(zipmsg::kSeekFailed, true);
    fileSize_ = size;
    place.start = place.recordedOffset;
  }
  centralOffset_ = place.start;
  firstEntryOffset_ = fileSize_ == kEndRecordSize ? 0 : fileSize_;
  directoryMismatch_ = place.recordedOffset != place.start;
  if (directoryMismatch_) ReportMessage(zipmsg::kDirMismatch, "");
  if (!SeekTo(inFile_.get(), place.start)) throw EZipArchiver(zipmsg::kSeekFailed, true);
}

std::unique_ptr<ZipDirEntry> TZipArchiver::ReadCentralEntry() {
  using namespace zipfmt;
  std::uint8_t h[kCentralHeaderSize];
  while (ReadFull(inFile_.get(), h, kCentralHeaderSize) < kCentralHeaderSize) {
    if (currentDisk_ >= endRecordDisk_) throw EZipArchiver(zipmsg::kDirOnNextDisk, true);
    AskForVolume(currentDisk_ + 1);
  }
  if (Le32(h) != kCentralSig) throw EZipArchiver(zipmsg::kCentralSig, true);
  auto e = EntryFromHeader(h);

  std::string raw(e->FileNameLength, '\0');
  if (ReadFull(inFile_.get(), raw.data(), raw.size()) != e->FileNameLength)
    throw EZipArchiver(zipmsg::kNameRead, true);
  madeByVersion_ = e->MadeByVersion;
  hostSystem_ = e->HostVersionNo;
  // Names keep "/": it is this platform's separator.
  e->FileName = ConvertName(raw);
  std::vector<std::uint8_t> extra(e->ExtraFieldLength);
  if (ReadFull(inFile_.get(), extra.data(), extra.size()) != e->ExtraFieldLength)
    throw EZipArchiver(zipmsg::kSeekFailed, true);
  ApplyZip64Extra(extra.data(), extra.size(), e->Size, e->ComprSize64, e->LocalOffset);
  if (e->FileCommentLen != 0) {
    std::string comment(e->FileCommentLen, '\0');
    if (ReadFull(inFile_.get(), comment.data(), comment.size()) != e->FileCommentLen)
      throw EZipArchiver(zipmsg::kCommentRead, true);
    e->FileComment = ConvertName(comment);
  }
  return e;
}

bool TZipArchiver::TryReadDirectory(DirectoryPlace& place) {
  try {
    LocateDirectory(place);
    for (std::int64_t i = 0; i < place.entries; ++i) {
      auto e = ReadCentralEntry();
      if (static_cast<std::int64_t>(e->LocalOffset) < firstEntryOffset_)
        firstEntryOffset_ = static_cast<std::int64_t>(e->LocalOffset);
      contents_.push_back(std::move(e));
    }
    endRecordDisk_ = place.diskNumber;
    return true;
  } catch (const EZipArchiver& e) {
    ReportException(e);
  } catch (const std::bad_alloc&) {
    ReportMessage(zipmsg::kOutOfMemory, "");
  } catch (...) {
    ReportMessage(zipmsg::kDirReadFailed, "");
  }
  return false;
}

void TZipArchiver::ReadDirectory() {
  contents_.clear();
  realFileSize_ = 0;
  centralOffset_ = 0;
  firstEntryOffset_ = 0;
  archiveComment_.clear();
  isMultiVolume_ = false;
  if (!FileExists(zipFilename_)) {
    if (OnDirUpdate) OnDirUpdate(*this);
    return;
  }
  DirectoryPlace place;
  bool ok = false;
  {
    SetBusy(true);
    ScopeGuard done([this] {
      SetBusy(false);
      inFile_.reset();
    });
    ok = TryReadDirectory(place);
  }
  if (ok) {
    firstEntryOffset_ += place.start - place.recordedOffset;
  } else {
    zipFilename_.clear();
    firstEntryOffset_ = 0;
  }
  if (OnDirUpdate) OnDirUpdate(*this);
}

}  // namespace pz
