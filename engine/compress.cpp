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
#include "zip/ziparchiver.h"

namespace pz {

namespace {

// Routes the component's message boxes and UI pump to this call's front end, and puts back
// whatever was set before: the component outlives the context.
class HookScope {
 public:
  HookScope(TZipArchiver& zip, EngineContext& ctx)
      : zip_(zip),
        show_(zip.ShowMessageHook),
        pump_(zip.ProcessMessagesHook),
        progress_(zip.OnProgress) {
    Interaction& ui = ctx.ui;
    zip.ShowMessageHook = [&ui](const std::string& text) { ui.ShowMessage(text, MsgIcon::Error); };
    zip.ProcessMessagesHook = [&ui] { ui.ProcessEvents(); };
    // The engine reports the bytes of each step; the front end shows the share of the total.
    zip.OnProgress = [this, &ui](TZipArchiver&, ProgressType type, const std::string&,
                                 std::int64_t size) {
      if (type == SizeTotalKnown) total_ = size;
      if (type == BytesDone) ui.Progress(done_ += size, total_);
    };
  }
  ~HookScope() {
    zip_.ShowMessageHook = show_;
    zip_.ProcessMessagesHook = pump_;
    zip_.OnProgress = progress_;
  }
  HookScope(const HookScope&) = delete;
  HookScope& operator=(const HookScope&) = delete;

 private:
  TZipArchiver& zip_;
  decltype(TZipArchiver::ShowMessageHook) show_;
  decltype(TZipArchiver::ProcessMessagesHook) pump_;
  decltype(TZipArchiver::OnProgress) progress_;
  std::int64_t done_ = 0;
  std::int64_t total_ = 0;
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

// The process id in "temp-PID.pzx", "temp-PID-INSTANCE.pzx" or either with ".XXXXXX" after it;
// 0 for any other name.
pid_t RunOf(const std::string& name) {
  if (name.rfind(kRunPrefix, 0) != 0) return 0;
  std::size_t i = std::strlen(kRunPrefix);
  const std::size_t digits = i;
  long pid = 0;
  while (i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < (1L << 30))
    pid = pid * 10 + (name[i++] - '0');
  if (i == digits) return 0;
  if (i < name.size() && name[i] == '-') {
    const std::size_t instance = ++i;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && i - instance < 9) ++i;
    if (i == instance) return 0;
  }
  if (name.compare(i, std::strlen(kRunSuffix), kRunSuffix) != 0) return 0;
  i += std::strlen(kRunSuffix);
  return i == name.size() || name[i] == '.' ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

std::string RunTempArchive(const std::string& folder, int instance) {
  std::string name = kRunPrefix + std::to_string(::getpid());
  if (instance > 0) name += "-" + std::to_string(instance);
  return JoinPath(folder, name + kRunSuffix);
}

void RemoveLeftoverArchives(const std::string& folder) {
  const DirHandle d(::opendir(folder.c_str()));
  if (d == nullptr) return;
  while (const dirent* e = ::readdir(d.get())) {
    const pid_t pid = RunOf(e->d_name);
    if (pid <= 0 || pid == ::getpid()) continue;
    // A process that still runs, perhaps as another user, keeps its files.
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    ::unlink(JoinPath(folder, e->d_name).c_str());
  }
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
  return packed || busy.Refuse(ctx.Text(tb::kPackFailed), MsgIcon::Warning);
}

bool Datei_Dekomprimieren(const std::string& archiv, const std::string& ordner, EngineContext& ctx,
                          TZipArchiver& zip, const std::string& member) {
  HookScope hooks(zip, ctx);
  BusyScope busy(ctx.ui);
  ctx.ui.Repaint();
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
  return ok || busy.Refuse(ctx.Text(tb::kUnpackFailed), MsgIcon::Warning);
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
