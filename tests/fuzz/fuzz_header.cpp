// Hostile first segments: the header reader and the reader of the age header that follows it in
// an encrypted set must refuse or read them, never misbehave.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypt/age.h"
#include "engine/header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pz::HeaderBytes b;
  b.fill('0');
  std::memcpy(b.data(), data, size < b.size() ? size : b.size());
  pz::HeaderInfo info;
  try {
    if (pz::Header_Rekonstruieren(b, info)) {
      if (info.dataSize < 0) __builtin_trap();  // overflow would show here or to UBSan
      if (info.password && info.passwort.size() > 31) __builtin_trap();
      const std::string plain = pz::PlainFileName(info.name);
      if (plain.find('/') != std::string::npos || plain == "..") __builtin_trap();
    }
  } catch (const pz::HeaderError&) {
  }
  // The bytes after the segment header, as a join reads them.
  if (size > b.size()) {
    pz::age::ScryptHeader h;
    const auto parsed = pz::age::ParseHeader(data + b.size(), size - b.size(), h);
    if (parsed == pz::age::HeaderParse::Complete &&
        (h.raw.size() > size - b.size() || h.workFactor > pz::age::kMaxWorkFactor))
      __builtin_trap();
    if (parsed == pz::age::HeaderParse::Complete) {
      // Any recorded size: the decryptor accepts it or says it cannot be, never misreads it.
      const pz::age::Decryptor d(h, static_cast<std::int64_t>(size) * 1000);
      (void)d.Valid();
    }
  }
  return 0;
}
