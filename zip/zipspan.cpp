// Archives spanned over removable disks. Here a disk is a folder (a mounted medium or any
// folder standing in for one); the front end's DiskPromptHook names it, and its label lives in
// the file ".volume_label". Each part keeps the archive's file name. The first part starts
// with the spanning signature; central headers and the end record carry the disk numbers and
// the offsets on their disks, as the ZIP format defines. The whole central directory and the
// end record go onto the last disk, so reading the last part finds every entry.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/os.h"
#include "zip/ziparchiver.h"
#include "zip/zipformat.h"

namespace pz {

namespace {

using namespace zipfmt;

constexpr int kPromptAttempts = 5;
constexpr std::size_t kCopyChunk = 8192;

std::string Label(int diskNo) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%03d", kSpanLabelPrefix, diskNo % 1000);
  return buf;
}

bool ReadAt(int fd, std::int64_t pos, void* buf, std::size_t n) {
  return pos >= 0 && ::pread(fd, buf, n, pos) == static_cast<ssize_t>(n);
}

// Gives each central header the disk its entry starts on and its offset on that disk; false
// for a directory that cannot be spanned.
bool MapDirectoryToDisks(std::vector<std::uint8_t>& cd, int entries, std::int64_t cdOffset,
                         const std::vector<std::int64_t>& diskStart) {
  std::size_t at = 0;
  for (int i = 0; i < entries; ++i) {
    if (at + kCentralHeaderSize > cd.size() || Le32(&cd[at]) != kCentralSig) return false;
    std::uint8_t* h = &cd[at];
    const std::int64_t local = Le32(h + centralhdr::kLocalOffset);
    if (local == kSaturated32 || local >= cdOffset) return false;  // ZIP64: not spanned
    std::size_t k = diskStart.size() - 1;
    while (diskStart[k] > local) --k;
    // Disk 0 begins with the spanning signature, which moves its entries.
    const std::int64_t onDisk = local - diskStart[k] + (k == 0 ? kSignatureSize : 0);
    Put16(h + centralhdr::kStartDisk, static_cast<std::uint32_t>(k));
    Put32(h + centralhdr::kLocalOffset, static_cast<std::uint32_t>(onDisk));
    at += kCentralHeaderSize + static_cast<std::size_t>(CentralVariableSize(h));
  }
  return true;
}

// Turns the parts gathered into `out` into one volume: absolute offsets, disk numbers 0.
// diskBase[k] is where disk k's offset 0 landed.
int JoinToOneVolume(int out, const std::vector<std::int64_t>& diskBase) {
  const auto disks = static_cast<int>(diskBase.size());
  std::uint8_t end[kEndRecordSize];
  const std::int64_t endPos = LocateEndRecord(out, end);
  const int cdDisk = endPos < 0 ? -1 : Le16(end + endrec::kCentralDisk);
  if (cdDisk < 0 || cdDisk >= disks) return kCopyFailed;
  const std::int64_t cdStart =
      diskBase[static_cast<std::size_t>(cdDisk)] + Le32(end + endrec::kCentralOffset);
  std::int64_t at = cdStart;
  for (int i = 0, n = Le16(end + endrec::kEntries); i < n; ++i) {
    std::uint8_t h[kCentralHeaderSize];
    if (!ReadAt(out, at, h, sizeof h) || Le32(h) != kCentralSig) return kCopyFailed;
    const int disk = Le16(h + centralhdr::kStartDisk);
    if (disk >= disks) return kCopyFailed;
    const std::int64_t local =
        diskBase[static_cast<std::size_t>(disk)] + Le32(h + centralhdr::kLocalOffset);
    if (local < 0 || local > kLargestOffset32) return kCopyFailed;
    Put16(h + centralhdr::kStartDisk, 0);
    Put32(h + centralhdr::kLocalOffset, static_cast<std::uint32_t>(local));
    if (::pwrite(out, h, sizeof h, at) != static_cast<ssize_t>(sizeof h)) return kSpanWriteFailed;
    at += kCentralHeaderSize + CentralVariableSize(h);
  }
  if (cdStart < 0 || cdStart > kLargestOffset32) return kCopyFailed;
  Put16(end + endrec::kDisk, 0);
  Put16(end + endrec::kCentralDisk, 0);
  Put16(end + endrec::kDiskEntries, Le16(end + endrec::kEntries));
  Put32(end + endrec::kCentralOffset, static_cast<std::uint32_t>(cdStart));
  if (::pwrite(out, end, sizeof end, endPos) != static_cast<ssize_t>(sizeof end))
    return kSpanWriteFailed;
  return kCopyDone;
}

}  // namespace

// The finished archive that is spread over the disks.
struct TZipArchiver::SpanSource {
  FileHandle in;
  std::uint8_t end[kEndRecordSize] = {};
  std::int64_t endPos = -1;
  std::int64_t cdOffset = 0;
  std::int64_t cdSize = 0;
  std::int64_t tailSize = 0;  // the end record and its comment
};

