// libFuzzer entry: any bytes as an archive for the directory reader.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "zip/ziparchiver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An in-memory file keeps the fuzzer off the disk.
  const int fd = ::memfd_create("zipdir", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, data, size) != static_cast<ssize_t>(size)) {
    ::close(fd);
    return 0;
  }
  pz::TZipArchiver zip;
  zip.SetUnattended(true);
  int messages = 0;
  zip.OnMessage = [&messages](pz::TZipArchiver&, int, const std::string&) { ++messages; };
  zip.SetCodePage(size > 0 && (data[0] & 1) ? pz::cpOEM : pz::cpAuto);
  zip.SetZipFilename("/proc/self/fd/" + std::to_string(fd));
  // Whatever was read must be self-consistent.
  for (const auto& e : zip.Contents())
    if (e->FileName.size() > 4 * static_cast<std::size_t>(e->FileNameLength)) __builtin_trap();
  ::close(fd);
  return 0;
}
