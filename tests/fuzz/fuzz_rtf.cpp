// Hostile rich text: any bytes give a document, and its HTML and text forms, without crashing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lang/codepage.h"
#include "screens/rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  (void)pz::rtf::LooksLikeRtf(bytes);
  const pz::rtf::Document doc = pz::rtf::Parse(bytes);
  const std::string html = pz::rtf::ToHtml(doc);
  const std::string text = pz::rtf::ToPlainText(doc);
  // What reaches the view is well-formed UTF-8.
  if (!pz::IsValidUtf8(html) || !pz::IsValidUtf8(text)) __builtin_trap();
  return 0;
}