// The disk being written and where each disk begins in the archive's coordinates.
struct TZipArchiver::SpanDisks {
  std::string folder;
  std::string name;
  FileHandle out;
  std::vector<std::int64_t> start;
  std::int64_t room = 0;
  std::int64_t onDisk = 0;

  int Put(const std::uint8_t* p, std::int64_t n) {
    if (!WriteAll(out.get(), p, static_cast<std::size_t>(n))) return kSpanWriteFailed;
    room -= n;
    onDisk += n;
    return kCopyDone;
  }
};

std::string TZipArchiver::DiskPromptText(int diskNo, const std::string& folder) const {
  std::string text = MessageText(zipmsg::kInsertVolume);
  std::string drive = MessageText(zipmsg::kInDrive);
  auto put = [](std::string fmt, const std::string& value) {
    auto pos = fmt.find('%');
    if (pos == std::string::npos) return fmt;
    auto end = fmt.find_first_of("ds", pos);
    return end == std::string::npos ? fmt : fmt.replace(pos, end - pos + 1, value);
  };
  return put(text, std::to_string(diskNo)) + put(drive, folder);
}

bool TZipArchiver::PromptForDisk(int diskNo, std::string& folder) {
  if (unattended_) {
    ReportMessage(zipmsg::kUnattendedPrompt, "");
    return false;
  }
  if (!DiskPromptHook || !DiskPromptHook(DiskPromptText(diskNo, folder), folder)) {
    ReportMessage(zipmsg::kCancelled, "");
    return false;
  }
  return true;
}

int TZipArchiver::OpenSpanSource(const std::string& archive, SpanSource& src) {
  src.in.reset(::open(archive.c_str(), O_RDONLY | O_CLOEXEC));
  if (!src.in.valid()) return Refuse(zipmsg::kOpenFailed, kCopyFailed);
  src.endPos = LocateEndRecord(src.in.get(), src.end);
  if (src.endPos < 0) return Refuse(zipmsg::kNotArchive, kCopyFailed);
  src.cdOffset = Le32(src.end + endrec::kCentralOffset);
  src.cdSize = Le32(src.end + endrec::kCentralSize);
  // Only a one-volume archive without ZIP64 offsets, its directory right before the end record.
  if (Le16(src.end + endrec::kDisk) != 0 || src.cdOffset == kSaturated32 ||
      src.cdOffset + src.cdSize != src.endPos)
    return Refuse(zipmsg::kNotArchive, kCopyFailed);
  src.tailSize = kEndRecordSize + Le16(src.end + endrec::kCommentLength);
  return kCopyDone;
}

int TZipArchiver::NextSpanDisk(SpanDisks& disks, std::int64_t startsAt) {
  const int diskNo = static_cast<int>(disks.start.size()) + 1;
  for (int attempt = 0; attempt < kPromptAttempts; ++attempt) {
    if (!PromptForDisk(diskNo, disks.folder)) return kSpanCancelled;
    std::int64_t free = FreeSpace(disks.folder);
    if (diskNo == 1) free -= keepFreeOnDisk1_;
    if (maxVolumeSize_ > 0) free = std::min<std::int64_t>(free, maxVolumeSize_);
    if (free < minFreeVolumeSize_) {
      ReportMessage(zipmsg::kNotEnoughSpace, "");
      continue;
    }
    std::ofstream label(JoinPath(disks.folder, kVolumeLabelFile), std::ios::trunc);
    label << Label(diskNo) << '\n';
    if (!label) return kSpanWriteFailed;
    disks.out.reset();
    disks.out.reset(::open(JoinPath(disks.folder, disks.name).c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!disks.out.valid()) return kSpanWriteFailed;
    disks.room = free;
    disks.onDisk = 0;
    disks.start.push_back(startsAt);
    return kCopyDone;
  }
  return kCopyFailed;
}

int TZipArchiver::WriteSpannedEntries(const SpanSource& src, SpanDisks& disks) {
  if (int r = NextSpanDisk(disks, 0); r != kCopyDone) return r;
  std::uint8_t sig[kSignatureSize];
  Put32(sig, kSpanSig);
  if (int r = disks.Put(sig, kSignatureSize); r != kCopyDone) return r;
  std::array<std::uint8_t, kCopyChunk> buf;
  for (std::int64_t pos = 0; pos < src.cdOffset;) {
    if (disks.room <= 0) {
      if (int r = NextSpanDisk(disks, pos); r != kCopyDone) return r;
    }
    const std::int64_t n =
        std::min<std::int64_t>({src.cdOffset - pos, disks.room, std::int64_t{kCopyChunk}});
    if (!ReadAt(src.in.get(), pos, buf.data(), static_cast<std::size_t>(n))) return kCopyFailed;
    if (int r = disks.Put(buf.data(), n); r != kCopyDone) return r;
    pos += n;
    ProcessMessages();
  }
  return kCopyDone;
}

int TZipArchiver::WriteSpannedDirectory(const SpanSource& src, SpanDisks& disks) {
  std::vector<std::uint8_t> cd(static_cast<std::size_t>(src.cdSize));
  if (!ReadAt(src.in.get(), src.cdOffset, cd.data(), cd.size()) ||
      !MapDirectoryToDisks(cd, Le16(src.end + endrec::kEntries), src.cdOffset, disks.start))
    return kCopyFailed;
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(src.tailSize));
  if (!ReadAt(src.in.get(), src.endPos, tail.data(), tail.size())) return kCopyFailed;
  // The directory and the end record go onto one disk, the last.
  if (disks.room < src.cdSize + src.tailSize) {
    if (int r = NextSpanDisk(disks, src.cdOffset); r != kCopyDone) return r;
    if (disks.room < src.cdSize + src.tailSize) return Refuse(zipmsg::kNotEnoughSpace, kCopyFailed);
  }
  const auto lastDisk = static_cast<std::uint32_t>(disks.start.size() - 1);
  Put16(&tail[endrec::kDisk], lastDisk);
  Put16(&tail[endrec::kCentralDisk], lastDisk);
  Put32(&tail[endrec::kCentralOffset], static_cast<std::uint32_t>(disks.onDisk));
  if (int r = disks.Put(cd.data(), src.cdSize); r != kCopyDone) return r;
  return disks.Put(tail.data(), src.tailSize);
}

