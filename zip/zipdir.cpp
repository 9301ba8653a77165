// Reading an archive's directory without the engine: end record search, central directory,
// name conversion, drive facts. The archive is untrusted: every length and offset read from it
// is checked against what the file really holds before it is used.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

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

}  // namespace

void TZipArchiver::ReadZip64End(std::int64_t& entries, std::int64_t& size, std::int64_t& offset,
                                std::int64_t& directoryEnd) {
  using namespace zipfmt;
  std::uint8_t loc[kZip64LocatorSize];
  if (endRecordOffset_ < kZip64LocatorSize ||
      ::pread(inFile_, loc, sizeof loc, endRecordOffset_ - kZip64LocatorSize) != sizeof loc ||
      Le32(loc) != kZip64LocatorSig)
    return;  // no ZIP64 record: the 16- and 32-bit values stand
  // The record is where the locator says, or right before the locator when data was placed
  // in front of the archive without moving the offsets.
  std::uint8_t rec[kZip64EndSize];
  const std::int64_t recorded = static_cast<std::int64_t>(Le64(loc + 8));
  const std::int64_t before = endRecordOffset_ - kZip64LocatorSize - kZip64EndSize;
  std::int64_t at = -1;
  for (std::int64_t candidate : {recorded, before}) {
    if (candidate >= 0 && candidate <= before &&
        ::pread(inFile_, rec, sizeof rec, candidate) == sizeof rec && Le32(rec) == kZip64EndSig) {
      at = candidate;
      break;
    }
  }
  if (at < 0) return;
  const std::uint64_t e = Le64(rec + 32), s = Le64(rec + 40), o = Le64(rec + 48);
  // Values beyond any file size are damage, not numbers to compute with.
  if (s > static_cast<std::uint64_t>(at) || o > static_cast<std::uint64_t>(at) ||
      e > static_cast<std::uint64_t>(at))
    throw EZipArchiver(zipmsg::kSeekFailed, true);
  entries = static_cast<std::int64_t>(e);
  size = static_cast<std::int64_t>(s);
  offset = static_cast<std::int64_t>(o);
  directoryEnd = at;
}

void TZipArchiver::CloseInput() {
  if (inFile_ >= 0) ::close(inFile_);
  inFile_ = -1;
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
  CloseInput();
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
  inFile_ = ::open(inputName_.c_str(), O_RDONLY | O_CLOEXEC);
  if (inFile_ < 0) throw EZipArchiver(zipmsg::kOpenFailed, inputName_);
}

