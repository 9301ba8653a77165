#include "engine/compress.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "lang/textblocks.h"
#include "platform/filehandle.h"
#include "platform/os.h"
#include "zip/engine_abi.h"
#include "zip/ziparchiver.h"

namespace pz {

namespace {

// Routes the component's message boxes and UI pump to this call's front end, and puts back
// whatever was set before: the component outlives the context.
// The engine's progress reaches the copy's progress display, and its error messages, which
// name the cause (a full disk, a read-only folder), are kept for the closing message.
class HookScope {
 public:
  HookScope(TZipArchiver& zip, EngineContext& ctx)
      : zip_(zip),
        show_(zip.ShowMessageHook),
        pump_(zip.ProcessMessagesHook),
        progress_(zip.OnProgress),
        message_(zip.OnMessage) {
    Interaction& ui = ctx.ui;
    zip.ShowMessageHook = [&ui](const std::string& text) { ui.ShowMessage(text, MsgIcon::Error); };
    zip.ProcessMessagesHook = [&ui] { ui.ProcessEvents(); };
    // What the caller hooked in before still hears everything; the engine reports the bytes
    // of each step, the front end shows the share of the total.
    zip.OnProgress = [this, &ui](TZipArchiver& sender, ProgressType type, const std::string& name,
                                 std::int64_t size) {
      if (progress_) progress_(sender, type, name, size);
      if (type == SizeTotalKnown) total_ = size;
      if (type != BytesDone) return;
      done_ += size;
      ui.Progress(done_, total_);
    };
    zip.OnMessage = [this](TZipArchiver& sender, int error, const std::string& text) {
      if (message_) message_(sender, error, text);
      if (error != 0 && !text.empty()) causes_ += "\n" + text;
    };
  }
  ~HookScope() {
    zip_.ShowMessageHook = show_;
    zip_.ProcessMessagesHook = pump_;
    zip_.OnProgress = progress_;
    zip_.OnMessage = message_;
  }
  HookScope(const HookScope&) = delete;
  HookScope& operator=(const HookScope&) = delete;

  // What the engine said went wrong, a line each, each line beginning with a line break.
  const std::string& causes() const { return causes_; }

