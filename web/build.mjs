// Builds the one self-contained page: the texts it shows are taken from the program's language
// files at build time (by the names of lang/textblocks.h), the script is bundled into the page.
//   node build.mjs OUT.html
import { readFileSync, writeFileSync, mkdirSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { createHash } from "node:crypto";
import * as esbuild from "esbuild";

const here = dirname(fileURLToPath(import.meta.url));
const root = join(here, "..");
const out = process.argv[2] ?? join(here, "dist", "parzello-join.html");

// The text block names the page uses.
const NAMES = [
  "kWebTitle", "kWebIntro", "kWebChoose", "kWebDropHint", "kWebClear", "kWebMissing", "kWebSave",
  "kWebSavedTo", "kWebProgress", "kWebPasswordHint", "kWebNothingKept",
  "kPasswordCaption", "kButtonOk", "kNoFirstSegment", "kHeaderTooShort", "kHeaderDamaged",
  "kSegmentsTooLong", "kJoinBusy", "kJoinDone", "kJoinFailed", "kUnpackBusy", "kUnpackFailed",
  "kJoinCancelled", "kWrongPassword", "kReadFailed", "kOtherMembersKept", "kMemberMissing",
  "kJoinVerified", "kJoinNotVerified", "kJoinPartlyVerified", "kSegmentHashDiffers",
  "kWholeHashDiffers",
];

function blockNumbers() {
  const source = readFileSync(join(root, "lang", "textblocks.h"), "utf8");
  const numbers = new Map();
  for (const m of source.matchAll(/inline constexpr Block (k\w+) = (\d+);/g)) numbers.set(m[1], Number(m[2]));
  return numbers;
}

// As the program reads a language file: up to an end-of-file mark, without a UTF-8 mark, UTF-8
// when the bytes are valid UTF-8, else Windows-1252; four header lines, then "N,text" lines.
function readLanguage(file) {
  let bytes = readFileSync(join(root, "data", "language_parzello", file));
  const eof = bytes.indexOf(0x1a);
  if (eof >= 0) bytes = bytes.subarray(0, eof);
  if (bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf) bytes = bytes.subarray(3);
  let text;
  try {
    text = new TextDecoder("utf-8", { fatal: true }).decode(bytes);
  } catch {
    text = new TextDecoder("windows-1252").decode(bytes);
  }
  const blocks = new Map();
  for (const line of text.split(/\r\n|\r|\n/).slice(4)) {
    const m = /^ *(\d+),(.*)$/.exec(line);
    if (m) blocks.set(Number(m[1]), m[2]);
  }
  return blocks;
}

function texts() {
  const numbers = blockNumbers();
  const de = readLanguage("Deutsch.lng");
  const en = readLanguage("English.lng");
  const out = {};
  for (const name of NAMES) {
    const n = numbers.get(name);
    if (n === undefined) throw new Error(`${name} is not in lang/textblocks.h`);
    if (!de.has(n) || !en.has(n)) throw new Error(`text block ${n} (${name}) missing in a language file`);
    out[name] = { de: de.get(n), en: en.get(n) };
  }
  return out;
}

// "--texts": print the texts the page shows, for the tests.
if (process.argv[2] === "--texts") {
  console.log(JSON.stringify(texts()));
  process.exit(0);
}

const textsPlugin = {
  name: "parzello-texts",
  setup(build) {
    build.onResolve({ filter: /^parzello:texts$/ }, () => ({ path: "texts", namespace: "parzello" }));
    build.onLoad({ filter: /.*/, namespace: "parzello" }, () => ({ contents: JSON.stringify(texts()), loader: "json" }));
  },
};

const result = await esbuild.build({
  entryPoints: [join(here, "src", "main.js")],
  bundle: true,
  minify: true,
  format: "iife",
  target: ["chrome109", "firefox115", "safari16.4"],
  write: false,
  legalComments: "none",
  plugins: [textsPlugin],
});
const script = result.outputFiles[0].text.replaceAll("</script", "<\\/script");
// The policy allows exactly this script and this style sheet, and no connection at all.
const digest = (text) => `'sha256-${createHash("sha256").update(text).digest("base64")}'`;
const template = readFileSync(join(here, "src", "page.html"), "utf8");
const style = /<style>([\s\S]*?)<\/style>/.exec(template)[1];
const page = template
  .replace("/*BUNDLE*/", () => script)
  .replace("'unsafe-inline' 'wasm-unsafe-eval'", () => `${digest(script)} 'wasm-unsafe-eval'`)
  .replace("style-src 'unsafe-inline'", () => `style-src ${digest(style)}`);
mkdirSync(dirname(out), { recursive: true });
writeFileSync(out, page);
console.log(`${out}: ${Buffer.byteLength(page)} bytes`);
