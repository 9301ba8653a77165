#!/usr/bin/env bash
# Split and join speed against two peers, interleaved run by run so all see the same machine
# state: the copy limit (split -b, cat) and the coreutils way to the same assurance (split -b and
# then sha256sum over the pieces and the file; sha256sum -c over the pieces and then cat).
# Parzello hashes every byte of a split twice (each segment's line and the whole file's line, on
# two threads) and every byte of a join once (each segment read back from where it landed).
# Prints each run's ratios, then the medians and the spread, CPU time (user + system) and the
# peak memory of each tool.
# Usage: bench/split_join.sh [BUILD_DIR] [RUNS] [SIZE_MIB]
# `make bench-large` runs it on an 8 GiB file, past the 2 and 4 GiB bounds. One tool's segments
# and joined copy are removed before the next runs, so the disk holds at most three copies.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-5}
size_mib=${3:-1024}
cli="$build/parzello-cli"
segment=100431872

need=()
command -v bc >/dev/null || need+=(bc)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq && $sudo apt-get install -y -qq "${need[@]}"
fi

size_bytes=$((size_mib * 1024 * 1024))
free_bytes=$(( $(df --output=avail -k "$build" | tail -1) * 1024 ))
if [ "$free_bytes" -lt $((3 * size_bytes + 1024 * 1024 * 1024)) ]; then
  echo "skipped: $size_mib MiB needs $((3 * size_bytes / 1048576 + 1024)) MiB free, the disk has $((free_bytes / 1048576)) MiB" >&2
  exit 0
fi

work=$(mktemp -d "$build/bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ours" "$work/peer" "$work/back"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/source.bin"
cat "$work/source.bin" > /dev/null

# Runs one tool: its seconds go to $work/NAME, its CPU seconds to NAME.cpu, its peak memory
# (KiB) to NAME.mem.
timed() {
  local name=$1 start end
  shift
  sync
  start=$(date +%s.%N)
  /usr/bin/time -f '%M %U %S' -o "$work/time" "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l >> "$work/$name"
  awk '{print $2 + $3}' "$work/time" >> "$work/$name.cpu"
  awk '{print $1}' "$work/time" >> "$work/$name.mem"
}
last() { tail -1 "$work/$1"; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
ratio() { echo "$1 / $2" | bc -l; }
# Median, lowest and highest of a file of numbers.
spread() { printf '%.2f (%.2f-%.2f)' "$(median < "$1")" "$(sort -g "$1" | head -1)" "$(sort -g "$1" | tail -1)"; }

tools="split_ours split_copy split_sums join_ours join_copy join_sums"
for t in $tools; do : > "$work/$t"; done
printf 'file: %d MiB, segments of %d bytes, %d interleaved runs\n' "$size_mib" "$segment" "$runs"
for i in $(seq "$runs"); do
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  rm -f "$work"/ours/* "$work"/peer/* "$work"/back/*
  timed split_ours "$cli" split "$work/source.bin" --to "$work/ours" --size "$segment" --quiet
  timed join_ours "$cli" join "$work/ours/source.bin.PZX000" --to "$work/back" --name joined.bin --quiet
  cmp -s "$work/source.bin" "$work/back/joined.bin" || { echo "join result differs" >&2; exit 1; }
  if [ "$i" = 1 ]; then
    # The timed runs made and checked real checksums.
    "$cli" verify "$work/ours/source.bin.PZX000" --quiet > /dev/null || { echo "verify failed" >&2; exit 1; }
    (cd "$work/back" && mv joined.bin source.bin && sha256sum -c --ignore-missing --quiet "$work/ours/source.bin.PZX.sha256") ||
      { echo "sha256sum does not accept the joined file" >&2; exit 1; }
  fi
  rm -f "$work"/ours/* "$work"/back/*
  timed split_copy split -b "$segment" "$work/source.bin" "$work/peer/source.bin."
  timed join_copy sh -c "cat '$work'/peer/source.bin.* > '$work/back/cat.bin'"
  rm -f "$work"/peer/* "$work"/back/*
  timed split_sums sh -c "split -b $segment '$work/source.bin' '$work/peer/source.bin.' &&
    cd '$work/peer' && sha256sum source.bin.* > pieces.sha256 && sha256sum ../source.bin > whole.sha256"
  timed join_sums sh -c "cd '$work/peer' && sha256sum -c --quiet pieces.sha256 &&
    cat source.bin.[a-z][a-z] > '$work/back/cat.bin'"
  for s in split join; do
    ratio "$(last ${s}_ours)" "$(last ${s}_copy)" >> "$work/${s}_vs_copy"
    ratio "$(last ${s}_sums)" "$(last ${s}_ours)" >> "$work/${s}_speedup"
  done
  printf 'run %d (load %s): split %.2fx split -b, %.2fx faster than split -b + sha256sum; join %.2fx cat, %.2fx faster than sha256sum -c + cat\n' \
    "$i" "$load" "$(last split_vs_copy)" "$(last split_speedup)" "$(last join_vs_copy)" "$(last join_speedup)"
done

echo "median (lowest-highest) over the runs:"
printf 'split: parzello-cli %.3f s, split -b %.3f s, split -b + sha256sum %.3f s; ratio to split -b %s, faster than the coreutils way %s\n' \
  "$(median < "$work/split_ours")" "$(median < "$work/split_copy")" "$(median < "$work/split_sums")" \
  "$(spread "$work/split_vs_copy")" "$(spread "$work/split_speedup")"
printf 'join:  parzello-cli %.3f s, cat %.3f s, sha256sum -c + cat %.3f s; ratio to cat %s, faster than the coreutils way %s\n' \
  "$(median < "$work/join_ours")" "$(median < "$work/join_copy")" "$(median < "$work/join_sums")" \
  "$(spread "$work/join_vs_copy")" "$(spread "$work/join_speedup")"
printf 'cpu (user+sys), median: split %.2f s / %.2f s / %.2f s, join %.2f s / %.2f s / %.2f s\n' \
  "$(median < "$work/split_ours.cpu")" "$(median < "$work/split_copy.cpu")" "$(median < "$work/split_sums.cpu")" \
  "$(median < "$work/join_ours.cpu")" "$(median < "$work/join_copy.cpu")" "$(median < "$work/join_sums.cpu")"
printf 'peak memory (KiB), highest: parzello-cli split %d, join %d; split -b %d, cat %d, sha256sum way %d / %d\n' \
  "$(sort -g "$work/split_ours.mem" | tail -1)" "$(sort -g "$work/join_ours.mem" | tail -1)" \
  "$(sort -g "$work/split_copy.mem" | tail -1)" "$(sort -g "$work/join_copy.mem" | tail -1)" \
  "$(sort -g "$work/split_sums.mem" | tail -1)" "$(sort -g "$work/join_sums.mem" | tail -1)"
printf 'load at the end: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
