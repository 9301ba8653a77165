#include "engine/header.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "lang/codepage.h"

namespace pz {

namespace {

constexpr unsigned char kFill = '0';

std::string ApplyKeyTable(const std::string& text, std::int32_t seed) {
  std::uint32_t state = static_cast<std::uint32_t>(seed);
  unsigned char key[100];
  for (unsigned char& k : key) {
    state = state * 134775813u + 1u;
    k = static_cast<unsigned char>((static_cast<std::uint64_t>(state) * 255u) >> 32);
  }
  std::string out = text.substr(0, 255);
  for (std::size_t j = 0; j < out.size(); ++j) out[j] = static_cast<char>(out[j] ^ key[j % 100]);
  return out;
}

// Writes the count of digits as the format does: "0" and the digit below 10, else the digits
// cut to the field width.
void WriteCount(HeaderBytes& b, std::size_t offset, std::size_t width, std::size_t value) {
  std::string digits = std::to_string(value);
  while (digits.size() < width) digits.insert(digits.begin(), '0');
  for (std::size_t k = 0; k < width; ++k) b[offset + k] = static_cast<unsigned char>(digits[k]);
}

int Digit(const HeaderBytes& b, std::size_t offset) {
  const unsigned char c = b[offset];
  if (c < '0' || c > '9') {
    throw HeaderError(HeaderError::Kind::Damaged,
                      "not a digit at offset " + std::to_string(offset));
  }
  return c - '0';
}

// The Windows-1252 form of a text where it has one; else the UTF-8 text and utf8 set.
std::string ForField(const std::string& text, bool& utf8) {
  const std::optional<std::string> cp = Utf8ToCp1252(text);
  utf8 = !cp;
  return cp ? *cp : text;
}

unsigned char EncodingMark(bool utf8Name, bool utf8Password) {
  if (utf8Name && utf8Password) return kMarkUtf8Both;
  if (utf8Name) return kMarkUtf8Name;
  return utf8Password ? kMarkUtf8Password : kFill;
}

}  // namespace

std::size_t StoredPasswordBytes(const std::string& utf8) {
  bool isUtf8 = false;
  return ForField(utf8, isUtf8).size();
}

std::string Passwort_Kodieren(const std::string& text, std::int32_t seed) {
  return ApplyKeyTable(text, seed);
}

std::string Passwort_Dekodieren(const std::string& text, std::int32_t seed) {
  return ApplyKeyTable(text, seed);
}

void Header_Aufbauen(HeaderBytes& b, std::int64_t dataSize, const HeaderInput& input,
                     Interaction& ui) {
  // Unassigned bytes get the filler too, so two splits of one file give identical headers.
  b.fill(kFill);

  bool utf8Name = false;
  const std::string name = ForField(input.sourceName, utf8Name);
  if (name.size() > kMaxStoredNameBytes) {
    throw HeaderError(HeaderError::Kind::NameTooLong, input.sourceName);
  }
  WriteCount(b, 0, 3, name.size());
  std::memcpy(&b[3], name.data(), name.size());

  b[302] = 'P';
  b[303] = 'X';
  b[309] = input.compressed ? '1' : '0';
  b[310] = input.protect ? '1' : '0';

  bool utf8Password = false;
  if (input.protect) {
    const std::string typed = ForField(ui.Passwort_Abfragen(), utf8Password);
    ui.Repaint();
    if (typed.empty()) {
      b[310] = '0';
    } else {
      if (typed.size() > kMaxPasswordChars) {
        throw HeaderError(HeaderError::Kind::PasswordTooLong, "");
      }
      const std::string scrambled = Passwort_Kodieren(typed, kPasswortSeed);
      WriteCount(b, 317, 2, scrambled.size());
      std::memcpy(&b[319], scrambled.data(), scrambled.size());
    }
  }
  b[kEncodingMarkOffset] = EncodingMark(utf8Name, utf8Password && b[310] == '1');

  const std::string size = std::to_string(dataSize);
  WriteCount(b, 350, 2, size.size());
  std::memcpy(&b[352], size.data(), size.size());
}

bool Header_Rekonstruieren(HeaderBytes b, HeaderInfo& info) {
  if (b[302] != 'P' || b[303] != 'X') return false;
  HeaderInfo out;
  const int nameLength = 100 * Digit(b, 0) + 10 * Digit(b, 1) + Digit(b, 2);
  out.nameLength = static_cast<std::uint16_t>(nameLength);
  // A builder stores at most the 296 bytes of the name field, whatever length it records.
  const int stored = std::min(nameLength, static_cast<int>(kMaxStoredNameBytes));
  const unsigned char mark = b[kEncodingMarkOffset];
  const bool utf8Name = mark == kMarkUtf8Name || mark == kMarkUtf8Both;
  const bool utf8Password = mark == kMarkUtf8Password || mark == kMarkUtf8Both;
  const std::string name(reinterpret_cast<const char*>(&b[3]), static_cast<std::size_t>(stored));
  // Never guessed from the bytes: a Windows-1252 name may well be valid UTF-8 as well.
  out.name = utf8Name && IsValidUtf8(name) ? name : Cp1252ToUtf8(name);
  out.compressed = b[309] == '1';
  out.password = b[310] == '1';
  const int passwordLength = 10 * Digit(b, 317) + Digit(b, 318);
  if (out.password) {
    if (passwordLength > 31) {
      throw HeaderError(HeaderError::Kind::Damaged,
                        "password length " + std::to_string(passwordLength));
    }
    const std::string plain =
        Passwort_Dekodieren(std::string(reinterpret_cast<const char*>(&b[319]),
                                        static_cast<std::size_t>(passwordLength)),
                            kPasswortSeed);
    out.passwort = utf8Password ? Utf8ToEightBit(plain) : plain;
  }
  const int sizeLength = 10 * Digit(b, 350) + Digit(b, 351);
  if (sizeLength < 1 || sizeLength > static_cast<int>(kMaxSizeDigits)) {
    throw HeaderError(HeaderError::Kind::Damaged, "size digit count " + std::to_string(sizeLength));
  }
  std::int64_t size = 0;
  for (int k = 0; k < sizeLength; ++k) {
    const int digit = Digit(b, 352 + static_cast<std::size_t>(k));
    if (size > (kMaxDataSize - digit) / 10) {
      throw HeaderError(HeaderError::Kind::Damaged, "size beyond " + std::to_string(kMaxDataSize));
    }
    size = size * 10 + digit;
  }
  out.dataSize = size;
  info = out;
  return true;
}

std::string PlainFileName(const std::string& name) {
  const auto cut = name.find_last_of("/\\");
  std::string plain = cut == std::string::npos ? name : name.substr(cut + 1);
  std::string out;
  for (char c : plain) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  if (out == "." || out == "..") return "";
  return out;
}

}  // namespace pz
