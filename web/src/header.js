// The 1024-byte header at the start of a set's first piece, read as Parzello reads it.

export const HEADER_SIZE = 1024;

const FIELD = {
  nameLength: [0, 3],
  name: [3, 296],
  encodingMark: [299, 1],
  marker: [302, 2],
  compressed: [309, 1],
  protected: [310, 1],
  protection: [311, 1],
  passwordLength: [317, 2],
  password: [319, 31],
  sizeLength: [350, 2],
  size: [352, 19],
};
const FLAG_SET = 0x31; // "1"
const MARK_UTF8_NAME = 0x4e; // "N"
const MARK_UTF8_PASSWORD = 0x50; // "P"
const MARK_UTF8_BOTH = 0x55; // "U"
const PROTECTION_AGE = 0x41; // "A": the data is one age file
const MAX_DATA_SIZE = 9223372036854775807n;

export class HeaderDamaged extends Error {}

// Windows-1252 where it differs from Latin-1 (0x80 to 0x9F); undefined entries are unassigned.
const CP1252_HIGH = [
  0x20ac, undefined, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
  0x2039, 0x0152, undefined, 0x017d, undefined, undefined, 0x2018, 0x2019, 0x201c, 0x201d,
  0x2022, 0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, undefined, 0x017e, 0x0178,
];

export function cp1252ToString(bytes) {
  let out = "";
  for (const b of bytes) {
    const high = b >= 0x80 && b < 0xa0 ? CP1252_HIGH[b - 0x80] : undefined;
    out += String.fromCodePoint(high ?? b);
  }
  return out;
}

// The Windows-1252 bytes of a text, or null when a character has no place there.
export function stringToCp1252(text) {
  const out = [];
  for (const ch of text) {
    const c = ch.codePointAt(0);
    const high = CP1252_HIGH.indexOf(c);
    if (high >= 0) out.push(0x80 + high);
    else if (c < 0x80 || (c >= 0xa0 && c <= 0xff)) out.push(c);
    else return null;
  }
  return Uint8Array.from(out);
}

// The bytes a typed password stands for in the header: Windows-1252 where it fits, else UTF-8.
export function passwordBytes(text) {
  return stringToCp1252(text) ?? new TextEncoder().encode(text);
}

function utf8OrNull(bytes) {
  try {
    return new TextDecoder("utf-8", { fatal: true }).decode(bytes);
  } catch {
    return null;
  }
}

// The XOR scrambling of the stored password; applying it twice gives back the input.
export function passwortKodieren(bytes, seed) {
  const keys = new Uint8Array(100);
  let state = seed >>> 0;
  for (let k = 0; k < keys.length; ++k) {
    state = (Math.imul(state, 134775813) + 1) >>> 0;
    keys[k] = Math.floor((state * 255) / 4294967296);
  }
  const out = bytes.slice(0, 255);
  for (let j = 0; j < out.length; ++j) out[j] ^= keys[j % keys.length];
  return out;
}
export const PASSWORT_SEED = 73;

function digits(bytes, [offset, width]) {
  let value = 0;
  for (let k = 0; k < width; ++k) {
    const c = bytes[offset + k];
    if (c < 0x30 || c > 0x39) throw new HeaderDamaged(`not a digit at offset ${offset + k}`);
    value = value * 10 + (c - 0x30);
  }
  return value;
}

function field(bytes, [offset], length) {
  return bytes.subarray(offset, offset + length);
}

function readSize(bytes) {
  const count = digits(bytes, FIELD.sizeLength);
  if (count < 1 || count > FIELD.size[1]) throw new HeaderDamaged(`size digit count ${count}`);
  const size = readBig(bytes, count);
  if (size > BigInt(Number.MAX_SAFE_INTEGER)) throw new HeaderDamaged(`size ${size}`);
  return Number(size);
}

function readBig(bytes, count) {
  let size = 0n;
  for (let k = 0; k < count; ++k) {
    size = size * 10n + BigInt(digits(bytes, [FIELD.size[0] + k, 1]));
    if (size > MAX_DATA_SIZE) throw new HeaderDamaged("size beyond a signed 64-bit number");
  }
  return size;
}

// The stored password in the form passwordBytes gives the typed text, so the two compare.
function storedPassword(bytes, utf8) {
  const length = digits(bytes, FIELD.passwordLength);
  if (length > FIELD.password[1]) throw new HeaderDamaged(`password length ${length}`);
  const plain = passwortKodieren(field(bytes, FIELD.password, length), PASSWORT_SEED);
  const text = utf8 ? utf8OrNull(plain) : null;
  return text === null ? plain : passwordBytes(text);
}

// null when the marker "PX" is missing; throws HeaderDamaged for broken digit fields.
export function readHeader(bytes) {
  const [markerAt] = FIELD.marker;
  if (bytes.length < HEADER_SIZE || bytes[markerAt] !== 0x50 || bytes[markerAt + 1] !== 0x58) {
    return null;
  }
  const mark = bytes[FIELD.encodingMark[0]];
  const nameLength = Math.min(digits(bytes, FIELD.nameLength), FIELD.name[1]);
  const nameBytes = field(bytes, FIELD.name, nameLength);
  const utf8Name = mark === MARK_UTF8_NAME || mark === MARK_UTF8_BOTH;
  const name = (utf8Name && utf8OrNull(nameBytes)) || cp1252ToString(nameBytes);
  const password = bytes[FIELD.protected[0]] === FLAG_SET;
  const encrypted = password && bytes[FIELD.protection[0]] === PROTECTION_AGE;
  const utf8Password = mark === MARK_UTF8_PASSWORD || mark === MARK_UTF8_BOTH;
  digits(bytes, FIELD.passwordLength); // read as the program reads it, also without a password
  return {
    name,
    compressed: bytes[FIELD.compressed[0]] === FLAG_SET,
    password,
    encrypted,
    passwort: password && !encrypted ? storedPassword(bytes, utf8Password) : new Uint8Array(0),
    dataSize: readSize(bytes),
  };
}

// The stored name reduced to a plain file name: no folders, no control characters, no "." or
// ".."; "" when nothing usable is left.
export function plainFileName(name) {
  const cut = Math.max(name.lastIndexOf("/"), name.lastIndexOf("\\"));
  let out = [...name.slice(cut + 1)].filter((c) => c.codePointAt(0) >= 0x20 && c !== "\x7f").join("");
  out = out.replace(/ +$/, "");
  return out === "." || out === ".." ? "" : out;
}

export function samePassword(typed, stored) {
  const bytes = passwordBytes(typed);
  return bytes.length === stored.length && bytes.every((b, i) => b === stored[i]);
}
