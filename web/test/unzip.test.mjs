// The page's unpacking of a packed set's one member, on archives that Info-ZIP's zip wrote: ZIP64
// local headers (forced with -fz, as an archive past 4 GiB has them) and plain ones, deflated and
// stored, with another member before the one asked for.
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { randomBytes } from "node:crypto";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { ArchiveError, unpackMember } from "../src/unzip.js";

function archive(dir, options, files) {
  const zip = join(dir, "a.zip");
  rmSync(zip, { force: true });
  const r = spawnSync("zip", ["-q", "-X", ...options, zip, ...Object.keys(files)], { cwd: dir });
  assert.equal(r.status, 0, String(r.stderr));
  return readFileSync(zip);
}

// The archive as a stream of odd-sized chunks, as file slices arrive.
function chunked(bytes, size = 7777) {
  let at = 0;
  return new ReadableStream({
    pull(controller) {
      if (at >= bytes.length) return controller.close();
      controller.enqueue(new Uint8Array(bytes.subarray(at, at + size)));
      at += size;
    },
  });
}

async function unpack(bytes, name) {
  const parts = [];
  const sink = new WritableStream({ write: (chunk) => void parts.push(Buffer.from(chunk)) });
  const { others } = await unpackMember(chunked(bytes), name, sink);
  return { data: Buffer.concat(parts), others };
}

test("members come back whole, with and without ZIP64 local headers", async () => {
  const dir = mkdtempSync(join(tmpdir(), "unzip-"));
  try {
    const files = { "before.txt": Buffer.from("x".repeat(5000)), "member.bin": Buffer.concat([randomBytes(70000), Buffer.alloc(90000, 65)]) };
    for (const [name, bytes] of Object.entries(files)) writeFileSync(join(dir, name), bytes);
    for (const options of [["-fz"], ["-fz", "-0"], [], ["-0"]]) {
      const bytes = archive(dir, options, files);
      if (options.includes("-fz")) assert.equal(bytes.readUInt32LE(18), 0xffffffff, "sizes saturated in the local header");
      const { data, others } = await unpack(bytes, "member.bin");
      assert.ok(data.equals(files["member.bin"]), `zip ${options.join(" ")}`);
      assert.deepEqual(others, ["before.txt"]);
    }

    // A damaged byte in the member's data fails its size or CRC-32 check, never passes.
    const damaged = archive(dir, ["-fz", "-0"], files);
    damaged[damaged.length >> 1] ^= 0x10;
    await assert.rejects(unpack(damaged, "member.bin"), ArchiveError);
    await assert.rejects(unpack(archive(dir, ["-fz"], files), "absent.bin"), ArchiveError);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
