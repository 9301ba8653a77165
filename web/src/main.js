// The page: takes the pieces, says what is missing, asks for a password, joins and offers the
// result under the stored file name.
import texts from "parzello:texts";
import { plainFileName, samePassword } from "./header.js";
import { HeaderDamaged } from "./header.js";
import { parseChecksumText, SetCheck, Verdict } from "./checksum.js";
import { collectPieces, findFirst, setNameOf } from "./pieces.js";
import { BadPiece, WrongPassword, blobSink, fileSink, joinInto } from "./join.js";
import { ArchiveError } from "./unzip.js";

const lang = (navigator.languages?.[0] ?? navigator.language ?? "en").toLowerCase().startsWith("de") ? "de" : "en";
const t = (name) => texts[name][lang];
const $ = (id) => document.getElementById(id);

const chosen = new Map(); // file name -> File
let ready = null; // the complete set waiting for its password
let running = false;

function say(lines, kind = "info") {
  const status = $("status");
  status.replaceChildren(...lines.map((line) => Object.assign(document.createElement("p"), { textContent: line })));
  status.dataset.kind = kind;
}

function fillTexts() {
  document.documentElement.lang = lang;
  document.title = t("kWebTitle");
  for (const el of document.querySelectorAll("[data-text]")) el.textContent = t(el.dataset.text);
  $("drop").setAttribute("aria-label", t("kWebDropHint"));
}

function showChosen() {
  const list = $("chosen");
  list.replaceChildren(
    ...[...chosen.values()].map((f) => Object.assign(document.createElement("li"), { textContent: `${f.name} (${f.size.toLocaleString(lang)})` })),
  );
  $("clear").hidden = chosen.size === 0;
}

async function checksumList(setName) {
  const sums = chosen.get(`${setName}.PZX.sha256`) ?? [...chosen.values()].find((f) => /\.sha256$/i.test(f.name));
  if (!sums) return null;
  if (sums.size > 32 << 20) return { hashes: new Map(), damaged: true };
  return parseChecksumText(await sums.text());
}

// What the chosen files make: null (said why) or the set ready to join.
async function examine() {
  const files = [...chosen.values()];
  let first;
  try {
    first = await findFirst(files);
  } catch (e) {
    if (!(e instanceof HeaderDamaged)) throw e;
    say([`${t("kHeaderDamaged")} ${e.message}`], "error");
    return null;
  }
  if (!first || first.notFirst) return say([t("kNoFirstSegment")], "error"), null;
  if (first.tooShort) return say([`${t("kHeaderTooShort")} ${first.file.name}`], "error"), null;
  const setName = setNameOf(first.file.name);
  const list = await checksumList(setName);
  const wholeName = plainFileName(first.header.name) || setName;
  const check = list ? new SetCheck(list, setName, wholeName) : null;
  // An encrypted set's checksum file lists its segments only: the age format proves the rest.
  if (check && first.header.encrypted) check.segmentLinesOnly = true;
  const found = collectPieces(first.file, first.header, chosen, check?.listedSegments() ?? []);
  if (found.missing.length > 0) return say([t("kWebMissing"), ...found.missing], "missing"), null;
  if (found.surplus) return say([`${t("kSegmentsTooLong")} ${found.surplus}`], "error"), null;
  return { header: first.header, pieces: found.pieces, check, wholeName };
}

async function update() {
  if (running) return;
  ready = null;
  $("password-form").hidden = true;
  $("result").replaceChildren();
  showChosen();
  if (chosen.size === 0) return say([]);
  const set = await examine();
  if (!set) return;
  if (set.header.password) {
    ready = set;
    say([t("kWebPasswordHint")]);
    $("password-form").hidden = false;
    $("password").focus();
    return;
  }
  await run(set, "");
}

function progress(total) {
  const bar = $("progress");
  let done = 0;
  bar.value = 0;
  return (n) => {
    done += n;
    bar.value = total > 0 ? Math.round((done / total) * 1000) : 1000;
  };
}

// Where packed and encrypted results go: a file the user picks, where the browser lets the page
// ask for one now; else a Blob. null when the user cancelled the choice.
async function outputFor(set) {
  if (typeof window.showSaveFilePicker !== "function" || !navigator.userActivation?.isActive) {
    return blobSink("application/octet-stream");
  }
  try {
    return await fileSink(await window.showSaveFilePicker({ suggestedName: set.wholeName }));
  } catch (e) {
    if (e?.name === "AbortError") return null;
    return blobSink("application/octet-stream");
  }
}

function offer(blob, name) {
  const link = Object.assign(document.createElement("a"), { href: URL.createObjectURL(blob), download: name, textContent: name });
  link.id = "download";
  $("result").replaceChildren(`${t("kWebSave")} `, link);
  link.click();
}

