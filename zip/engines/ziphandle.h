// Owners of libzip's handles, for the engines and the self-extractor stub. An archive that is
// not committed is discarded, so a packing run that stops half-way leaves the file as it was.
#pragma once

#include <zip.h>

#include <memory>
#include <string>
#include <utility>

namespace pz {

// Owns an open archive. Move-only.
class ZipHandle {
 public:
  ZipHandle() = default;
  explicit ZipHandle(zip_t* archive) : za_(archive) {}
  ZipHandle(const ZipHandle&) = delete;
  ZipHandle& operator=(const ZipHandle&) = delete;
  ZipHandle(ZipHandle&& o) noexcept : za_(std::exchange(o.za_, nullptr)) {}
  ZipHandle& operator=(ZipHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.za_, nullptr));
    return *this;
  }
  ~ZipHandle() { reset(); }

  // Opens path with libzip's flags; empty, with libzip's error code in error, when it fails.
  static ZipHandle Open(const std::string& path, int flags, int& error) {
    return ZipHandle(zip_open(path.c_str(), flags, &error));
  }

  zip_t* get() const { return za_; }
  bool valid() const { return za_ != nullptr; }
  // Discards the archive held, if any (nothing is written), and takes archive.
  void reset(zip_t* archive = nullptr) {
    if (za_ != nullptr) zip_discard(za_);
    za_ = archive;
  }
  // Writes the changes and closes. When that fails the handle still owns the archive, so that
  // zip_get_error(get()) tells why; it is discarded with the handle.
  bool Commit() {
    if (za_ == nullptr || zip_close(za_) != 0) return false;
    za_ = nullptr;
    return true;
  }

 private:
  zip_t* za_ = nullptr;
};

// libzip's text for the error code zip_open reported.
inline std::string OpenErrorText(int code) {
  zip_error_t e;
  zip_error_init_with_code(&e, code);
  std::string text = zip_error_strerror(&e);
  zip_error_fini(&e);
  return text;
}

// One member opened for reading; closed with its owner.
struct ZipFileCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using ZipFile = std::unique_ptr<zip_file_t, ZipFileCloser>;

}  // namespace pz
