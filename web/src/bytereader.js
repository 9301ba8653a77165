// Exact reads from a stream of byte chunks, for the records of a ZIP archive.

export class StreamEnded extends Error {}

export class ByteReader {
  constructor(stream) {
    this.reader = stream.getReader();
    this.chunk = new Uint8Array(0);
    this.ended = false;
  }

  async fill() {
    while (this.chunk.length === 0 && !this.ended) {
      const { value, done } = await this.reader.read();
      if (done) this.ended = true;
      else this.chunk = value;
    }
    return this.chunk.length > 0;
  }

  // The next chunk of at most max bytes; null at the end.
  async next(max) {
    if (!(await this.fill())) return null;
    const part = this.chunk.subarray(0, max);
    this.chunk = this.chunk.subarray(part.length);
    return part;
  }

  // Exactly n bytes; StreamEnded when fewer are left. null when the stream ended before any.
  async read(n) {
    const out = new Uint8Array(n);
    let got = 0;
    while (got < n) {
      const part = await this.next(n - got);
      if (part === null) {
        if (got === 0) return null;
        throw new StreamEnded(`${n - got} bytes missing`);
      }
      out.set(part, got);
      got += part.length;
    }
    return out;
  }

  // A stream of exactly n bytes from here.
  take(n) {
    let left = n;
    return new ReadableStream({
      pull: async (controller) => {
        if (left === 0) {
          controller.close();
          return;
        }
        const part = await this.next(Math.min(left, 1 << 20));
        if (part === null) {
          controller.error(new StreamEnded(`${left} bytes missing`));
          return;
        }
        left -= part.length;
        controller.enqueue(part.slice());
      },
    }, { highWaterMark: 0 });
  }

  async skip(n) {
    for (let left = n; left > 0; ) {
      const part = await this.next(Math.min(left, 1 << 20));
      if (part === null) throw new StreamEnded(`${left} bytes missing`);
      left -= part.length;
    }
  }

  // Reads what is left, so the pieces behind it are read (and checked) too.
  async drain() {
    while ((await this.next(1 << 20)) !== null);
  }
}
