#!/usr/bin/env python3
"""Puts small realistic bugs into the guards of engine/, zip/ and cli/, one at a time, rebuilds
what they touch and runs the tests of that area; a mutant is killed when a test fails.

  tests/mutation/run_mutants.py BUILD_DIR [--deadline HH:MM] [--only N,M]

Each mutant names its file, an exact text and its replacement (the text must occur once), and
the areas whose tests run against it. The source is restored after every mutant, also on Ctrl-C.
Prints one line per mutant and the kill rate (fsync-only mutants counted apart)."""
import argparse, datetime, os, pathlib, subprocess, sys, time

ROOT = pathlib.Path(__file__).resolve().parents[2]

# Area -> (build targets, ctest regex); every run stays within the unit and e2e labels.
AREAS = {
    "engine": (["test_engine", "parzello-cli"], "^(engine|cli)\\."),
    "cli": (["parzello-cli", "test_terminal"], "^(cli|terminal)\\."),
    "faults": (["parzello-cli", "pz_faultfs", "test_faults", "zipeng", "unzeng"], "^faults\\."),
    "zip": (["test_zip", "zipeng", "unzeng"], "^zip\\."),
    "pack": (["parzello-cli", "zipeng", "unzeng", "test_cli"], "^cli\\."),
    "recovery": (["parzello-cli"], "^e2e_recovery$"),
    # One case of the load tests (65536 empty segments; seconds, not minutes).
    "chain": (["test_load"], "^load\\.LargeSets\\.TheJoinEndsAtTheLastSegmentNumber$"),
}

M = []  # (id, file, old, new, areas, fsyncOnly, what)


def mutant(file, old, new, areas, what, fsync=False):
    M.append((len(M) + 1, file, old, new, areas, fsync, what))


E = "engine/engine.cpp"
C = "engine/checksum.cpp"
mutant(E, "if (available > take)\n", "if (false && available > take)\n", ["engine"],
       "surplus data in a segment not refused")
mutant(E, "if (firstData > 0)\n      return Refuse", "if (false)\n      return Refuse", ["engine"],
       "data after the header of a set of no data not refused")
mutant(E, "if (i - 1 > static_cast<std::int64_t>(kLastSegmentNumber))",
       "if (false)", ["engine", "chain"], "join wraps past .PZX65535")
mutant(E, "::fchmod(archive_.get(), 0600);", "", ["engine"],
       "joined temporary archive keeps a wider mode")
mutant(E, "if (OutputIsSegment(output, job_.ersteSegment))", "if (false)", ["engine"],
       "join output that is a segment not refused")
mutant(E, "if (SameFile(path, outPath_) || SameFile(path, target_))", "if (false)", ["engine"],
       "later segment that is the output not refused")
mutant(E, "return typed == info_.passwort ||", "return typed.size() == info_.passwort.size() ||",
       ["engine"], "password compared by length only")
mutant(C, "  if (whole_ == Whole::Differs) {", "  if (false) {", ["engine"],
       "whole-file line contradicting the segments ignored")
mutant(E, "for (const std::string& path : {target_, unpacked}) {",
       "for (const std::string& path : {target_}) {", ["engine"],
       "existing file under the stored name not refused before unpacking")
mutant(E, "if (SameFile(segment, job_.quelle) || SameFile(segment, job_.quellName))",
       "if (false)", ["engine"], "segment that is the source not refused")
mutant(E, "job_.trennGroesse <= static_cast<std::int64_t>(kHeaderSize)",
       "job_.trennGroesse < static_cast<std::int64_t>(kHeaderSize)", ["engine"],
       "segment size of exactly the header accepted")
mutant(E, "    if (FolderExists(confirmed)) {\n", "    if (false) {\n", ["engine"],
       "a folder answer at the volume prompt not looked into")
mutant(E, "a.conflicting.empty() && a.readError.empty());", "a.conflicting.empty());", ["engine"],
       "verify calls an unreadable checksum file all good")
C = "engine/checksum.cpp"
mutant(C, "if (!added && it->second != entry->hex) {", "if (false) {", ["engine"],
       "conflicting duplicate lines: the first one believed")
mutant(C, "name.find('/') == std::string::npos &&", "", ["engine"],
       "checksum lines naming paths followed")
mutant(C, "      list.unreadable.push_back(number);\n", "", ["engine"],
       "unreadable checksum lines not reported")
mutant(C, "      notListed_.push_back(name);\n", "      matched_.push_back(name);\n", ["engine"],
       "segment without a line counted as matched")
P = "engine/compress.cpp"
mutant(P, "static_cast<std::int64_t>(contents[0]->Size) == FileSize(quelle) &&", "", ["zip"],
       "packed archive of another size accepted")
mutant(P, "(member.empty() || FileExists(JoinPath(ordner, member)))", "true", ["zip"],
       "unpack counted done without the recorded file")
mutant(P, "O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600", "O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644",
       ["zip"], "temporary archive readable by others")
mutant(P, "if (::kill(pid, 0) == 0 || errno != ESRCH) continue;", "", ["faults"],
       "left-overs of running processes removed")
mutant(P, "if (error != 0 && !text.empty()) causes_ +=", "if (false) causes_ +=", ["zip"],
       "packing/unpacking failure without its cause")
L = "cli/cli.cpp"
mutant(L, "if (signals::Received() != 0) return kExitFailed;  // asked to stop: the source stays",
       "", ["faults"], "no stop after a signal before --delete-source")
mutant(L, "  if (line.empty()) {\n    ui_.ShowMessage(Text(tb::kPasswordFileEmpty)",
       "  if (false) {\n    ui_.ShowMessage(Text(tb::kPasswordFileEmpty)", ["cli"],
       "empty password file taken as no password")
