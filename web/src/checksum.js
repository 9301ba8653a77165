// The checksum file "NAME.PZX.sha256", read as coreutils' "sha256sum -c" reads it: CRLF line
// ends, blank lines and "#" comments, the BSD form "SHA256 (NAME) = HASH", and names escaped
// with a backslash ("\\", "\n", "\r") on lines that start with one.

const HEX64 = /^[0-9a-fA-F]{64}$/;

function unescapeName(name) {
  let out = "";
  for (let i = 0; i < name.length; ++i) {
    if (name[i] !== "\\") {
      out += name[i];
      continue;
    }
    const next = name[++i];
    if (next === "\\") out += "\\";
    else if (next === "n") out += "\n";
    else if (next === "r") out += "\r";
    else return null;
  }
  return out;
}

// [name, hash] of one line, or null when the line is not one sha256sum reads. state.reversed
// follows sha256sum: once a line has the usual "HASH  NAME" form, the one-space form of
// "md5 -r" is no longer taken, and the other way round.
function parseLine(raw, state) {
  let line = raw.replace(/^[ \t]+/, "");
  const escaped = line.startsWith("\\");
  if (escaped) line = line.slice(1);
  let name;
  let hash;
  if (line.startsWith("SHA256")) {
    const bsd = /^SHA256 ?\((.*)\)[ \t]*=[ \t]*(.*)$/s.exec(line);
    if (!bsd) return null;
    [, name, hash] = bsd;
  } else {
    hash = line.slice(0, 64);
    if (!HEX64.test(hash) || !/^[ \t]$/.test(line[64] ?? "")) return null;
    const rest = line.slice(65);
    const reversed = rest.length === 1 || (rest[0] !== " " && rest[0] !== "*");
    if (state.reversed === !reversed) return null;
    state.reversed = reversed;
    name = reversed ? rest : rest.slice(1);
  }
  if (!HEX64.test(hash)) return null;
  if (escaped) name = unescapeName(name);
  return name === null || name === "" ? null : [name, hash.toLowerCase()];
}

function plainName(name) {
  return name !== "." && name !== ".." && !name.includes("/") && !name.includes("\0");
}

// { hashes: Map name -> lowercase hex, damaged } like the program's checksum list. Lines that
// name paths are passed over.
export function parseChecksumText(text) {
  const hashes = new Map();
  let damaged = false;
  const state = { reversed: undefined };
  const lines = text.split("\n");
  if (lines.at(-1) === "") lines.pop();
  for (let line of lines) {
    if (line.startsWith("#")) continue;
    if (line.endsWith("\r")) line = line.slice(0, -1);
    if (line === "") continue;
    const entry = parseLine(line, state);
    if (!entry) {
      damaged = true;
      continue;
    }
    const [name, hex] = entry;
    if (!plainName(name)) continue;
    if (hashes.has(name) && hashes.get(name) !== hex) damaged = true;
    hashes.set(name, hex);
  }
  return { hashes, damaged };
}

// The program's verdicts.
export const Verdict = {
  Verified: "verified",
  NoChecksumFile: "none",
  Incomplete: "incomplete",
  SegmentDiffers: "segment",
  WholeDiffers: "whole",
};

function isSegmentName(setName, name) {
  const prefix = `${setName}.PZX`;
  return name.length > prefix.length && name.startsWith(prefix) && /^[0-9]+$/.test(name.slice(prefix.length));
}

// The check of one set against its list (null: no checksum file among the chosen files).
export class SetCheck {
  constructor(list, setName, wholeName) {
    this.list = list;
    this.setName = setName;
    this.wholeName = wholeName;
    this.bad = "";
    this.notListed = false;
  }

  // False when the piece differs: the first bad piece is kept.
  segment(fileName, hex) {
    if (!this.list || this.bad) return !this.bad;
    const listed = this.list.hashes.get(fileName);
    if (listed === undefined) this.notListed = true;
    else if (listed !== hex) this.bad = fileName;
    return !this.bad;
  }

  listedSegments() {
    if (!this.list) return [];
    return [...this.list.hashes.keys()].filter((n) => isSegmentName(this.setName, n));
  }

  wholeLine() {
    const hashes = this.list.hashes;
    if (hashes.has(this.wholeName)) return hashes.get(this.wholeName);
    const others = [...hashes.keys()].filter((n) => !isSegmentName(this.setName, n));
    return others.length === 1 ? hashes.get(others[0]) : undefined;
  }

  finish(wholeHex) {
    if (this.bad) return Verdict.SegmentDiffers;
    if (!this.list) return Verdict.NoChecksumFile;
    if (this.segmentLinesOnly) {
      return this.list.damaged || this.notListed ? Verdict.Incomplete : Verdict.Verified;
    }
    const whole = this.wholeLine();
    if (whole !== undefined && wholeHex && whole !== wholeHex) {
      this.bad = this.wholeName;
      return Verdict.WholeDiffers;
    }
    if (this.list.damaged || this.notListed || whole === undefined || !wholeHex) return Verdict.Incomplete;
    return Verdict.Verified;
  }
}
