// Which of the chosen files make up a set: its first piece (the one with a header), the pieces
// that follow it by name until the recorded size is covered, and its checksum file.
import { HEADER_SIZE, readHeader } from "./header.js";

// Segment numbers have three digits, more from the 1001st on (PZX1000).
export function segmentName(setName, number) {
  return `${setName}.PZX${String(number).padStart(3, "0")}`;
}

export function setNameOf(fileName) {
  const dot = fileName.lastIndexOf(".");
  return dot < 0 ? fileName : fileName.slice(0, dot);
}

const LAST_SEGMENT_NUMBER = 65535;

async function headerOf(file) {
  if (file.size < HEADER_SIZE) return null;
  const bytes = new Uint8Array(await file.slice(0, HEADER_SIZE).arrayBuffer());
  return { file, header: readHeader(bytes) };
}

// The first piece: a file named *.PZX000 first, else any file that begins with a header. Throws
// what readHeader throws for a damaged header of a *.PZX000 file; null when there is none.
export async function findFirst(files) {
  const named = files.filter((f) => /\.PZX000$/i.test(f.name));
  for (const file of named) {
    if (file.size < HEADER_SIZE) return { file, tooShort: true };
    const found = await headerOf(file);
    if (found.header) return found;
  }
  for (const file of files) {
    if (named.includes(file) || /\.sha256$/i.test(file.name)) continue;
    try {
      const found = await headerOf(file);
      if (found?.header) return found;
    } catch {
      // not a first piece: its bytes only look like one in part
    }
  }
  return named.length > 0 ? { file: named[0], notFirst: true } : null;
}

// { pieces: [{file, name, dataStart, dataLength}], missing: [names], surplus: name|"" }. Follows
// the name chain as the program does: a piece counts whole, until the recorded size is covered.
export function collectPieces(first, header, byName, listed) {
  const setName = setNameOf(first.name);
  const pieces = [{ file: first, name: first.name, dataStart: HEADER_SIZE, dataLength: first.size - HEADER_SIZE }];
  let covered = pieces[0].dataLength;
  const missing = [];
  for (let n = 1; covered < header.dataSize && n <= LAST_SEGMENT_NUMBER; ++n) {
    const name = segmentName(setName, n);
    const file = byName.get(name);
    if (!file) {
      missing.push(name);
      break;
    }
    pieces.push({ file, name, dataStart: 0, dataLength: file.size });
    covered += file.size;
  }
  // The checksum file tells which further pieces the set has.
  const last = missing[0];
  for (const name of listed) {
    if (last && name !== last && !byName.has(name) && numberOf(name) > numberOf(last)) missing.push(name);
  }
  missing.sort((a, b) => numberOf(a) - numberOf(b));
  const surplus = covered > header.dataSize && missing.length === 0 ? pieces.at(-1).name : "";
  return { pieces, missing, surplus };
}

function numberOf(name) {
  return Number(name.slice(name.lastIndexOf(".PZX") + 4));
}
