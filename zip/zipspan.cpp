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

constexpr int kCancelled = -7;
constexpr int kWriteFailed = -8;
constexpr int kOtherFailure = -9;
constexpr int kPromptAttempts = 5;

std::string Label(int diskNo) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%03d", kSpanLabelPrefix, diskNo % 1000);
  return buf;
}

bool ReadAt(int fd, std::int64_t pos, void* buf, std::size_t n) {
  return pos >= 0 && ::pread(fd, buf, n, pos) == static_cast<ssize_t>(n);
}

using zipfmt::WriteAll;

}  // namespace

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

int TZipArchiver::WriteSpannedArchive(const std::string& archive, const std::string& target) {
  lastSpannedPart_.clear();
  const int in = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    ReportMessage(zipmsg::kOpenFailed, "");
    return kOtherFailure;
  }
  struct Closer {
    int fd;
    ~Closer() {
      if (fd >= 0) ::close(fd);
    }
  } inCloser{in}, out{-1};

  std::uint8_t end[kEndRecordSize];
  const std::int64_t endPos = LocateEndRecord(in, end);
  const std::int64_t cdOffset = endPos < 0 ? -1 : Le32(end + 16);
  const std::int64_t cdSize = endPos < 0 ? -1 : Le32(end + 12);
  if (endPos < 0 || Le16(end + 4) != 0 || cdOffset == 0xFFFFFFFF || cdOffset + cdSize != endPos) {
    ReportMessage(zipmsg::kNotArchive, "");
    return kOtherFailure;
  }
  const std::int64_t tailSize = kEndRecordSize + Le16(end + 20);

  // Where each disk begins in the archive's coordinates; disk 0 also holds the signature.
  std::vector<std::int64_t> diskStart;
  std::string folder = FolderPart(target).empty() ? "." : FolderPart(target);
  const std::string name = FileNamePart(target);
  std::int64_t room = 0;
  std::int64_t onDisk = 0;

  auto nextDisk = [&]() -> int {
    const int diskNo = static_cast<int>(diskStart.size()) + 1;
    for (int attempt = 0; attempt < kPromptAttempts; ++attempt) {
      if (!PromptForDisk(diskNo, folder)) return kCancelled;
      std::int64_t free = FreeSpace(folder);
      if (diskNo == 1) free -= keepFreeOnDisk1_;
      if (maxVolumeSize_ > 0) free = std::min<std::int64_t>(free, maxVolumeSize_);
      if (free < minFreeVolumeSize_) {
        ReportMessage(zipmsg::kNotEnoughSpace, "");
        continue;
      }
      std::ofstream label(JoinPath(folder, kVolumeLabelFile), std::ios::trunc);
      label << Label(diskNo) << '\n';
      if (!label) return kWriteFailed;
      if (out.fd >= 0) ::close(out.fd);
      out.fd =
          ::open(JoinPath(folder, name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (out.fd < 0) return kWriteFailed;
      room = free;
      onDisk = 0;
      return 0;
    }
    return kOtherFailure;
  };
  auto put = [&](const std::uint8_t* p, std::int64_t n) -> int {
    if (!WriteAll(out.fd, p, static_cast<std::size_t>(n))) return kWriteFailed;
    room -= n;
    onDisk += n;
    return 0;
  };

  // Entry data, split wherever a disk is full.
  std::int64_t pos = 0;
  std::array<std::uint8_t, 8192> buf;
  if (int r = nextDisk(); r != 0) return r;
  diskStart.push_back(0);
  std::uint8_t sig[4];
  Put32(sig, kSpanSig);
  if (int r = put(sig, 4); r != 0) return r;
  while (pos < cdOffset) {
    if (room <= 0) {
      if (int r = nextDisk(); r != 0) return r;
      diskStart.push_back(pos);
    }
    const std::int64_t n = std::min<std::int64_t>({cdOffset - pos, room, 8192});
    if (!ReadAt(in, pos, buf.data(), static_cast<std::size_t>(n))) return kOtherFailure;
    if (int r = put(buf.data(), n); r != 0) return r;
    pos += n;
    ProcessMessages();
  }

  // The directory with disk numbers and offsets on the disks, then the end record.
  std::vector<std::uint8_t> cd(static_cast<std::size_t>(cdSize));
  if (!ReadAt(in, cdOffset, cd.data(), cd.size())) return kOtherFailure;
  const int entries = Le16(end + 10);
  std::size_t at = 0;
  for (int i = 0; i < entries; ++i) {
    if (at + kCentralHeaderSize > cd.size() || Le32(&cd[at]) != kCentralSig) return kOtherFailure;
    const std::int64_t local = Le32(&cd[at + 42]);
    if (local == 0xFFFFFFFF || local >= cdOffset) return kOtherFailure;  // ZIP64: not spanned
    std::size_t k = diskStart.size() - 1;
    while (diskStart[k] > local) --k;
    Put16(&cd[at + 34], static_cast<std::uint32_t>(k));
    Put32(&cd[at + 42], static_cast<std::uint32_t>(local - diskStart[k] + (k == 0 ? 4 : 0)));
    at += kCentralHeaderSize + Le16(&cd[at + 28]) + Le16(&cd[at + 30]) + Le16(&cd[at + 32]);
  }
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(tailSize));
  if (!ReadAt(in, endPos, tail.data(), tail.size())) return kOtherFailure;
  if (room < cdSize + tailSize) {
    if (int r = nextDisk(); r != 0) return r;
    diskStart.push_back(pos);
    if (room < cdSize + tailSize) {
      ReportMessage(zipmsg::kNotEnoughSpace, "");
      return kOtherFailure;
    }
  }
  const auto lastDisk = static_cast<std::uint32_t>(diskStart.size() - 1);
  Put16(&tail[4], lastDisk);
  Put16(&tail[6], lastDisk);
  Put32(&tail[16], static_cast<std::uint32_t>(onDisk));
  if (int r = put(cd.data(), cdSize); r != 0) return r;
  if (int r = put(tail.data(), tailSize); r != 0) return r;
  if (::fsync(out.fd) != 0) return kWriteFailed;
  lastSpannedPart_ = JoinPath(folder, name);
  return 0;
}

