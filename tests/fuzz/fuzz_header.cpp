// Hostile first segments: the header reader must refuse or read them, never misbehave.
#include <cstddef>
#include <cstdint>
#include <cstring>

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
  return 0;
}
