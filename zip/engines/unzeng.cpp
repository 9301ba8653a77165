// UNZENG.DLL: the unpacking engine over libzip. Reads the new unzip command block and unpacks
// into the current folder, which the component has made the target folder; nothing is ever
// written outside that folder (see unpack.h).
#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <string>
#include <vector>

#include "zip/engine_abi.h"
#include "zip/engines/unpack.h"

namespace {

using namespace pz::zipabi;
namespace up = pz::unpack;

constexpr std::int32_t kEngineVersion = 160;  // takes the new block layout

int Extract(const UnzipBlockNew& b) {
  const UnzipBlockHead& h = b.head;
  up::CallbackReporter rep(h.callback, h.caller);
  if (h.version != kUnzipInterfaceVersion || h.archive == 0) {
    rep.Message(up::kErrArchive, "Unknown command block");
    return 0;
  }
  up::Options o;
  o.dirNames = h.dirNames != kFalse;
  o.overwrite = h.overwrite != kFalse;
  o.update = h.update != kFalse;
  o.freshen = h.freshen != kFalse && !o.update;
  o.test = h.test != kFalse;
  o.verbose = h.verbose != kFalse || h.trace != kFalse;
  const auto* records = reinterpret_cast<const UnzipSpec*>(b.specArray);
  for (std::int32_t i = 0; records != nullptr && i < h.count; ++i)
    if (records[i].fileSpec != 0)
      o.specs.emplace_back(reinterpret_cast<const char*>(records[i].fileSpec));

  const std::string archive = reinterpret_cast<const char*>(h.archive);
  int errorp = 0;
  zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &errorp);
  if (za == nullptr) {
    zip_error_t e;
    zip_error_init_with_code(&e, errorp);
    rep.Message(up::kErrArchive, "Cannot open archive " + archive + ": " + zip_error_strerror(&e));
    zip_error_fini(&e);
    return 0;
  }
  const char* password = h.password != 0 ? reinterpret_cast<const char*>(h.password) : "";
  if (*password != '\0') zip_set_default_password(za, password);
  const int dir = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int done = 0;
  if (dir < 0)
    rep.Message(up::kErrWrite, "Cannot open the target folder");
  else
    done = up::Unpack(za, dir, o, rep);
  if (dir >= 0) ::close(dir);
  zip_discard(za);  // opened read-only: nothing to write back
  return done;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) std::int32_t GetUnzEngVersion() {
  return kEngineVersion;
}

__attribute__((visibility("default"))) std::int32_t UnzEngExec(void* block) {
  if (block == nullptr) return 0;
  try {
    return Extract(*static_cast<const UnzipBlockNew*>(block));
  } catch (...) {
    return 0;  // nothing unwinds into the caller
  }
}

}  // extern "C"
