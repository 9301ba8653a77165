// Joining a set inside the browser: the pieces read in order (each hashed when the checksum
// file is there), the data decrypted when the set is encrypted, the one member unpacked when it
// is packed, and the result written to a sink.
import { createSHA256 } from "hash-wasm";
import { Decrypter } from "age-encryption";
import { unpackMember } from "./unzip.js";

export class BadPiece extends Error {
  constructor(name) {
    super(name);
    this.piece = name;
  }
}
export class WrongPassword extends Error {}

const CHUNK = 4 << 20;

async function newHash() {
  const hash = await createSHA256();
  hash.init();
  return hash;
}

// The data bytes of the pieces as one stream. With a check, every piece is hashed and compared
// as soon as it has been read; a bad one ends the stream with BadPiece.
export function piecesStream(pieces, dataSize, check, onRead) {
  let index = 0;
  let reader = null;
  let hash = null;
  let offset = 0; // bytes read of the piece in hand
  let left = dataSize;
  async function openPiece() {
    const piece = pieces[index];
    reader = piece.file.stream().getReader();
    offset = 0;
    hash = check ? await newHash() : null;
    return piece;
  }
  return new ReadableStream({
    async pull(controller) {
      for (;;) {
        if (index >= pieces.length) {
          controller.close();
          return;
        }
        const piece = reader ? pieces[index] : await openPiece();
        const { value, done } = await reader.read();
        if (done) {
          reader = null;
          ++index;
          if (hash && !check.segment(piece.name, hash.digest("hex"))) throw new BadPiece(piece.name);
          continue;
        }
        hash?.update(value);
        onRead(value.length);
        const from = Math.max(0, piece.dataStart - offset);
        offset += value.length;
        const part = value.subarray(from, from + Math.min(left, Math.max(0, value.length - from)));
        left -= part.length;
        if (part.length > 0) {
          controller.enqueue(part);
          return;
        }
      }
    },
  }, { highWaterMark: 0 });
}

// Hashes what passes through when asked to.
function hashing(hashWanted) {
  let hash = null;
  const stream = new TransformStream({
    async transform(chunk, controller) {
      if (hashWanted) {
        hash ??= await newHash();
        hash.update(chunk);
      }
      controller.enqueue(chunk);
    },
  });
  return { stream, hex: async () => (hashWanted ? (hash ?? (await newHash())).digest("hex") : null) };
}

async function decrypted(stream, password) {
  const decrypter = new Decrypter();
  decrypter.addPassphrase(password);
  try {
    return await decrypter.decrypt(stream);
  } catch (e) {
    if (/passphrase|identity|no identity matched|incorrect/i.test(String(e?.message))) throw new WrongPassword();
    throw e;
  }
}

// Runs the join into sink (a WritableStream, left open). Returns { wholeHex, others }.
export async function joinInto(job, sink) {
  const { pieces, header, check, password, onRead } = job;
  let data = piecesStream(pieces, header.dataSize, check, onRead);
  if (header.encrypted) data = await decrypted(data, password);
  const whole = hashing(Boolean(check));
  const toSink = whole.stream.writable;
  const done = whole.stream.readable.pipeTo(sink, { preventClose: true });
  let others = [];
  if (header.compressed) {
    others = (await unpackMember(data, header.name, toSink)).others;
    await toSink.close();
  } else {
    await data.pipeTo(toSink);
  }
  await done;
  return { wholeHex: await whole.hex(), others };
}

// Writes everything into a Blob made chunk by chunk: the parts are folded into the Blob every
// few MiB, so the browser may keep them outside the page (Chromium pages large Blobs to disk).
export function blobSink(type) {
  let blob = new Blob([], { type });
  let parts = [];
  let pending = 0;
  const fold = () => {
    blob = new Blob([blob, ...parts], { type });
    parts = [];
    pending = 0;
  };
  const sink = new WritableStream({
    write(chunk) {
      parts.push(chunk.slice());
      pending += chunk.length;
      if (pending >= CHUNK * 8) fold();
    },
  });
  return { sink, result: () => (fold(), blob), discard: () => (parts = []) };
}

// A file chosen through the File System Access API; abort() throws away what was written.
export async function fileSink(handle) {
  const writable = await handle.createWritable();
  return { sink: writable, commit: () => writable.close(), discard: () => writable.abort().catch(() => {}) };
}
