#include "engine/compress.h"

#include <fcntl.h>
#include <unistd.h>

#include "lang/textblocks.h"
#include "platform/os.h"
#include "zip/ziparchiver.h"

namespace pz {

namespace {

// Routes the component's message boxes and UI pump to this call's front end, and puts back
// whatever was set before: the component outlives the context.
class HookScope {
 public:
  HookScope(TZipArchiver& zip, EngineContext& ctx)
      : zip_(zip), show_(zip.ShowMessageHook), pump_(zip.ProcessMessagesHook) {
    Interaction& ui = ctx.ui;
    zip.ShowMessageHook = [&ui](const std::string& text) { ui.ShowMessage(text, MsgIcon::Error); };
    zip.ProcessMessagesHook = [&ui] { ui.ProcessEvents(); };
  }
  ~HookScope() {
    zip_.ShowMessageHook = show_;
    zip_.ProcessMessagesHook = pump_;
  }
  HookScope(const HookScope&) = delete;
  HookScope& operator=(const HookScope&) = delete;

 private:
  TZipArchiver& zip_;
  decltype(TZipArchiver::ShowMessageHook) show_;
  decltype(TZipArchiver::ProcessMessagesHook) pump_;
};

void WaitWhileBusy(TZipArchiver& zip, EngineContext& ctx) {
  while (zip.ZipActive() || zip.UnzipActive()) ctx.ui.ProcessEvents();
}

}  // namespace

bool Komprimierung_Einleiten_Falls_Noetig(const CompressionRequest& request, EngineContext& ctx,
                                          TZipArchiver& zip) {
  if (!request.splitMode || !request.compress || request.source.empty() ||
      !FileExists(request.source))
    return false;
  const int level = request.strong ? kLevelStrong : kLevelWeak;
  const std::string archive = ctx.TempArchive();
  if (FileExists(archive)) DeleteFile(archive);
  return Datei_Komprimieren(request.source, archive, level, ctx, zip);
}

bool Datei_Komprimieren(const std::string& quelle, const std::string& archiv, int level,
                        EngineContext& ctx, TZipArchiver& zip) {
  HookScope hooks(zip, ctx);
  ctx.ui.SetBusy(true);
  ctx.ui.Repaint();
  zip.SetAddCompLevel(level);
  zip.LoadZipEngine();
  zip.SetZipFilename(archiv);
  // The archive holds the user's data: it is created readable by its owner only, and the
  // engine keeps the mode of the file it replaces.
  const int fd = ::open(archiv.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  const bool createdHere = fd >= 0;
  if (createdHere) ::close(fd);
  zip.FSpecArgs().clear();
  zip.FSpecArgs().push_back(quelle);
  ctx.ui.StatusText(ctx.Text(tb::kPackBusy) + "...");
  zip.AddFiles();
  WaitWhileBusy(zip, ctx);
  ctx.ui.StatusText("");
  zip.UnloadZipEngine();
  ctx.ui.SetBusy(false);
  if (zip.SuccessCount() != 0) return true;
  if (createdHere) DeleteFile(archiv);  // no empty archive is left behind
  ctx.ui.ShowMessage(ctx.Text(tb::kPackFailed), MsgIcon::Warning);
  return false;
}

bool Datei_Dekomprimieren(const std::string& archiv, const std::string& ordner, EngineContext& ctx,
                          TZipArchiver& zip) {
  HookScope hooks(zip, ctx);
  ctx.ui.SetBusy(true);
  ctx.ui.Repaint();
  zip.LoadUnzipEngine();
  zip.SetZipFilename(archiv);
  zip.SetExtrBaseDir(ordner);
  zip.FSpecArgs().clear();
  ctx.ui.StatusText(ctx.Text(tb::kUnpackBusy) + "...");
  zip.ExtractFiles();
  WaitWhileBusy(zip, ctx);
  ctx.ui.StatusText("");
  zip.UnloadUnzipEngine();
  ctx.ui.SetBusy(false);
  if (zip.SuccessCount() != 0) return true;
  ctx.ui.ShowMessage(ctx.Text(tb::kUnpackFailed), MsgIcon::Warning);
  return false;
}

}  // namespace pz
