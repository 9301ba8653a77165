// 8-bit code pages at the boundary to UTF-8. Language files and segment headers are 8-bit text
// written on Windows (code page 1252) or UTF-8 written here; ZIP names are in code page 437.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pz {

bool IsValidUtf8(std::string_view s);
// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t cp);
std::string Cp1252ToUtf8(std::string_view bytes);
std::string Cp437ToUtf8(std::string_view bytes);

// Bytes of unknown origin: valid UTF-8 stays as it is, anything else is read as Windows-1252.
std::string EightBitToUtf8(std::string_view bytes);

// nullopt when the text holds a character that Windows-1252 cannot represent.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8);

}  // namespace pz

namespace pz {

// Text for an 8-bit field (segment header name, password): Windows-1252 where every character
// has a byte there, so Windows-written peers read it; UTF-8 bytes otherwise.
std::string Utf8ToEightBit(std::string_view utf8);

}  // namespace pz
