#!/usr/bin/env bash
# Packing a 256 MiB file of mixed text and random data: the compression stage (ZIPENG.DLL at
# levels 9 and 3) against Debian's zip -9 and zip -3, interleaved round by round.
#   bash bench/compress.sh [build folder] [rounds]
set -euo pipefail
BUILD=${1:-build}
ROUNDS=${2:-3}
BENCH="$(cd "$BUILD" && pwd)/pz_compress_bench"
[ -x "$BENCH" ] || { echo "build $BENCH first (cmake --build $BUILD --target pz_compress_bench zipeng)"; exit 1; }
if ! command -v hyperfine > /dev/null; then
  SUDO=$([ "$(id -u)" = 0 ] || echo sudo)
  $SUDO apt-get install -y -qq hyperfine
fi
command -v zip > /dev/null || { echo "zip is missing"; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
SRC="$WORK/mixed.bin"

# 4 MiB of text, then alternately text and fresh random data up to 256 MiB.
seq 1 400000 | awk '{ printf "%d the quick brown fox %s jumps over the lazy dog %d\n", $1, ($1 % 7 ? "quietly" : "loudly"), $1 * 37 % 1000 }' \
  | head -c $((4 << 20)) > "$WORK/text" || true  # head closes the pipe early on purpose
for i in $(seq 0 63); do
  if [ $((i % 2)) = 0 ]; then cat "$WORK/text"; else head -c $((4 << 20)) /dev/urandom; fi
done > "$SRC"
echo "source: $(stat -c %s "$SRC") bytes"

for r in $(seq 1 "$ROUNDS"); do
  hyperfine --runs 1 --style basic --export-json "$WORK/round$r.json" \
    --prepare "rm -f $WORK/p9.zip $WORK/p3.zip $WORK/z9.zip $WORK/z3.zip" \
    -n parzello-9 "$BENCH $SRC $WORK/p9.zip 9" \
    -n zip-9 "cd $WORK && zip -q -9 z9.zip mixed.bin" \
    -n parzello-3 "$BENCH $SRC $WORK/p3.zip 3" \
    -n zip-3 "cd $WORK && zip -q -3 z3.zip mixed.bin" > /dev/null
done
# The prepare step removed the archives before each command; make them once more for the sizes.
"$BENCH" "$SRC" "$WORK/p9.zip" 9 && "$BENCH" "$SRC" "$WORK/p3.zip" 3
(cd "$WORK" && zip -q -9 z9.zip mixed.bin && zip -q -3 z3.zip mixed.bin)

python3 - "$WORK" "$ROUNDS" <<'PY'
import json, os, sys
work, rounds = sys.argv[1], int(sys.argv[2])
times = {}
for r in range(1, rounds + 1):
    for res in json.load(open(f"{work}/round{r}.json"))["results"]:
        times.setdefault(res["command"], []).append(res["mean"])
mean = {k: sum(v) / len(v) for k, v in times.items()}
size = {n: os.path.getsize(f"{work}/{n}.zip") for n in ("p9", "z9", "p3", "z3")}
for name, level in (("9", "9"), ("3", "3")):
    p, z = mean[f"parzello-{level}"], mean[f"zip-{level}"]
    print(f"level {level}: parzello {p:.2f} s, zip {z:.2f} s, time ratio {p / z:.3f}; "
          f"size {size['p' + level]} vs {size['z' + level]}, size ratio "
          f"{size['p' + level] / size['z' + level]:.4f}")
PY
