// The page reads checksum files as coreutils' "sha256sum -c" does: each row's text is checked
// by sha256sum itself and by the page's reader, and both must take the same lines.
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { createHash } from "node:crypto";
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { parseChecksumText } from "../src/checksum.js";

const FILES = { "s.PZX000": "first", "s.PZX001": "second", "we\\ird.PZX002": "third", "s.dat": "whole" };
const hex = (name) => createHash("sha256").update(FILES[name]).digest("hex");
const H = (name) => hex(name);

const rows = [
  ["plain lines", `${H("s.PZX000")}  s.PZX000\n${H("s.PZX001")}  s.PZX001\n`],
  ["binary mark", `${H("s.PZX000")} *s.PZX000\n`],
  ["CRLF line ends", `${H("s.PZX000")}  s.PZX000\r\n${H("s.dat")}  s.dat\r\n`],
  ["blank lines and comments", `# made by hand\n\n${H("s.PZX000")}  s.PZX000\n\n#${H("s.PZX001")}  s.PZX001\n`],
  ["indented comment is a bad line", `  # note\n${H("s.PZX000")}  s.PZX000\n`],
  ["BSD tags", `SHA256 (s.PZX000) = ${H("s.PZX000")}\nSHA256 (s.dat) = ${H("s.dat")}\n`],
  ["escaped name", `\\${H("we\\ird.PZX002")}  we\\\\ird.PZX002\n`],
  ["escaped BSD tag", `\\SHA256 (we\\\\ird.PZX002) = ${H("we\\ird.PZX002")}\n`],
  ["leading blanks", `   ${H("s.PZX000")}  s.PZX000\n`],
  ["upper-case hex", `${H("s.PZX001").toUpperCase()}  s.PZX001\n`],
  ["one space (md5 -r)", `${H("s.PZX000")} s.PZX000\n${H("s.PZX001")} s.PZX001\n`],
  ["forms not mixed", `${H("s.PZX000")}  s.PZX000\n${H("s.PZX001")} s.PZX001\n`],
  ["short hash", `${H("s.PZX000").slice(1)}  s.PZX000\n${H("s.PZX001")}  s.PZX001\n`],
  ["last line without line end", `${H("s.PZX000")}  s.PZX000\n${H("s.dat")}  s.dat`],
  ["wrong hash still read", `${H("s.PZX001")}  s.PZX000\n`],
];

function coreutils(dir, text) {
  writeFileSync(join(dir, "sums"), text);
  const r = spawnSync("sha256sum", ["-c", "sums"], { cwd: dir, encoding: "utf8" });
  const ok = new Set();
  const failed = new Set();
  for (let line of r.stdout.split("\n")) {
    const escaped = line.startsWith("\\");
    if (escaped) line = line.slice(1).replaceAll("\\\\", "\\");
    const m = /^(.*): (OK|FAILED)$/.exec(line);
    if (m) (m[2] === "OK" ? ok : failed).add(m[1]);
  }
  return { ok, failed, damaged: /improperly formatted/.test(r.stderr) };
}

test("checksum files are read as sha256sum -c reads them", () => {
  const dir = mkdtempSync(join(tmpdir(), "pz-sums-"));
  try {
    for (const [name, content] of Object.entries(FILES)) writeFileSync(join(dir, name), content);
    for (const [row, text] of rows) {
      const peer = coreutils(dir, text);
      const ours = parseChecksumText(text);
      const ok = new Set([...ours.hashes].filter(([n, h]) => FILES[n] !== undefined && h === hex(n)).map(([n]) => n));
      const failed = new Set([...ours.hashes].filter(([n, h]) => FILES[n] !== undefined && h !== hex(n)).map(([n]) => n));
      assert.deepEqual(ok, peer.ok, `${row}: lines that match`);
      assert.deepEqual(failed, peer.failed, `${row}: lines that differ`);
      assert.equal(ours.damaged, peer.damaged, `${row}: bad lines`);
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
