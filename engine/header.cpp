#include "engine/header.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "crypt/age.h"
#include "lang/codepage.h"

namespace pz {

namespace {

using hdr::kFill;

// The key table: kKeyCount bytes of a linear-congruential generator, repeated over the text.
constexpr std::size_t kKeyCount = 100;
constexpr std::uint32_t kKeyMultiplier = 134775813u;
constexpr std::uint32_t kKeyIncrement = 1u;
constexpr std::uint64_t kKeyRange = 255u;        // a key byte is state * 255 / 2^32
constexpr std::size_t kMaxScrambledBytes = 255;  // the rest of a longer text is cut off

std::string ApplyKeyTable(const std::string& text, std::int32_t seed) {
  std::uint32_t state = static_cast<std::uint32_t>(seed);
  unsigned char key[kKeyCount];
  for (unsigned char& k : key) {
    state = state * kKeyMultiplier + kKeyIncrement;
    k = static_cast<unsigned char>((static_cast<std::uint64_t>(state) * kKeyRange) >> 32);
  }
  std::string out = text.substr(0, kMaxScrambledBytes);
  for (std::size_t j = 0; j < out.size(); ++j)
    out[j] = static_cast<char>(out[j] ^ key[j % kKeyCount]);
  return out;
}

// Writes the count of digits as the format does: "0" and the digit below 10, else the digits
// cut to the field width.
void WriteCount(HeaderBytes& b, const HeaderField& field, std::size_t value) {
  std::string digits = std::to_string(value);
  while (digits.size() < field.width) digits.insert(digits.begin(), '0');
  for (std::size_t k = 0; k < field.width; ++k)
    b[field.offset + k] = static_cast<unsigned char>(digits[k]);
}

// Copies text (no longer than the field) to the start of the field.
void WriteText(HeaderBytes& b, const HeaderField& field, const std::string& text) {
  std::memcpy(&b[field.offset], text.data(), text.size());
}

std::string ReadText(const HeaderBytes& b, const HeaderField& field, std::size_t length) {
  return std::string(reinterpret_cast<const char*>(&b[field.offset]), length);
}

unsigned char Flag(bool set) {
  return set ? hdr::kFlagSet : hdr::kFlagClear;
}

int Digit(const HeaderBytes& b, std::size_t offset) {
  const unsigned char c = b[offset];
  if (c < '0' || c > '9') {
    throw HeaderError(HeaderError::Kind::Damaged,
                      "not a digit at offset " + std::to_string(offset));
  }
  return c - '0';
}

// The number a count field holds, read from the left.
int ReadCount(const HeaderBytes& b, const HeaderField& field) {
  int value = 0;
  for (std::size_t k = 0; k < field.width; ++k) value = value * 10 + Digit(b, field.offset + k);
  return value;
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

std::string Passwort_Kodieren(const std::string& text, std::int32_t seed) {
  return ApplyKeyTable(text, seed);
}

std::string Passwort_Dekodieren(const std::string& text, std::int32_t seed) {
  return ApplyKeyTable(text, seed);
}

std::string Header_Aufbauen(HeaderBytes& b, std::int64_t plainSize, const HeaderInput& input,
                            Interaction& ui) {
  // Unassigned bytes get the filler too, so two splits of one file give identical headers.
  b.fill(kFill);

  bool utf8Name = false;
  const std::string name = ForField(input.sourceName, utf8Name);
  if (name.size() > kMaxStoredNameBytes) {
    throw HeaderError(HeaderError::Kind::NameTooLong, input.sourceName);
  }
  WriteCount(b, hdr::kNameLength, name.size());
  WriteText(b, hdr::kName, name);
  b[kEncodingMarkOffset] = EncodingMark(utf8Name, false);

  std::memcpy(&b[hdr::kMarker.offset], hdr::kMarkerBytes, hdr::kMarker.width);
  b[hdr::kCompressed.offset] = Flag(input.compressed);

  std::string passphrase = input.protect ? ui.Passwort_Abfragen() : "";
  if (input.protect) ui.Repaint();
  if (passphrase.size() > kMaxPassphraseBytes) {
    age::Wipe(passphrase);
    throw HeaderError(HeaderError::Kind::PasswordTooLong, "");
  }
  // The password field keeps its filler and the length "00": nothing of the password is stored.
  const bool encrypted = !passphrase.empty();
  b[hdr::kProtected.offset] = Flag(encrypted);
  if (encrypted) b[kEncryptionMarkOffset] = kMarkAgeEncrypted;

  const std::string size =
      std::to_string(encrypted ? age::EncryptedSize(plainSize, input.workFactor) : plainSize);
  WriteCount(b, hdr::kSizeLength, size.size());
  WriteText(b, hdr::kSize, size);
  return passphrase;
}

bool Header_Rekonstruieren(HeaderBytes b, HeaderInfo& info) {
  if (std::memcmp(&b[hdr::kMarker.offset], hdr::kMarkerBytes, hdr::kMarker.width) != 0)
    return false;
  HeaderInfo out;
  const int nameLength = ReadCount(b, hdr::kNameLength);
  out.nameLength = static_cast<std::uint16_t>(nameLength);
  // A builder stores at most the 296 bytes of the name field, whatever length it records.
  const int stored = std::min(nameLength, static_cast<int>(kMaxStoredNameBytes));
  const unsigned char mark = b[kEncodingMarkOffset];
  const bool utf8Name = mark == kMarkUtf8Name || mark == kMarkUtf8Both;
  const bool utf8Password = mark == kMarkUtf8Password || mark == kMarkUtf8Both;
  const std::string name = ReadText(b, hdr::kName, static_cast<std::size_t>(stored));
  // Never guessed from the bytes: a Windows-1252 name may well be valid UTF-8 as well.
  out.name = utf8Name && IsValidUtf8(name) ? name : Cp1252ToUtf8(name);
  out.compressed = b[hdr::kCompressed.offset] == hdr::kFlagSet;
  out.password = b[hdr::kProtected.offset] == hdr::kFlagSet;
  const int passwordLength = ReadCount(b, hdr::kPasswordLength);
  out.encrypted =
      out.password && b[kEncryptionMarkOffset] == kMarkAgeEncrypted && passwordLength == 0;
  if (out.password && !out.encrypted) {
    if (passwordLength > static_cast<int>(hdr::kPassword.width)) {
      throw HeaderError(HeaderError::Kind::Damaged,
                        "password length " + std::to_string(passwordLength));
    }
    const std::string plain = Passwort_Dekodieren(
        ReadText(b, hdr::kPassword, static_cast<std::size_t>(passwordLength)), kPasswortSeed);
    out.passwort = utf8Password ? Utf8ToEightBit(plain) : plain;
  }
  const int sizeLength = ReadCount(b, hdr::kSizeLength);
  if (sizeLength < 1 || sizeLength > static_cast<int>(kMaxSizeDigits)) {
    throw HeaderError(HeaderError::Kind::Damaged, "size digit count " + std::to_string(sizeLength));
  }
  std::int64_t size = 0;
  for (int k = 0; k < sizeLength; ++k) {
    const int digit = Digit(b, hdr::kSize.offset + static_cast<std::size_t>(k));
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
  if (name == "." || name == "..") return std::string(name.size(), '_');
  std::string plain = name;
  for (char& c : plain) {
    if (c == '/' || c == '\0') c = '_';
  }
  return plain;
}

}  // namespace pz
