// Joins sets made by parzello-cli in the system's Chromium and Firefox ESR (headless), through
// the page's own controls, and checks the download, the messages, and that no request left.
//   node test/browser.mjs PAGE.html CLI chromium|firefox [CASE...]
import { spawnSync } from "node:child_process";
import { createHash } from "node:crypto";
import { appendFileSync, mkdirSync, renameSync, existsSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync, truncateSync, writeFileSync, openSync, readSync, writeSync, closeSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import puppeteer from "puppeteer-core";

const [page, cli, browserName, ...only] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), `pz-browser-${browserName}-`));
const downloads = join(work, "downloads");
mkdirSync(downloads);

function run(cmd, args, input) {
  const r = spawnSync(cmd, args, { input, encoding: "utf8" });
  if (r.status !== 0) throw new Error(`${cmd} ${args.join(" ")}: ${r.stderr}`);
  return r.stdout;
}

// A source file of `size` bytes (random head and tail, zeros between, so large ones stay sparse).
function makeSource(dir, name, size, random = true) {
  const path = join(dir, name);
  writeFileSync(path, "");
  truncateSync(path, size);
  const fd = openSync(path, "r+");
  const piece = Math.min(size, 1 << 16);
  const bytes = random ? createHash("sha512").update(name).digest() : Buffer.from("parzello ".repeat(8));
  const block = Buffer.alloc(piece);
  for (let i = 0; i < piece; ++i) block[i] = bytes[i % bytes.length] ^ (i * 31);
  writeSync(fd, block, 0, piece, 0);
  if (size > piece) writeSync(fd, block, 0, piece, size - piece);
  closeSync(fd);
  return path;
}

function split(dir, source, args) {
  run(cli, ["split", source, "--to", dir, "--quiet", ...args]);
  return readdirSync(dir).filter((n) => n.includes(".PZX")).sort().map((n) => join(dir, n));
}

// An encrypted set as the encryption issue's format has it (header byte 311 "A", the data one age
// file), made with Debian's age, which reads the passphrase from a terminal only: script(1)
// gives it one. The checksum file comes from sha256sum.
function encryptedSet(dir, src, passphrase, pieceSize) {
  const aged = join(dir, "data.age");
  run("script", ["-qec", `age -p -o '${aged}' '${src}'`, "/dev/null"], `${passphrase}\n${passphrase}\n`);
  const dataSize = statSync(aged).size;
  const name = Buffer.from(src.split("/").pop(), "latin1");
  const header = Buffer.alloc(1024, "0");
  header.write(String(name.length).padStart(3, "0"), 0, "latin1");
  name.copy(header, 3);
  header.write("PX", 302, "latin1");
  header.write("1", 310, "latin1");
  header.write("A", 311, "latin1");
  const size = String(dataSize);
  header.write(String(size.length).padStart(2, "0"), 350, "latin1");
  header.write(size, 352, "latin1");
  // Header and data cut into pieces of pieceSize bytes, copied a few MiB at a time.
  const input = openSync(aged, "r");
  const buffer = Buffer.alloc(8 << 20);
  const pieces = [];
  let at = -header.length;
  for (let n = 0; n === 0 || at < dataSize; ++n) {
    const piece = join(dir, "set", `${name}.PZX${String(n).padStart(3, "0")}`);
    const out = openSync(piece, "w");
    let room = pieceSize;
    if (n === 0) {
      writeSync(out, header);
      room -= header.length;
      at = 0;
    }
    while (room > 0 && at < dataSize) {
      const got = readSync(input, buffer, 0, Math.min(buffer.length, room, dataSize - at), at);
      writeSync(out, buffer, 0, got);
      at += got;
      room -= got;
    }
    closeSync(out);
    pieces.push(piece);
  }
  closeSync(input);
  const names = [...pieces.map((p) => p.split("/").pop())];
  const sums = spawnSync("sha256sum", names, { cwd: join(dir, "set"), encoding: "utf8" }).stdout +
    spawnSync("sha256sum", [name.toString("latin1")], { cwd: join(dir, "in"), encoding: "utf8" }).stdout;
  const sumsFile = join(dir, "set", `${name}.PZX.sha256`);
  writeFileSync(sumsFile, sums);
  return [...pieces, sumsFile];
}

const WEAK_TEXT = Array.from({ length: 4000 }, (_, i) => `line ${i} of a text that packs well\n`).join("");