bool TZipArchiver::FindEndRecord(std::uint8_t (&buf)[22], EndMode mode) {
  using namespace zipfmt;
  archiveComment_.clear();
  endRecordOffset_ = 0;
  CloseInput();
  inFile_ = ::open(inputName_.c_str(), O_RDONLY | O_CLOEXEC);
  if (inFile_ < 0) {
    if (mode == EndMode::Raise) throw EZipArchiver(zipmsg::kOpenFailed, inputName_);
    ReportMessage(zipmsg::kOpenFailedReport, "");
    return false;
  }
  int labelDisk = 0;
  if (volumeLabel_.rfind(kSpanLabelPrefix, 0) == 0) labelDisk = LabelDiskNumber(volumeLabel_);

  std::uint8_t start[8];
  bool spannedStart = false;
  if (SeekTo(inFile_, 0) && ReadFull(inFile_, start, 8) == 8)
    spannedStart = Le32(start) == kSpanSig && Le32(start + 4) == kLocalSig;
  if (spannedStart) isMultiVolume_ = true;

  const off_t end = ::lseek(inFile_, 0, SEEK_END);
  if (end < 0) throw EZipArchiver(zipmsg::kEndSeek, true);
  fileSize_ = realFileSize_ = end;
  if (end >= kEndRecordSize && SeekTo(inFile_, end - kEndRecordSize) &&
      ReadFull(inFile_, buf, kEndRecordSize) == kEndRecordSize && Le32(buf) == kEndSig &&
      Le16(buf + 20) == 0) {
    endRecordOffset_ = fileSize_ - kEndRecordSize;
    return true;
  }

  const std::int64_t n = std::min<std::int64_t>(end, kEndRecordSize + 65535);
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(n));
  if (!SeekTo(inFile_, end - n)) {
    if (mode == EndMode::Raise) throw EZipArchiver(zipmsg::kEndSeek, true);
    return false;
  }
  if (ReadFull(inFile_, tail.data(), tail.size()) != n) {
    if (mode == EndMode::Raise) throw EZipArchiver(zipmsg::kEndRead, true);
    return false;
  }
  for (std::int64_t i = n - kEndRecordSize - 1; i >= 0; --i) {
    const std::uint8_t* p = tail.data() + i;
    if (Le32(p) != kEndSig) continue;
    const std::int64_t commentLen = Le16(p + 20);
    const std::int64_t recordEnd = i + kEndRecordSize + commentLen;
    if (recordEnd > n) continue;  // a comment reaching past the file: not the end record
    endRecordOffset_ = end - n + i;
    std::memcpy(buf, p, kEndRecordSize);
    if (recordEnd != n) {
      const std::int64_t gap = n - recordEnd;
      fileSize_ = endRecordOffset_ + kEndRecordSize + commentLen;
      bool padding = gap < 512 && realFileSize_ % 512 == 0;
      for (std::int64_t j = recordEnd; padding && j < n; ++j)
        padding = tail[static_cast<std::size_t>(j)] == 0;
      if (!padding) ReportMessage(zipmsg::kDataAfterEnd, "");
    }
    if (commentLen != 0) {
      const char* c = reinterpret_cast<const char*>(p + kEndRecordSize);
      archiveComment_.assign(c, ::strnlen(c, static_cast<std::size_t>(commentLen)));
    }
    return true;
  }
  if (mode == EndMode::Report) return false;
  if (!spannedStart && labelDisk != 0)
    throw EZipArchiver(zipmsg::kLabelDisk, std::int64_t{labelDisk});
  if (!spannedStart) throw EZipArchiver(zipmsg::kNotSpannedStart, true);
  if (labelDisk == 1) throw EZipArchiver(zipmsg::kDiskOne, true);
  throw EZipArchiver(zipmsg::kNotArchive, true);
}