 private:
  TZipArchiver& zip_;
  decltype(TZipArchiver::ShowMessageHook) show_;
  decltype(TZipArchiver::ProcessMessagesHook) pump_;
  decltype(TZipArchiver::OnProgress) progress_;
  decltype(TZipArchiver::OnMessage) message_;
  std::int64_t total_ = 0;
  std::int64_t done_ = 0;
  std::string causes_;
};

void WaitWhileBusy(TZipArchiver& zip, EngineContext& ctx) {
  while (zip.ZipActive() || zip.UnzipActive()) ctx.ui.ProcessEvents();
}

// A stored name reduced to its file name: the part after the last "/" or "\".
std::string StoredFileName(const std::string& stored) {
  const auto slash = stored.find_last_of("/\\");
  return slash == std::string::npos ? stored : stored.substr(slash + 1);
}

// The engine takes its file arguments as wildcard patterns; this one matches the name only.
std::string LiteralPattern(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// Picks the one member named `member` from the directory just read; the other members are
// listed in a warning and left packed. False (with a message) when there is no such member.
bool ChooseMember(TZipArchiver& zip, const std::string& member, EngineContext& ctx) {
  std::string chosen;
  bool found = false;
  std::string others;
  for (const auto& e : zip.Contents()) {
    if (!found && StoredFileName(e->FileName) == member) {
      chosen = e->FileName;
      found = true;
    } else if (!e->FileName.empty() && e->FileName.back() != '/') {
      others += "\n  " + e->FileName;
    }
  }
  if (!found) {
    ctx.ui.ShowMessage(ctx.Text(tb::kMemberMissing) + " \"" + member + "\"", MsgIcon::Error);
    return false;
  }
  if (!others.empty())
    ctx.ui.ShowMessage(ctx.Text(tb::kOtherMembersKept) + others, MsgIcon::Warning);
  zip.FSpecArgs().clear();
  zip.FSpecArgs().push_back(LiteralPattern(chosen));
  return true;
}

constexpr const char* kRunPrefix = "temp-";
constexpr const char* kRunSuffix = ".pzx";

// The process id after prefix in name, and where its digits end; 0 when there is none.
pid_t PidAfter(const std::string& name, const char* prefix, std::size_t& end) {
  if (name.rfind(prefix, 0) != 0) return 0;
  std::size_t i = std::strlen(prefix);
  const std::size_t digits = i;
  long pid = 0;
  while (i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < (1L << 30))
    pid = pid * 10 + (name[i++] - '0');
  end = i;
  return i == digits ? 0 : static_cast<pid_t>(pid);
}

// The process id in "temp-PID.pzx", "temp-PID-INSTANCE.pzx" or either with ".XXXXXX" after it;
// 0 for any other name.
pid_t RunOf(const std::string& name) {
  std::size_t i = 0;
  const pid_t pid = PidAfter(name, kRunPrefix, i);
  if (pid == 0) return 0;
  if (i < name.size() && name[i] == '-') {
    const std::size_t instance = ++i;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && i - instance < 9) ++i;
    if (i == instance) return 0;
  }
  if (name.compare(i, std::strlen(kRunSuffix), kRunSuffix) != 0) return 0;
  i += std::strlen(kRunSuffix);
  return i == name.size() || name[i] == '.' ? pid : 0;
}

// The process id in the unpacking engine's ".pzx-unpack-PID-N"; 0 for any other name.
pid_t UnpackRunOf(const std::string& name) {
  std::size_t i = 0;
  const pid_t pid = PidAfter(name, zipabi::kUnpackTempPrefix, i);
  return i < name.size() && name[i] == '-' ? pid : 0;
}

// Removes the files in folder that a process which no longer runs left, as pidOf names them.
void RemoveLeftovers(const std::string& folder, pid_t (*pidOf)(const std::string&)) {
  const DirHandle d(::opendir(folder.c_str()));
  if (d == nullptr) return;
  while (const dirent* e = ::readdir(d.get())) {
    const pid_t pid = pidOf(e->d_name);
    if (pid <= 0 || pid == ::getpid()) continue;
    // A process that still runs, perhaps as another user, keeps its files.
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    ::unlinkat(::dirfd(d.get()), e->d_name, 0);
  }
}

}  // namespace

std::string RunTempArchive(const std::string& folder, int instance) {
  std::string name = kRunPrefix + std::to_string(::getpid());
  if (instance > 0) name += "-" + std::to_string(instance);
  return JoinPath(folder, name + kRunSuffix);
}

void RemoveLeftoverArchives(const std::string& folder) {
  RemoveLeftovers(folder, RunOf);
}

bool Komprimierung_Einleiten_Falls_Noetig(const CompressionRequest& request, EngineContext& ctx,
                                          TZipArchiver& zip) {
  if (!request.splitMode || !request.compress || request.source.empty() ||
      !FileExists(request.source))
    return false;
  const int level = request.strong ? kLevelStrong : kLevelWeak;
  const std::string archive = ctx.TempArchive();
  if (FileExists(archive)) DeleteFile(archive);
  RemoveLeftoverArchives(FolderPart(archive));
  return Datei_Komprimieren(request.source, archive, level, ctx, zip);
}

bool Datei_Komprimieren(const std::string& quelle, const std::string& archiv, int level,
                        EngineContext& ctx, TZipArchiver& zip) {
  HookScope hooks(zip, ctx);
  BusyScope busy(ctx.ui);
  ctx.ui.Repaint();
  zip.SetAddCompLevel(level);
  zip.LoadZipEngine();
  // An engine that cannot be loaded has been reported; AddFiles would load and report it again.
  if (!zip.ZipEngineLoaded()) return busy.Refuse(ctx.Text(tb::kPackFailed), MsgIcon::Warning);
  zip.SetZipFilename(archiv);
  // The archive holds the user's data: it is created readable by its owner only, and the
  // engine keeps the mode of the file it replaces.
  const bool createdHere =
      FileHandle(::open(archiv.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)).valid();
  zip.FSpecArgs().clear();
  zip.FSpecArgs().push_back(quelle);
  ctx.ui.StatusText(ctx.Text(tb::kPackBusy) + "...");
  zip.AddFiles();
  WaitWhileBusy(zip, ctx);
  ctx.ui.StatusText("");
  zip.UnloadZipEngine();
  const bool packed = zip.SuccessCount() != 0;
  if (!packed && createdHere) DeleteFile(archiv);  // no empty archive is left behind
  // A stop the user asked for ended the engine: that, not a failed packing, is what to say.
  if (!packed) ctx.ui.ProcessEvents();
  return packed || busy.Refuse(ctx.Text(tb::kPackFailed) + hooks.causes(), MsgIcon::Warning);
}

bool Datei_Dekomprimieren(const std::string& archiv, const std::string& ordner, EngineContext& ctx,
                          TZipArchiver& zip, const std::string& member) {
  HookScope hooks(zip, ctx);
  BusyScope busy(ctx.ui);
  ctx.ui.Repaint();
  // What an unpack into this folder that was killed left behind goes first.
  RemoveLeftovers(ordner, UnpackRunOf);
  zip.LoadUnzipEngine();
  bool ok = zip.UnzipEngineLoaded();  // a missing engine has been reported once already
  zip.SetZipFilename(archiv);
  zip.SetExtrBaseDir(ordner);
  zip.FSpecArgs().clear();
  if (ok && !member.empty()) ok = ChooseMember(zip, member, ctx);
  if (ok) {
    ctx.ui.StatusText(ctx.Text(tb::kUnpackBusy) + "...");
    zip.ExtractFiles();
    WaitWhileBusy(zip, ctx);
    ctx.ui.StatusText("");
    // Done means the file the split recorded is there now, not merely that something was.
    ok = zip.SuccessCount() != 0 && (member.empty() || FileExists(JoinPath(ordner, member)));
  }
  zip.FSpecArgs().clear();
  zip.UnloadUnzipEngine();
  return ok || busy.Refuse(ctx.Text(tb::kUnpackFailed) + hooks.causes(), MsgIcon::Warning);
}

bool Gepackte_Trennung_Pruefen(bool packen, bool komprimiert, const std::string& archiv,
                               const std::string& quelle, EngineContext& ctx, TZipArchiver& zip) {
  if (!packen) return true;
  bool ok = komprimiert && FileExists(archiv);
  if (ok) {
    // What is wrong in detail was told when the archive was made; here one message says it.
    const bool unattended = zip.Unattended();
    zip.SetUnattended(true);
    zip.SetZipFilename(archiv);  // reads the directory; a damaged one is cleared
    zip.SetUnattended(unattended);
    const auto& contents = zip.Contents();
    ok = !zip.ZipFilename().empty() && contents.size() == 1 &&
         StoredFileName(contents[0]->FileName) == FileNamePart(quelle) &&
         static_cast<std::int64_t>(contents[0]->Size) == FileSize(quelle) &&
         static_cast<std::int64_t>(contents[0]->LocalOffset + contents[0]->ComprSize64) <=
             zip.CentralOffset();
  }
  return ok || Refuse(ctx.ui, ctx.Text(tb::kTempArchiveInvalid), MsgIcon::Error);
}

}  // namespace pz