function verdictLines(verdict, check) {
  switch (verdict) {
    case Verdict.Verified:
      return [t("kJoinVerified")];
    case Verdict.NoChecksumFile:
      return [t("kJoinNotVerified")];
    case Verdict.Incomplete:
      return [t("kJoinPartlyVerified")];
    case Verdict.WholeDiffers:
      return [`${t("kWholeHashDiffers")} ${check.bad}`, t("kWebNothingKept")];
    default:
      return [`${t("kSegmentHashDiffers")} ${check.bad}`, t("kWebNothingKept")];
  }
}

function failureLines(e) {
  if (e instanceof BadPiece) return [`${t("kSegmentHashDiffers")} ${e.piece}`, t("kWebNothingKept")];
  if (e instanceof WrongPassword) return [t("kWrongPassword")];
  if (e instanceof ArchiveError && /missing/.test(e.message)) return [t("kMemberMissing")];
  if (e instanceof ArchiveError || e?.name === "TypeError") return [t("kUnpackFailed")];
  return [`${t("kReadFailed")} ${e?.message ?? e}`];
}

// Plain sets are Blobs of File slices: nothing is read unless the checksum file asks for it.
function plainResult(set) {
  const parts = set.pieces.map((p) => p.file.slice(p.dataStart));
  return new Blob(parts, { type: "application/octet-stream" }).slice(0, set.header.dataSize);
}

async function joinSet(set, password) {
  const plain = !set.header.compressed && !set.header.encrypted;
  if (plain && !set.check) return { blob: plainResult(set), verdict: Verdict.NoChecksumFile };
  const output = plain ? { sink: new WritableStream(), result: () => plainResult(set), discard() {} } : await outputFor(set);
  if (output === null) return { cancelled: true };
  const total = set.pieces.reduce((sum, p) => sum + p.file.size, 0);
  say([`${t(set.header.compressed ? "kUnpackBusy" : "kJoinBusy")}...`]);
  try {
    const { wholeHex, others } = await joinInto({ ...set, password, onRead: progress(total) }, output.sink);
    const verdict = set.check ? set.check.finish(wholeHex) : Verdict.NoChecksumFile;
    if (verdict === Verdict.WholeDiffers || verdict === Verdict.SegmentDiffers) {
      await output.discard();
      return { verdict };
    }
    if (output.commit) await output.commit();
    return { verdict, others, blob: output.result?.(), saved: Boolean(output.commit) };
  } catch (e) {
    await output.discard();
    throw e;
  }
}

async function run(set, password) {
  if (set.header.password && !set.header.encrypted && !samePassword(password, set.header.passwort)) {
    say([t("kWrongPassword"), t("kJoinFailed")], "error");
    return;
  }
  running = true;
  $("progress").value = 0;
  try {
    const r = await joinSet(set, password);
    if (r.cancelled) return say([t("kJoinCancelled")], "error");
    const good = r.verdict !== Verdict.WholeDiffers && r.verdict !== Verdict.SegmentDiffers;
    const lines = [t(good ? "kJoinDone" : "kJoinFailed"), ...verdictLines(r.verdict, set.check)];
    if (r.others?.length) lines.push(`${t("kOtherMembersKept")} ${r.others.join(", ")}`);
    if (r.saved) lines.push(`${t("kWebSavedTo")} ${set.wholeName}`);
    $("progress").value = 1000;
    say(lines, good ? "done" : "error");
    if (good && r.blob) offer(r.blob, set.wholeName);
  } catch (e) {
    say([t("kJoinFailed"), ...failureLines(e)], "error");
  } finally {
    running = false;
  }
}

function add(files) {
  for (const f of files) chosen.set(f.name, f);
  update().catch((e) => say([t("kJoinFailed"), String(e?.message ?? e)], "error"));
}

function wire() {
  const input = $("files");
  input.addEventListener("change", () => {
    add(input.files);
    input.value = "";
  });
  $("clear").addEventListener("click", () => {
    chosen.clear();
    update();
    input.focus();
  });
  for (const type of ["dragenter", "dragover"]) {
    document.addEventListener(type, (e) => {
      e.preventDefault();
      $("drop").classList.add("over");
    });
  }
  document.addEventListener("dragleave", () => $("drop").classList.remove("over"));
  document.addEventListener("drop", (e) => {
    e.preventDefault();
    $("drop").classList.remove("over");
    add(e.dataTransfer?.files ?? []);
  });
  $("drop").addEventListener("keydown", (e) => {
    if (e.key === "Enter" || e.key === " ") {
      e.preventDefault();
      input.click();
    }
  });
  $("password-form").addEventListener("submit", (e) => {
    e.preventDefault();
    if (ready && !running) run(ready, $("password").value);
  });
}

fillTexts();
wire();