int TZipArchiver::ReadSpannedArchive(const std::string& archive, const std::string& tempFolder,
                                     std::string& gathered) {
  const int disks = endRecordDisk_ + 1;
  std::string templ = tempFolder + "zipXXXXXX";
  std::vector<char> tname(templ.begin(), templ.end());
  tname.push_back('\0');
  const int out = ::mkstemp(tname.data());  // readable by its owner only
  if (out < 0) {
    ReportMessage(zipmsg::kCopyWriteFailed, "");
    return kWriteFailed;
  }
  gathered = tname.data();
  auto fail = [&](int code) {
    ::close(out);
    ::unlink(gathered.c_str());
    gathered.clear();
    return code;
  };

  // Concatenate the parts; diskBase[k] is where disk k's offset 0 lands in the result.
  std::vector<std::int64_t> diskBase;
  std::int64_t written = 0;
  std::string folder = FolderPart(archive).empty() ? "." : FolderPart(archive);
  const std::string name = FileNamePart(archive);
  std::array<std::uint8_t, 8192> buf;
  for (int k = 0; k < disks; ++k) {
    int in = -1;
    for (int attempt = 0; in < 0 && attempt < kPromptAttempts; ++attempt) {
      if (!PromptForDisk(k + 1, folder)) return fail(kCancelled);
      if (ReadVolumeLabel(folder) != Label(k + 1)) continue;
      in = ::open(JoinPath(folder, name).c_str(), O_RDONLY | O_CLOEXEC);
      if (in < 0) ReportMessage(zipmsg::kOpenFailed, "");
    }
    if (in < 0) return fail(kOtherFailure);
    std::int64_t skip = 0;
    if (k == 0) {
      std::uint8_t sig[4];
      if (ReadAt(in, 0, sig, 4) && Le32(sig) == kSpanSig) skip = 4;
    }
    diskBase.push_back(written - skip);
    std::int64_t pos = skip;
    for (;;) {
      ssize_t n = ::pread(in, buf.data(), buf.size(), pos);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        ::close(in);
        ReportMessage(zipmsg::kCopyReadFailed, "");
        return fail(kOtherFailure);
      }
      if (n == 0) break;
      if (!WriteAll(out, buf.data(), static_cast<std::size_t>(n))) {
        ::close(in);
        ReportMessage(zipmsg::kCopyWriteFailed, "");
        return fail(kWriteFailed);
      }
      pos += n;
      written += n;
      ProcessMessages();
    }
    ::close(in);
  }

  // Back to one volume: absolute offsets, disk numbers 0.
  std::uint8_t end[kEndRecordSize];
  const std::int64_t endPos = LocateEndRecord(out, end);
  const int cdDisk = endPos < 0 ? -1 : Le16(end + 6);
  if (cdDisk < 0 || cdDisk >= disks) return fail(kOtherFailure);
  const std::int64_t cdStart = diskBase[static_cast<std::size_t>(cdDisk)] + Le32(end + 16);
  std::int64_t at = cdStart;
  for (int i = 0, n = Le16(end + 10); i < n; ++i) {
    std::uint8_t h[kCentralHeaderSize];
    if (!ReadAt(out, at, h, sizeof h) || Le32(h) != kCentralSig) return fail(kOtherFailure);
    const int disk = Le16(h + 34);
    if (disk >= disks) return fail(kOtherFailure);
    const std::int64_t local = diskBase[static_cast<std::size_t>(disk)] + Le32(h + 42);
    if (local < 0 || local > 0xFFFFFFFE) return fail(kOtherFailure);
    Put16(h + 34, 0);
    Put32(h + 42, static_cast<std::uint32_t>(local));
    if (::pwrite(out, h, sizeof h, at) != static_cast<ssize_t>(sizeof h)) return fail(kWriteFailed);
    at += kCentralHeaderSize + Le16(h + 28) + Le16(h + 30) + Le16(h + 32);
  }
  if (cdStart < 0 || cdStart > 0xFFFFFFFE) return fail(kOtherFailure);
  Put16(end + 4, 0);
  Put16(end + 6, 0);
  Put16(end + 8, Le16(end + 10));
  Put32(end + 16, static_cast<std::uint32_t>(cdStart));
  if (::pwrite(out, end, sizeof end, endPos) != static_cast<ssize_t>(sizeof end))
    return fail(kWriteFailed);
  ::close(out);
  return 0;
}

}  // namespace pz
