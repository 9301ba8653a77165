// Hostile language files: loading and every lookup must stay within the file's lines.
#include <cstddef>
#include <cstdint>
#include <string>

#include "lang/language.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pz::TPXLanguage lang;
  lang.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size));
  for (std::uint32_t block : {0u, 1u, 7u, 42u, 100u, 255u, 1000u, 65535u}) {
    (void)lang.GetText(static_cast<std::uint16_t>(block));
  }
  if (lang.LanguageName().size() > 255 * 4) __builtin_trap();
  return 0;
}
