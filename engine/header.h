// The 1024-byte segment header at the start of the first segment, and the scrambling of the
// password stored in it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>

#include "crypt/age.h"
#include "engine/interaction.h"

namespace pz {

inline constexpr std::size_t kHeaderSize = 1024;
using HeaderBytes = std::array<unsigned char, kHeaderSize>;

// Where each field of the header lies. Writer and reader take the offsets from here only. Count
// fields hold decimal digits; every byte no field claims is filler ('0').
struct HeaderField {
  std::size_t offset;
  std::size_t width;
  constexpr std::size_t end() const { return offset + width; }
};
namespace hdr {
inline constexpr HeaderField kNameLength{0, 3};        // digits: bytes of the name as recorded
inline constexpr HeaderField kName{3, 296};            // the name, Windows-1252 or UTF-8
inline constexpr HeaderField kEncodingMark{299, 1};    // see kEncodingMarkOffset
inline constexpr HeaderField kMarker{302, 2};          // "PX": this is a first segment
inline constexpr HeaderField kCompressed{309, 1};      // flag: the set holds an archive
inline constexpr HeaderField kProtected{310, 1};       // flag: the join asks for a password
inline constexpr HeaderField kEncryption{311, 1};      // see kMarkAgeEncrypted
inline constexpr HeaderField kPasswordLength{317, 2};  // digits: bytes of the password
inline constexpr HeaderField kPassword{319, 31};       // the scrambled password
inline constexpr HeaderField kSizeLength{350, 2};      // digits: digits of the data size
inline constexpr HeaderField kSize{352, 19};           // the data size in decimal digits

inline constexpr unsigned char kMarkerBytes[] = {'P', 'X'};
inline constexpr unsigned char kFlagSet = '1';
inline constexpr unsigned char kFlagClear = '0';
inline constexpr unsigned char kFill = '0';

// In the order they lie, for the checks below.
inline constexpr HeaderField kFields[] = {kNameLength, kName,       kEncodingMark, kMarker,
                                          kCompressed, kProtected,  kEncryption,   kPasswordLength,
                                          kPassword,   kSizeLength, kSize};
constexpr bool FieldsInOrderWithoutOverlap() {
  for (std::size_t i = 1; i < std::size(kFields); ++i) {
    if (kFields[i - 1].end() > kFields[i].offset) return false;
  }
  return true;
}
static_assert(FieldsInOrderWithoutOverlap(), "header fields overlap");
static_assert(kFields[std::size(kFields) - 1].end() <= kHeaderSize, "header fields fit");
static_assert(std::size(kMarkerBytes) == kMarker.width);
}  // namespace hdr

// Room for the file name (offsets 3 to 298) and the longest password the scrambled field held.
inline constexpr std::size_t kMaxStoredNameBytes = hdr::kName.width;
inline constexpr std::size_t kMaxPasswordChars = 30;
static_assert(kMaxPasswordChars <= hdr::kPassword.width);
// Byte 299, which other writers of the format leave unassigned and other readers ignore, tells
// which of name and password are stored as UTF-8; without one of these marks both are
// Windows-1252. Names and passwords that fit Windows-1252 are stored so and leave the byte as
// it was.
inline constexpr std::size_t kEncodingMarkOffset = hdr::kEncodingMark.offset;
static_assert(kEncodingMarkOffset == 299 && hdr::kName.end() == kEncodingMarkOffset);
inline constexpr unsigned char kMarkUtf8Name = 'N';
inline constexpr unsigned char kMarkUtf8Password = 'P';
inline constexpr unsigned char kMarkUtf8Both = 'U';
// Byte 311, filler in every older header, marks a set whose data is one age v1 file encrypted
// with the passphrase (crypt/age.h). Such a header stores no form of the password: the flag at
// 310 is "1" and the stored length "00", which no typed password matches, so a reader that
// knows only the scrambled password refuses the set instead of joining ciphertext.
inline constexpr std::size_t kEncryptionMarkOffset = hdr::kEncryption.offset;
static_assert(kEncryptionMarkOffset == 311 && hdr::kProtected.end() == kEncryptionMarkOffset);
static_assert(hdr::kEncryption.end() <= hdr::kPasswordLength.offset);
inline constexpr unsigned char kMarkAgeEncrypted = 'A';
// Passphrases of encrypted sets are limited by the entry only (UTF-8 bytes).
inline constexpr std::size_t kMaxPassphraseBytes = 1024;
// The size field holds any signed 64-bit size. Readers of the 2001 format take it as a signed
// 32-bit number: a set whose data size is above kClassicMaxDataSize needs Parzello 1.2 or later.
inline constexpr std::int64_t kMaxDataSize = std::numeric_limits<std::int64_t>::max();
inline constexpr std::int64_t kClassicMaxDataSize = 2147483647;
inline constexpr std::size_t kMaxSizeDigits = 19;  // digits of kMaxDataSize
static_assert(kMaxSizeDigits == hdr::kSize.width);
static_assert(kMaxDataSize / 1000000000000000000 >= 1 && kMaxDataSize / 1000000000000000000 < 10,
              "kMaxSizeDigits digits hold kMaxDataSize");

// Seed of the password scrambling; the same on both sides of every split.
inline constexpr std::int32_t kPasswortSeed = 73;

// XOR with the key table of the linear-congruential generator; applying it twice gives back
// the input. Works on bytes, keeps the length, cuts the input to 255 bytes.
std::string Passwort_Kodieren(const std::string& text, std::int32_t seed);
std::string Passwort_Dekodieren(const std::string& text, std::int32_t seed);

struct HeaderInput {
  std::string sourceName;   // file name without folder (UTF-8), as the user chose it
  bool compressed = false;  // hdr::kCompressed
  bool protect = false;     // hdr::kProtected: ask for a password
  int workFactor =
      age::kWorkFactor;  // scrypt's log2 N for an encrypted set, which its size depends on
};

// The builder refuses input it cannot store, before anything is written.
class HeaderError : public std::runtime_error {
 public:
  enum class Kind { NameTooLong, PasswordTooLong, Damaged, TooShort };
  HeaderError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// Fills the buffer for plainSize bytes of data. Asks for the password through ui when
// input.protect is set and repaints afterwards; an empty answer stores no password, any other
// marks the set encrypted and records the size of its age file. Returns the passphrase ("" for
// none), which the caller encrypts with and wipes. Throws HeaderError(NameTooLong) for a name of
// more than 296 bytes, HeaderError(PasswordTooLong) for a passphrase of more than
// kMaxPassphraseBytes.
std::string Header_Aufbauen(HeaderBytes& buffer, std::int64_t plainSize, const HeaderInput& input,
                            Interaction& ui);

struct HeaderInfo {
  std::uint16_t nameLength = 0;
  std::string name;  // as stored, converted to UTF-8; see PlainFileName before using it
  bool compressed = false;
  bool password = false;
  bool encrypted = false;  // the data is an age file; no password is stored
  // Unscrambled, in the form Utf8ToEightBit gives the typed text, so the two compare directly.
  std::string passwort;
  std::int64_t dataSize = 0;
};

// False when the marker "PX" is missing (info untouched). Throws HeaderError(Damaged) when a
// digit field is broken, or the size has a sign, more digits than its count, or exceeds a
// signed 64-bit number.
bool Header_Rekonstruieren(HeaderBytes buffer, HeaderInfo& info);

// A name taken from a header as one plain file name in the target folder. Kept as it is where
// the file system takes it (backslashes, blanks and control characters included); only what
// cannot stand in one file name becomes "_": a "/" or NUL, and the names "." and "..". Never
// shortened to a part of it, so it never names a different file. Empty for an empty name.
std::string PlainFileName(const std::string& name);

}  // namespace pz
