#include "engine/compress.h"

#include "lang/textblocks.h"
#include "zip/ziparchiver.h"

namespace pz {

// Packing is not available until the ZIP engine is built in.
bool Komprimierung_Einleiten_Falls_Noetig(const CompressionRequest&, EngineContext&,
                                          TZipArchiver&) {
  return false;
}

bool Datei_Komprimieren(const std::string&, const std::string&, int, EngineContext& ctx,
                        TZipArchiver&) {
  ctx.ui.ShowMessage(ctx.Text(tb::kPackFailed), MsgIcon::Warning);
  return false;
}

bool Datei_Dekomprimieren(const std::string&, const std::string&, EngineContext& ctx,
                          TZipArchiver&) {
  ctx.ui.ShowMessage(ctx.Text(tb::kUnpackFailed), MsgIcon::Warning);
  return false;
}

}  // namespace pz
