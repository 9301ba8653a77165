#include "engine/engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/filecopy.h"
#include "engine/header.h"
#include "engine/segments.h"
#include "lang/codepage.h"
#include "lang/textblocks.h"
#include "platform/os.h"

namespace pz {

namespace {

std::string Quoted(const std::string& path) {
  return " \"" + path + "\"";
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

std::int64_t OpenSize(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return -1;
  return st.st_size;
}

}  // namespace

EngineContext::EngineContext(Interaction& u, const TextSource& t, std::string pfad)
    : ui(u), texts(t), programmPfad(std::move(pfad)), freeSpace(FreeSpace) {}

std::string EngineContext::TempArchive() const {
  return tempArchive.empty() ? TempArchivPfad(programmPfad) : tempArchive;
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

bool Datei_Trennen(const SplitJob& job, EngineContext& ctx) {
  Interaction& ui = ctx.ui;
  const std::int64_t size = Dateigroesse_Ermitteln(job.quelle, ctx);

  // Refuse what the format cannot hold before anything is asked, written or deleted.
  if (size > kMaxDataSize) {
    ui.SetBusy(false);
    ui.ShowMessage(ctx.Text(tb::kSourceTooLarge), MsgIcon::Error);
    return false;
  }
  if (!job.automatisch && job.trennGroesse <= static_cast<std::int64_t>(kHeaderSize)) {
    ui.SetBusy(false);
    ui.ShowMessage(ctx.Text(tb::kSegmentSizeTooSmall), MsgIcon::Error);
    return false;
  }

  HeaderBytes header;
  try {
    Header_Aufbauen(header, size, {FileNamePart(job.quellName), job.komprimiert, job.passwort}, ui);
  } catch (const HeaderError& e) {
    ui.SetBusy(false);
    ui.ShowMessage(ctx.Text(e.kind() == HeaderError::Kind::NameTooLong ? tb::kNameTooLong
                                                                       : tb::kPasswordTooLong),
                   MsgIcon::Error);
    return false;
  }

  FileHandle in(::open(job.quelle.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) Fail(ctx, tb::kReadFailed, job.quelle, errno);

  std::string folder = job.zielPfad;
  std::int64_t remaining = size;
  std::int64_t position = 0;  // where the next payload starts in the source
  std::int64_t i = 1;
  bool firstDone = false;  // an empty source still gets its header-only first segment
  while (remaining > 0 || !firstDone) {
    if (i - 1 > 0xFFFF) throw EngineError(ctx.Text(tb::kSplitFailed));

    std::int64_t room;
    if (job.automatisch) {
      room = HasDrivePart(folder) ? ctx.freeSpace(folder) : 0;
      if (i == 1) room -= static_cast<std::int64_t>(kHeaderSize);
    } else {
      room = i == 1 ? job.trennGroesse - static_cast<std::int64_t>(kHeaderSize) : job.trennGroesse;
    }
    const std::int64_t payload = std::min(room, remaining);
    const std::string segment =
        SegmentDateiPfad(folder, job.zielName, static_cast<std::uint16_t>(i - 1));

    // Truncating a segment file that is the source would destroy the data being cut.
    if (SameFile(segment, job.quelle) || SameFile(segment, job.quellName)) {
      ui.SetBusy(false);
      ui.ShowMessage(ctx.Text(tb::kSegmentIsSource) + Quoted(segment), MsgIcon::Error);
      return false;
    }

    FileHandle out(::open(segment.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!out.valid()) Fail(ctx, tb::kSegmentCreateFailed, segment, errno);

    bool failed = false;
    std::int64_t copied = 0;
    if (i == 1 && !WriteAll(out.get(), header.data(), header.size())) {
      // A full volume is the volume prompt's business; anything else ends the split.
      if (!VolumeFull(errno)) Fail(ctx, tb::kSegmentCreateFailed, segment, errno);
      failed = true;
    }
    if (!failed && remaining > 0 && payload <= 0) failed = true;
    if (!failed && payload > 0) {
      const std::int64_t done = size - remaining;
      const CopyResult r = CopyBytes(in.get(), &position, out.get(), payload,
                                     [&](std::int64_t n) { ui.Progress(done + n, size); });
      copied = r.copied;
      if (r.status == CopyResult::Status::ReadError)
        Fail(ctx, tb::kReadFailed, job.quelle, r.error);
      if (r.status == CopyResult::Status::ShortSource) Fail(ctx, tb::kReadFailed, job.quelle, 0);
      failed = r.status == CopyResult::Status::WriteError;
    }
    // A volume is swapped after each segment in the automatic mode: the data must be on it.
    if (!failed && job.automatisch && ::fsync(out.get()) != 0) failed = true;
    if (!failed && !out.Close()) failed = true;

    if (failed) {
      out.Close();
      ui.SetBusy(false);
      ui.ShowMessage(ctx.Text(tb::kSegmentWriteFailed1) + "\n" + ctx.Text(tb::kSegmentWriteFailed2),
                     MsgIcon::Error);
      std::string confirmed = folder;
      if (ui.Datentraeger_Anfordern(confirmed) != Interaction::kOk) {
        ui.ShowMessage(ctx.Text(tb::kSplitCancelled), MsgIcon::Information);
        in.Close();
        DeleteFile(segment);
        return false;
      }
      // The same segment is written again in full on the confirmed volume.
      folder = confirmed;
      position -= copied;
      ui.SetBusy(true);
      continue;
    }

    remaining -= copied;
    firstDone = true;
    if (job.automatisch && remaining > 0 && copied > 0) {
      std::string confirmed = folder;
      if (ui.Datentraeger_Anfordern(confirmed) != Interaction::kOk) {
        ui.SetBusy(false);
        ui.ShowMessage(ctx.Text(tb::kSplitCancelled), MsgIcon::Information);
        return false;
      }
      folder = confirmed;
      ui.Repaint();
    }
    ++i;
  }
  return true;
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
  for (std::uint32_t n = 1; n <= 0xFFFF; ++n) {
    path = SegmentPfadAusVorgaenger(path, static_cast<std::uint16_t>(n));
    if (!FileExists(path)) return false;
    if (SameFile(output, path)) return true;
  }
  return false;
}

}  // namespace

bool Trennsegmente_Zusammenfuehren(const JoinJob& job, EngineContext& ctx) {
  Interaction& ui = ctx.ui;

  FileHandle first(::open(job.ersteSegment.c_str(), O_RDONLY | O_CLOEXEC));
  if (!first.valid()) Fail(ctx, tb::kReadFailed, job.ersteSegment, errno);
  HeaderBytes header;
  const ssize_t got = ::pread(first.get(), header.data(), header.size(), 0);
  if (got < 0) Fail(ctx, tb::kReadFailed, job.ersteSegment, errno);
  if (got != static_cast<ssize_t>(header.size())) {
    Fail(ctx, tb::kHeaderTooShort, job.ersteSegment, 0);
  }

  HeaderInfo info;
  try {
    if (!Header_Rekonstruieren(header, info)) return false;
  } catch (const HeaderError& e) {
    throw EngineError(ctx.Text(tb::kHeaderDamaged) + Quoted(job.ersteSegment) + " (" + e.what() +
                      ")");
  }

  const std::string typed = info.password ? Utf8ToEightBit(ui.Passwort2_Abfragen()) : "";
  if (typed != info.passwort) {
    ui.SetBusy(false);
    ui.ShowMessage(ctx.Text(tb::kWrongPassword), MsgIcon::Error);
    return false;
  }

  const std::string target = JoinPath(job.zielPfad, job.zielName);
  const std::string output = info.compressed ? ctx.TempArchive() : target;
  if (OutputIsSegment(output, job.ersteSegment)) {
    ui.SetBusy(false);
    ui.ShowMessage(ctx.Text(tb::kOutputIsSegment) + Quoted(output), MsgIcon::Error);
    return false;
  }

  // The temporary archive holds the user's data: readable by the owner only.
  const mode_t mode = info.compressed ? 0600 : 0666;
  FileHandle out(::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (!out.valid()) Fail(ctx, tb::kOutputCreateFailed, output, errno);
  if (info.compressed) ::fchmod(out.get(), 0600);

  const std::int64_t firstData = OpenSize(first.get()) - static_cast<std::int64_t>(kHeaderSize);
  std::int64_t written = 0;
  std::string path = job.ersteSegment;
  for (std::int64_t i = 1; written < info.dataSize; ++i) {
    path = SegmentPfadAusVorgaenger(path, static_cast<std::uint16_t>((i - 1) & 0xFFFF));
    while (!FileExists(path)) {
      std::string confirmed = path;
      if (ui.Datentraeger_Anfordern(confirmed) != Interaction::kOk) {
        ui.SetBusy(false);
        ui.ShowMessage(ctx.Text(tb::kJoinCancelled), MsgIcon::Information);
        return false;
      }
      path = confirmed;
    }

    FileHandle segment;
    int source = first.get();
    std::int64_t offset = static_cast<std::int64_t>(kHeaderSize);
    std::int64_t available = firstData;
    if (i > 1) {
      if (SameFile(path, output)) {
        ui.SetBusy(false);
        ui.ShowMessage(ctx.Text(tb::kOutputIsSegment) + Quoted(path), MsgIcon::Error);
        return false;
      }
      segment = FileHandle(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
      if (!segment.valid()) Fail(ctx, tb::kReadFailed, path, errno);
      source = segment.get();
      offset = 0;
      available = OpenSize(source);
    }

    // Never more than the header records: surplus bytes mean the segments do not belong together.
    const std::int64_t take = std::min(available, info.dataSize - written);
    const std::int64_t before = written;
    const CopyResult r = CopyBytes(source, &offset, out.get(), take,
                                   [&](std::int64_t n) { ui.Progress(before + n, info.dataSize); });
    if (r.status == CopyResult::Status::ReadError) Fail(ctx, tb::kReadFailed, path, r.error);
    if (r.status == CopyResult::Status::ShortSource) Fail(ctx, tb::kReadFailed, path, 0);
    if (r.status == CopyResult::Status::WriteError) {
      Fail(ctx, tb::kOutputWriteFailed, output, r.error);
    }
    written += r.copied;
    if (i == 1) first.Close();
    if (available > take) {
      ui.SetBusy(false);
      ui.ShowMessage(ctx.Text(tb::kSegmentsTooLong) + Quoted(path), MsgIcon::Error);
      return false;
    }
  }
  if (info.dataSize == 0 && firstData > 0) {
    ui.SetBusy(false);
    ui.ShowMessage(ctx.Text(tb::kSegmentsTooLong) + Quoted(job.ersteSegment), MsgIcon::Error);
    return false;
  }
  if (!out.Close()) Fail(ctx, tb::kOutputWriteFailed, output, errno);

  if (!info.compressed) return true;
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) {
    ui.SetBusy(false);
    ui.ShowMessage(ctx.Text(tb::kUnpackTargetExists) + Quoted(target), MsgIcon::Error);
    return false;
  }
  if (!ctx.dekomprimieren) {
    ui.SetBusy(false);
    ui.ShowMessage(ctx.Text(tb::kUnpackFailed), MsgIcon::Warning);
    return false;
  }
  return ctx.dekomprimieren(output, job.zielPfad);
}

}  // namespace pz
