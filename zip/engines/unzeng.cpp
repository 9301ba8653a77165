// UNZENG.DLL: the unpacking engine over libzip. Reads the new unzip command block and unpacks
// into the current folder, which the component has made the target folder; nothing is ever
// written outside that folder (see unpack.h).
#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <string>
#include <vector>

#include "platform/filehandle.h"
#include "zip/engine_abi.h"
#include "zip/engines/unpack.h"
#include "zip/engines/ziphandle.h"

namespace {

using namespace pz::zipabi;
namespace up = pz::unpack;

constexpr std::int32_t kEngineVersion = 160;  // takes the new block layout

// The unpacking options and file masks the block carries.
up::Options ReadOptions(const UnzipBlockNew& b) {
  const UnzipBlockHead& h = b.head;
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
  return o;
}

int Extract(const UnzipBlockNew& b) {
  const UnzipBlockHead& h = b.head;
  up::CallbackReporter rep(h.callback, h.caller);
  if (h.version != kUnzipInterfaceVersion || h.archive == 0) {
    rep.Message(up::kErrArchive, "Unknown command block");
    return 0;
  }
  const up::Options o = ReadOptions(b);
  const std::string archive = reinterpret_cast<const char*>(h.archive);
  int errorp = 0;
  // Opened read-only: the handle discards it, nothing is written back.
  const pz::ZipHandle za = pz::ZipHandle::Open(archive, ZIP_RDONLY, errorp);
  if (!za.valid()) {
    rep.Message(up::kErrArchive,
                "Cannot open archive " + archive + ": " + pz::OpenErrorText(errorp));
    return 0;
  }
  const char* password = h.password != 0 ? reinterpret_cast<const char*>(h.password) : "";
  if (*password != '\0') zip_set_default_password(za.get(), password);
  const pz::FileHandle dir(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) {
    rep.Message(up::kErrWrite, "Cannot open the target folder");
    return 0;
  }
  return up::Unpack(za.get(), dir.get(), o, rep);
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
