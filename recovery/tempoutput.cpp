#include "recovery/tempoutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "recovery/recoveryset.h"

namespace pz::recovery {

namespace {
mode_t CurrentUmask() {
  const mode_t m = ::umask(0);
  ::umask(m);
  return m;
}
}  // namespace

void FailOn(const std::string& what, const std::string& path, int err) {
  throw RecoveryError(
      what + " \"" + path + "\"" +
      (err != 0 ? ": " + std::error_code(err, std::generic_category()).message() : ""));
}

TempOutput::TempOutput(std::string finalPath) : final_(std::move(finalPath)) {
  path_ = final_ + ".partial-XXXXXX";
  fd_ = FileHandle(::mkostemp(path_.data(), O_CLOEXEC));
  if (!fd_.valid()) FailOn("cannot create", final_, errno);
}

TempOutput::~TempOutput() {
  if (!committed_) ::unlink(path_.c_str());
}

void TempOutput::Commit() {
  if (::fchmod(fd_.get(), 0666 & ~CurrentUmask()) != 0 || !fd_.Close())
    FailOn("cannot write", final_, errno);
  if (::rename(path_.c_str(), final_.c_str()) != 0) FailOn("cannot write", final_, errno);
  committed_ = true;
}

}  // namespace pz::recovery