mutant(L, "if (!Contains(c.options, name) && !Contains(kCommonOptions, name)) return name;", "",
       ["cli"], "options of other commands ignored")
mutant(L, "if (info->compressed && !name.empty() && name != stored) {",
       "if (false) {", ["cli"], "--name with a packed set not refused")
mutant(L, "if (total > dataSize) surplus = path;", "", ["cli"], "info misses surplus data")
S = "cli/signals.cpp"
mutant(S, "void CancellableTerminal::Progress(std::int64_t done, std::int64_t total) {\n  if (received != 0) throw EngineStopped(stopText_);",
       "void CancellableTerminal::Progress(std::int64_t done, std::int64_t total) {", ["faults"],
       "copy does not stop at a signal")
U = "zip/engines/unpack.cpp"
mutant(U, "m.hasUnixMode ? (m.unixMode & ACCESSPERMS)", "m.hasUnixMode ? (m.unixMode & 07777)",
       ["zip"], "set-uid and set-gid bits kept when unpacking")
mutant(U, "  } else if (!o_.overwrite) {\n    return Refuse(kErrExists",
       "  } else if (false) {\n    return Refuse(kErrExists", ["zip"], "existing files replaced")
mutant(U, "    if (part == \"..\") {\n      out.dotdot = true;\n      continue;\n    }\n", "",
       ["zip"], "\"..\" kept as a path part")
mutant(U, "return Refuse(kErrRefused, \"Refused (link or special file): \" + m.stored);",
       "return Next::Go;", ["zip"], "links in an archive unpacked")
mutant(U, "if (::fsync(out.fd()) != 0 && errno != EINVAL)", "if (false)", ["faults"],
       "failed fsync while unpacking ignored", fsync=True)
Z = "zip/engines/zipeng.cpp"
mutant(Z, "return safe.verdict == pz::unpack::Verdict::Ok ? s : \"\";", "return s;", ["zip"],
       "packing stores a name unpacking reads with \"..\"")
mutant(Z, "  if (n == 0 && s->deflater->Failed()) {", "  if (false) {", ["faults"],
       "read error while packing ignored")
D = "zip/zipdir.cpp"
mutant(D, "o > static_cast<std::uint64_t>(at) ||", "", ["zip"],
       "ZIP64 directory offset beyond the file accepted")

E = "engine/engine.cpp"
mutant(E, "O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666", "O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666",
       ["engine"], "a link planted as a segment is followed")
mutant(E, "    if (link)\n      ctx.ui.ShowMessage(", "    if (false)\n      ctx.ui.ShowMessage(", ["engine"],
       "a replaced link not reported")
mutant(E, "if (!info_.compressed && !job_.ersetzen && PathExists(target_))",
       "if (false)", ["engine"], "a join replaces an existing file without being asked")
mutant(E, "if (!r.chunkDamaged || !mayRepair) throw;", "throw;", ["recovery"],
       "a damaged encrypted chunk not rebuilt from the recovery files")
mutant("engine/partialfile.cpp", "O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600", "O_RDWR | O_CREAT | O_CLOEXEC, 0600",
       ["engine"], "the partial file opens whatever stands under its name")
mutant("engine/segments.cpp", "return ExistingInAnyCase(path, FileNamePart(path).size() - (path.size() - ext));",
       "return path;", ["engine"], "lower-case sets not found")
mutant("engine/checks.cpp", "if (in.split && in.segmentCount > kMaxSegments) {", "if (false) {", ["engine"],
       "more segments than the format numbers accepted")


def sh(cmd, timeout):
    return subprocess.run(cmd, cwd=ROOT, shell=True, timeout=timeout, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True)


def run_one(build, m):
    ident, file, old, new, areas, fsync, what = m
    path = ROOT / file
    original = path.read_text()
    if original.count(old) != 1:
        return "stale", 0.0
    path.write_text(original.replace(old, new))
    start = time.time()
    try:
        targets = sorted({t for a in areas for t in AREAS[a][0]})
        b = sh(f"cmake --build {build} -j 2 --target {' '.join(targets)}", 1200)
        if b.returncode != 0:
            return "killed (build)", time.time() - start
        regex = "|".join(AREAS[a][1] for a in areas)
        labels = "unit|e2e|load" if "chain" in areas else "unit|e2e"
        t = sh(f"cd {build} && QT_QPA_PLATFORM=offscreen ctest -L '{labels}' -R '{regex}' "
               f"--timeout 600 -j 2", 1500)
        return ("killed" if t.returncode != 0 else "SURVIVED"), time.time() - start
    finally:
        path.write_text(original)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--deadline", help="HH:MM UTC; no mutant starts after it")
    ap.add_argument("--only", help="comma-separated mutant numbers")
    a = ap.parse_args()
    only = {int(x) for x in a.only.split(",")} if a.only else None
    results = []
    for m in M:
        if only and m[0] not in only:
            continue
        if a.deadline:
            now = datetime.datetime.utcnow().strftime("%H:%M")
            if now >= a.deadline:
                print(f"{m[0]:2} not run: deadline", flush=True)
                continue
        verdict, secs = run_one(a.build, m)
        results.append((m, verdict))
        print(f"{m[0]:2} {verdict:15} {secs:5.0f}s  {m[1]}: {m[6]}", flush=True)
    counted = [(m, v) for m, v in results if not m[5] and v != "stale"]
    killed = sum(1 for _, v in counted if v.startswith("killed"))
    print(f"killed {killed} of {len(counted)} (fsync-only mutants aside)")
    for m, v in results:
        if v == "SURVIVED" or v == "stale":
            print(f"  {v}: {m[0]} {m[1]}: {m[6]}")
    # Restores the build of the unmutated source.
    sh(f"cmake --build {a.build} -j 2", 3600)


if __name__ == "__main__":
    main()