// Each case: make a set, choose files (all but `drop`), then what the page must show.
const cases = [
  ...[0, 1, 1023, 1024, 1025].map((size) => ({ name: `plain-${size}`, size, args: ["--size", "2048"] })),
  { name: "plain-several", size: 300000, args: ["--size", "65536"] },
  { name: "plain-no-checksum", size: 5000, args: ["--size", "2048"], withoutSums: true, expect: "kJoinNotVerified" },
  { name: "packed-strong", text: WEAK_TEXT, args: ["--size", "8192", "--compress", "strong"] },
  { name: "packed-weak", size: 200000, args: ["--size", "50000", "--compress", "weak"] },
  { name: "protected-old", size: 9000, args: ["--size", "4096", "--password-file", "PW"], password: "Geheim-1" },
  { name: "protected-wrong", size: 9000, args: ["--size", "4096", "--password-file", "PW"], password: "Geheim-1", typed: "falsch", expect: "kWrongPassword", noResult: true },
  { name: "encrypted", size: 300000, encrypt: "Sesam-öffne", pieceSize: 65536 },
  { name: "encrypted-wrong", size: 3000, encrypt: "Sesam-öffne", pieceSize: 2048, typed: "Sesam", expect: "kWrongPassword", noResult: true },
  { name: "flipped-byte", size: 20000, args: ["--size", "8192"], flip: 1, expect: "kSegmentHashDiffers", noResult: true },
  { name: "missing-piece", size: 20000, args: ["--size", "8192"], drop: 1, expect: "kWebMissing", noResult: true },
  { name: "packed-flipped", text: WEAK_TEXT, args: ["--size", "4096", "--compress", "weak"], flip: 0, flipAt: 1500, expect: "kSegmentHashDiffers", noResult: true },
  // Memory for a 2 GiB set (run by bench/joiner_memory.sh): plain, packed, encrypted.
  { name: "memory-plain-2g", size: 2 * 1024 ** 3, args: ["--size", "1073741824"], explicit: true, withoutSums: true, expect: "kJoinNotVerified" },
  { name: "memory-packed-2g", size: 2 * 1024 ** 3, args: ["--size", "1073741824", "--compress", "weak"], explicit: true, withoutSums: true, expect: "kJoinNotVerified" },
  { name: "memory-encrypted-2g", size: 2 * 1024 ** 3, encrypt: "Sesam", pieceSize: 1073741824, explicit: true },
  { name: "large-sparse", size: 4 * 1024 ** 3 + 4097, args: ["--size", "1073741824"], explicit: true, withoutSums: true, expect: "kJoinNotVerified" },
];

// The memory of the browser's processes together (proportional set size: shared pages counted
// once), in MiB, sampled while a case runs.
function browserRss(rootPid) {
  const rows = [];
  for (const pid of readdirSync("/proc").filter((n) => /^\d+$/.test(n))) {
    try {
      const stat = readFileSync(`/proc/${pid}/stat`, "utf8");
      const ppid = Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]);
      const rss = Number(/^Pss:\s+(\d+)/m.exec(readFileSync(`/proc/${pid}/smaps_rollup`, "utf8"))?.[1] ?? 0);
      rows.push([Number(pid), ppid, rss]);
    } catch {
      // the process ended meanwhile
    }
  }
  const tree = new Set([rootPid]);
  for (let grew = true; grew; ) {
    grew = false;
    for (const [pid, ppid] of rows) if (tree.has(ppid) && !tree.has(pid)) tree.add(pid), (grew = true);
  }
  return rows.filter(([pid]) => tree.has(pid)).reduce((sum, [, , rss]) => sum + rss, 0) / 1024;
}

async function launch() {
  const common = { headless: true, downloadBehavior: { policy: "allow", downloadPath: downloads } };
  if (browserName === "chromium") {
    return puppeteer.launch({
      ...common,
      browser: "chrome",
      executablePath: "/usr/bin/chromium",
      userDataDir: join(work, "profile"),
      args: ["--headless", "--no-sandbox", "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run"],
    });
  }
  return puppeteer.launch({
    ...common,
    browser: "firefox",
    executablePath: "/usr/bin/firefox-esr",
    userDataDir: join(work, "profile"),
    extraPrefsFirefox: {
      "browser.download.dir": downloads,
      "browser.download.folderList": 2,
      "browser.download.useDownloadDir": true,
      "browser.download.always_ask_before_handling_new_types": false,
      "browser.helperApps.neverAsk.saveToDisk": "application/octet-stream",
    },
  });
}

async function waitForDownload(name, size) {
  const path = join(downloads, name);
  for (let i = 0; i < 1200; ++i) {
    if (existsSync(path) && statSync(path).size === size && !readdirSync(downloads).some((n) => /\.(crdownload|part)$/.test(n))) return path;
    await new Promise((r) => setTimeout(r, 250));
  }
  throw new Error(`no download ${name} of ${size} bytes`);
}

// Headless Chromium has the File System Access API but no dialog to answer: a stand-in picker
// hands the page a writable stream into the download folder. The memory cases take the Blob
// path instead (no picker at all), as Firefox does.
async function pickerStandIn(tab, c) {
  if (browserName !== "chromium") return;
  if (c.explicit) {
    await tab.evaluateOnNewDocument(() => delete window.showSaveFilePicker);
    return;
  }
  const part = (name) => join(downloads, `${name}.picked`);
  await tab.exposeFunction("pzTestWrite", (name, b64) => appendFileSync(part(name), Buffer.from(b64, "base64")));
  await tab.exposeFunction("pzTestClose", (name) => {
    appendFileSync(part(name), "");
    renameSync(part(name), join(downloads, name));
  });
  await tab.evaluateOnNewDocument(() => {
    window.showSaveFilePicker = async ({ suggestedName }) => ({
      createWritable: async () =>
        new WritableStream({
          async write(chunk) {
            let text = "";
            for (const b of chunk) text += String.fromCharCode(b);
            await window.pzTestWrite(suggestedName, btoa(text));
          },
          close: () => window.pzTestClose(suggestedName),
        }),
    });
  });
}