void TZipArchiver::ReadDirectory() {
  using namespace zipfmt;
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
  SetBusy(true);
  bool ok = false;
  std::int64_t start = 0;
  std::int64_t recordedOffset = 0;
  try {
    inputName_ = zipFilename_;
    std::string folder = FolderPart(zipFilename_);
    driveRoot_ = (folder.empty() ? std::string(".") : folder) + "/";
    if (!CheckDrive()) throw EZipArchiver(zipmsg::kDriveAbsent, driveRoot_);

    std::uint8_t end[kEndRecordSize];
    FindEndRecord(end, EndMode::Raise);
    const int diskNumber = Le16(end + 4);
    const int centralDisk = Le16(end + 6);
    std::int64_t totalEntries = Le16(end + 10);
    std::int64_t centralSize = Le32(end + 12);
    recordedOffset = Le32(end + 16);
    // Where the directory ends: at the end record, or at the ZIP64 end record wherever a
    // locator stands in front of it. Writers put ZIP64 records there also when the classic
    // fields are not saturated, and then the ZIP64 values are the ones that hold.
    std::int64_t directoryEnd = endRecordOffset_;
    ReadZip64End(totalEntries, centralSize, recordedOffset, directoryEnd);
    endRecordDisk_ = diskNumber;
    currentDisk_ = diskNumber;
    if (endRecordDisk_ != 0) isMultiVolume_ = true;

    if (centralDisk == diskNumber) {
      // The directory is taken to lie right before the end record, whatever its recorded
      // offset says: that is what finds archives with a stub in front.
      start = directoryEnd - centralSize;
    } else {
      AskForVolume(centralDisk);
      const off_t size = ::lseek(inFile_, 0, SEEK_END);
      if (size < 0) throw EZipArchiver(zipmsg::kSeekFailed, true);
      fileSize_ = size;
      start = recordedOffset;
    }
    centralOffset_ = start;
    firstEntryOffset_ = fileSize_ == kEndRecordSize ? 0 : fileSize_;
    directoryMismatch_ = recordedOffset != start;
    if (directoryMismatch_) ReportMessage(zipmsg::kDirMismatch, "");
    if (!SeekTo(inFile_, start)) throw EZipArchiver(zipmsg::kSeekFailed, true);

    for (std::int64_t i = 0; i < totalEntries; ++i) {
      std::uint8_t h[kCentralHeaderSize];
      while (ReadFull(inFile_, h, kCentralHeaderSize) < kCentralHeaderSize) {
        if (currentDisk_ >= endRecordDisk_) throw EZipArchiver(zipmsg::kDirOnNextDisk, true);
        AskForVolume(currentDisk_ + 1);
      }
      if (Le32(h) != kCentralSig) throw EZipArchiver(zipmsg::kCentralSig, true);
      auto e = std::make_unique<ZipDirEntry>();
      e->MadeByVersion = h[4];
      e->HostVersionNo = h[5];
      e->VersionNeeded = Le16(h + 6);
      e->Flag = Le16(h + 8);
      e->ComprMethod = Le16(h + 10);
      e->ModifTime = Le16(h + 12);
      e->ModifDate = Le16(h + 14);
      e->CRC32 = Le32(h + 16);
      e->ComprSize = Le32(h + 20);
      e->UncomprSize = Le32(h + 24);
      e->FileNameLength = Le16(h + 28);
      e->ExtraFieldLength = Le16(h + 30);
      e->FileCommentLen = Le16(h + 32);
      e->StartOnDisk = Le16(h + 34);
      e->IntFileAttrib = Le16(h + 36);
      e->ExtFileAttrib = Le32(h + 38);
      e->RelOffLocalHdr = Le32(h + 42);

      std::string raw(e->FileNameLength, '\0');
      if (ReadFull(inFile_, raw.data(), raw.size()) != e->FileNameLength)
        throw EZipArchiver(zipmsg::kNameRead, true);
      madeByVersion_ = e->MadeByVersion;
      hostSystem_ = e->HostVersionNo;
      // Names keep "/": it is this platform's separator.
      e->FileName = ConvertName(raw);
      std::vector<std::uint8_t> extra(e->ExtraFieldLength);
      if (ReadFull(inFile_, extra.data(), extra.size()) != e->ExtraFieldLength)
        throw EZipArchiver(zipmsg::kSeekFailed, true);
      e->Size = e->UncomprSize;
      e->ComprSize64 = e->ComprSize;
      e->LocalOffset = e->RelOffLocalHdr;
      ApplyZip64Extra(extra.data(), extra.size(), e->Size, e->ComprSize64, e->LocalOffset);
      if (e->FileCommentLen != 0) {
        std::string comment(e->FileCommentLen, '\0');
        if (ReadFull(inFile_, comment.data(), comment.size()) != e->FileCommentLen)
          throw EZipArchiver(zipmsg::kCommentRead, true);
        e->FileComment = ConvertName(comment);
      }
      if (static_cast<std::int64_t>(e->LocalOffset) < firstEntryOffset_)
        firstEntryOffset_ = static_cast<std::int64_t>(e->LocalOffset);
      contents_.push_back(std::move(e));
    }
    endRecordDisk_ = diskNumber;
    ok = true;
  } catch (const EZipArchiver& e) {
    ReportException(e);
  } catch (const std::bad_alloc&) {
    ReportMessage(zipmsg::kOutOfMemory, "");
  } catch (...) {
    ReportMessage(zipmsg::kDirReadFailed, "");
  }
  SetBusy(false);
  CloseInput();
  if (ok) {
    firstEntryOffset_ += start - recordedOffset;
  } else {
    zipFilename_.clear();
    firstEntryOffset_ = 0;
  }
  if (OnDirUpdate) OnDirUpdate(*this);
}

}  // namespace pz