int TZipArchiver::WriteSpannedArchive(const std::string& archive, const std::string& target) {
  lastSpannedPart_.clear();
  SpanSource src;
  if (int r = OpenSpanSource(archive, src); r != kCopyDone) return r;
  SpanDisks disks;
  disks.folder = FolderPart(target).empty() ? "." : FolderPart(target);
  disks.name = FileNamePart(target);
  if (int r = WriteSpannedEntries(src, disks); r != kCopyDone) return r;
  if (int r = WriteSpannedDirectory(src, disks); r != kCopyDone) return r;
  if (::fsync(disks.out.get()) != 0) return kSpanWriteFailed;
  lastSpannedPart_ = JoinPath(disks.folder, disks.name);
  return kCopyDone;
}

int TZipArchiver::OpenSpannedPart(int diskNo, std::string& folder, const std::string& name,
                                  FileHandle& in) {
  for (int attempt = 0; !in.valid() && attempt < kPromptAttempts; ++attempt) {
    if (!PromptForDisk(diskNo, folder)) return kSpanCancelled;
    if (ReadVolumeLabel(folder) != Label(diskNo)) continue;
    in.reset(::open(JoinPath(folder, name).c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) ReportMessage(zipmsg::kOpenFailed, "");
  }
  return in.valid() ? kCopyDone : kCopyFailed;
}

int TZipArchiver::AppendPart(int in, std::int64_t from, int out, std::int64_t& written) {
  std::array<std::uint8_t, kCopyChunk> buf;
  for (std::int64_t pos = from;;) {
    const ssize_t n = ::pread(in, buf.data(), buf.size(), pos);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Refuse(zipmsg::kCopyReadFailed, kCopyFailed);
    if (n == 0) return kCopyDone;
    if (!WriteAll(out, buf.data(), static_cast<std::size_t>(n)))
      return Refuse(zipmsg::kCopyWriteFailed, kSpanWriteFailed);
    pos += n;
    written += n;
    ProcessMessages();
  }
}

int TZipArchiver::GatherSpannedParts(const std::string& archive, int out,
                                     std::vector<std::int64_t>& diskBase) {
  std::string folder = FolderPart(archive).empty() ? "." : FolderPart(archive);
  const std::string name = FileNamePart(archive);
  std::int64_t written = 0;
  for (int k = 0; k <= endRecordDisk_; ++k) {
    FileHandle in;
    if (int r = OpenSpannedPart(k + 1, folder, name, in); r != kCopyDone) return r;
    std::int64_t skip = 0;
    if (k == 0) {
      std::uint8_t sig[kSignatureSize];
      if (ReadAt(in.get(), 0, sig, sizeof sig) && Le32(sig) == kSpanSig) skip = kSignatureSize;
    }
    diskBase.push_back(written - skip);
    if (int r = AppendPart(in.get(), skip, out, written); r != kCopyDone) return r;
  }
  return kCopyDone;
}

int TZipArchiver::ReadSpannedArchive(const std::string& archive, const std::string& tempFolder,
                                     std::string& gathered) {
  std::string templ = tempFolder + "zipXXXXXX";
  std::vector<char> tname(templ.begin(), templ.end());
  tname.push_back('\0');
  FileHandle out(::mkstemp(tname.data()));  // readable by its owner only
  if (!out.valid()) return Refuse(zipmsg::kCopyWriteFailed, kSpanWriteFailed);
  gathered = tname.data();
  // A copy that is not complete goes.
  ScopeGuard discard([&] {
    out.reset();
    ::unlink(gathered.c_str());
    gathered.clear();
  });
  std::vector<std::int64_t> diskBase;
  if (int r = GatherSpannedParts(archive, out.get(), diskBase); r != kCopyDone) return r;
  if (int r = JoinToOneVolume(out.get(), diskBase); r != kCopyDone) return r;
  discard.Dismiss();
  return kCopyDone;
}

}  // namespace pz