async function runCase(browser, texts, c) {
  const dir = join(work, c.name);
  spawnSync("mkdir", ["-p", dir]);


  const srcDir = join(dir, "in");
  const setDir = join(dir, "set");
  spawnSync("mkdir", ["-p", srcDir, setDir]);
  const srcName = `${c.name}.dat`;
  const src = join(srcDir, srcName);
  if (c.text !== undefined) writeFileSync(src, c.text);
  else makeSource(srcDir, srcName, c.size);
  const args = (c.args ?? []).map((a) => (a === "PW" ? join(dir, "pw") : a));
  if (c.password) writeFileSync(join(dir, "pw"), `${c.password}\n`);
  let files = c.encrypt ? encryptedSet(dir, src, c.encrypt, c.pieceSize) : split(setDir, src, args);
  const pieceFiles = files.filter((f) => !f.endsWith(".sha256"));
  if (c.flip !== undefined) {
    const target = pieceFiles[c.flip];
    const bytes = readFileSync(target);
    const at = c.flipAt ?? bytes.length - 1;
    if (at >= bytes.length) throw new Error(`no byte ${at} in ${target}`);
    bytes[at] ^= 1;
    writeFileSync(target, bytes);
  }
  if (c.withoutSums) files = files.filter((f) => !f.endsWith(".sha256"));
  const dropped = c.drop !== undefined ? pieceFiles[c.drop] : null;
  const chosen = files.filter((f) => f !== dropped);

  const tab = await browser.newPage();
  await pickerStandIn(tab, c);
  const requests = [];
  tab.on("request", (r) => requests.push(r.url()));
  await tab.goto(pathToFileURL(page).href);
  const input = await tab.$("input[type=file]");
  await input.uploadFile(...chosen);
  if (c.password || c.encrypt) {
    await tab.waitForSelector("input[type=password]", { visible: true });
    await tab.type("input[type=password]", c.typed ?? c.password ?? c.encrypt);
    await tab.keyboard.press("Enter");
  }
  const expect = texts[c.expect ?? "kJoinVerified"].en;
  try {
    await tab.waitForFunction((text) => document.getElementById("status").textContent.includes(text), { timeout: 600000 }, expect);
  } catch (e) {
    throw new Error(`${e.message}; the page says: ${await tab.$eval("#status", (el) => el.innerText)}`);
  }
  const status = await tab.$eval("#status", (e) => e.innerText);
  if (c.expect === "kSegmentHashDiffers" && !status.includes(pieceFiles[c.flip].split("/").pop())) throw new Error(`bad piece not named: ${status}`);
  if (c.drop !== undefined && !status.includes(dropped.split("/").pop())) throw new Error(`missing piece not named: ${status}`);
  if (c.noResult) {
    if (await tab.$("#download")) throw new Error("a result was offered");
  } else {
    const got = await waitForDownload(srcName, statSync(src).size);
    if (spawnSync("cmp", ["-s", got, src]).status !== 0) throw new Error("the joined file differs");
    rmSync(got);
  }
  const pageUrl = pathToFileURL(page).href;
  const foreign = requests.filter((u) => u !== pageUrl && !u.startsWith("blob:") && !u.startsWith("data:"));
  if (foreign.length) throw new Error(`requests: ${foreign.join(" ")}`);
  await tab.close();
  rmSync(dir, { recursive: true, force: true });
}

async function main() {
  const texts = JSON.parse(run("node", [new URL("../build.mjs", import.meta.url).pathname, "--texts"]));
  const browser = await launch();
  let failed = 0;
  try {
    for (const c of cases) {
      if (c.explicit && !only.includes(c.name)) continue;
      if (only.length && !only.includes(c.name)) continue;
      const start = Date.now();
      let peak = 0;
      const sample = () => (peak = Math.max(peak, browserRss(browser.process().pid)));
      const sampler = c.explicit ? setInterval(sample, 500) : null;
      try {
        await runCase(browser, texts, c);
        const memory = c.explicit ? `, browser peak ${Math.round(peak)} MiB` : "";
        console.log(`ok   ${browserName} ${c.name} (${Date.now() - start} ms${memory})`);
      } catch (e) {
        ++failed;
        console.log(`FAIL ${browserName} ${c.name}: ${e.message}`);
      } finally {
        clearInterval(sampler);
      }
    }
  } finally {
    await browser.close();
    rmSync(work, { recursive: true, force: true });
  }
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
