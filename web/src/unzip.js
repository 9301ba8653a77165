// The one member of a packed set, inflated as its bytes arrive: the archive is read from the
// front, local header by local header (ZIP64 sizes included), so nothing needs the whole archive.
import { createCRC32 } from "hash-wasm";
import { ByteReader } from "./bytereader.js";

const LOCAL_SIG = 0x04034b50;
const LOCAL_HEADER_SIZE = 30;
const FLAG_ENCRYPTED = 1;
const FLAG_DESCRIPTOR = 8;
const FLAG_UTF8 = 0x800;
const METHOD_STORED = 0;
const METHOD_DEFLATE = 8;
const ZIP64_EXTRA_ID = 0x0001;
const SATURATED = 0xffffffff;

export class ArchiveError extends Error {}

function le16(b, at) {
  return b[at] | (b[at + 1] << 8);
}
function le32(b, at) {
  return (b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (b[at + 3] << 24)) >>> 0;
}
function le64(b, at) {
  return le32(b, at) + le32(b, at + 4) * 4294967296;
}

// The ZIP64 field of a local header holds both sizes, uncompressed first.
function zip64Sizes(extra, entry) {
  for (let pos = 0; pos + 4 <= extra.length; ) {
    const id = le16(extra, pos);
    const length = le16(extra, pos + 2);
    if (id === ZIP64_EXTRA_ID && length >= 16) {
      entry.size = le64(extra, pos + 4);
      entry.compressedSize = le64(extra, pos + 12);
      return;
    }
    pos += 4 + length;
  }
}

function decodeName(bytes, utf8) {
  if (utf8) return new TextDecoder().decode(bytes);
  try {
    return new TextDecoder("utf-8", { fatal: true }).decode(bytes);
  } catch {
    return new TextDecoder("windows-1252").decode(bytes);
  }
}

async function readLocalHeader(reader) {
  const fixed = await reader.read(LOCAL_HEADER_SIZE);
  if (fixed === null || le32(fixed, 0) !== LOCAL_SIG) return null;
  const flags = le16(fixed, 6);
  const entry = {
    flags,
    method: le16(fixed, 8),
    crc: le32(fixed, 14),
    compressedSize: le32(fixed, 18),
    size: le32(fixed, 22),
  };
  const nameBytes = await reader.read(le16(fixed, 26));
  const extra = await reader.read(le16(fixed, 28));
  entry.name = decodeName(nameBytes ?? new Uint8Array(0), (flags & FLAG_UTF8) !== 0);
  if (entry.size === SATURATED || entry.compressedSize === SATURATED) zip64Sizes(extra ?? new Uint8Array(0), entry);
  if ((flags & FLAG_DESCRIPTOR) !== 0 && entry.compressedSize === 0) {
    throw new ArchiveError("member sizes only after its data");
  }
  return entry;
}

// The member's data, inflated; checks size and CRC-32 as the last bytes pass.
function memberData(reader, entry) {
  const raw = reader.take(entry.compressedSize);
  const data = entry.method === METHOD_STORED ? raw : raw.pipeThrough(new DecompressionStream("deflate-raw"));
  let length = 0;
  let crc = null;
  return data.pipeThrough(
    new TransformStream({
      async transform(chunk, controller) {
        crc ??= await createCRC32();
        crc.update(chunk);
        length += chunk.length;
        controller.enqueue(chunk);
      },
      async flush() {
        crc ??= await createCRC32();
        const got = parseInt(crc.digest("hex"), 16);
        if (length !== entry.size || got !== entry.crc) throw new ArchiveError("size or CRC-32 differs");
      },
    }),
  );
}

// Writes the member called `name` into `sink` (a WritableStream, left open). Returns { others: [names] };
// throws ArchiveError when the archive does not hold it or cannot be read.
export async function unpackMember(stream, name, sink) {
  const reader = new ByteReader(stream);
  const others = [];
  let found = false;
  for (;;) {
    const entry = await readLocalHeader(reader);
    if (entry === null) break;
    if (entry.name !== name || found) {
      others.push(entry.name);
      await reader.skip(entry.compressedSize);
      continue;
    }
    if ((entry.flags & FLAG_ENCRYPTED) !== 0 || (entry.method !== METHOD_STORED && entry.method !== METHOD_DEFLATE)) {
      throw new ArchiveError(`method ${entry.method}`);
    }
    await memberData(reader, entry).pipeTo(sink, { preventClose: true });
    found = true;
  }
  await reader.drain();
  if (!found) throw new ArchiveError("member missing");
  return { others };
}
