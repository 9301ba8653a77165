#!/usr/bin/env bash
# Split and join speed against the classic tools, interleaved run by run so both see the same
# machine state: parzello-cli split vs split -b, parzello-cli join vs cat. Parzello hashes every
# byte twice on the way (each segment and the whole file, SHA-256, for the checksum file the
# split writes and the join checks); the CPU time line shows what that costs on this machine.
# Usage: bench/split_join.sh [BUILD_DIR] [RUNS] [SIZE_MIB]
# `make bench-large` runs it on an 8 GiB file, past the 2 and 4 GiB bounds. One tool's segments
# and joined copy are removed before the other runs, so the disk holds at most three copies.
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
load=$(cut -d' ' -f1-3 /proc/loadavg)
cat "$work/source.bin" > /dev/null

# Seconds of one command; its peak memory (KiB) goes to $work/mem, its CPU seconds (user and
# system) are added to the file named by $cpu.
cpu=/dev/null
timed() {
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M %U %S' -o "$work/mem" "$@" > /dev/null
  end=$(date +%s.%N)
  awk '{print $2 + $3}' "$work/mem" >> "$cpu"
  echo "$end - $start" | bc -l
}
mem() { awk '{print $1}' "$work/mem"; }

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

: > "$work/split_ours"; : > "$work/split_peer"; : > "$work/join_ours"; : > "$work/join_peer"
peak=0
for i in $(seq "$runs"); do
  rm -f "$work"/ours/* "$work"/peer/* "$work"/back/*
  sync
  cpu="$work/split_ours.cpu" timed "$cli" split "$work/source.bin" --to "$work/ours" --size "$segment" --quiet >> "$work/split_ours"
  peak=$(( $(mem) > peak ? $(mem) : peak ))
  sync
  cpu="$work/join_ours.cpu" timed "$cli" join "$work/ours/source.bin.PZX000" --to "$work/back" --name joined.bin --quiet >> "$work/join_ours"
  peak=$(( $(mem) > peak ? $(mem) : peak ))
  cmp -s "$work/source.bin" "$work/back/joined.bin" || { echo "join result differs" >&2; exit 1; }
  if [ "$i" = 1 ]; then
    # The timed runs made and checked real checksums.
    "$cli" verify "$work/ours/source.bin.PZX000" --quiet > /dev/null || { echo "verify failed" >&2; exit 1; }
    (cd "$work/back" && mv joined.bin source.bin && sha256sum -c --ignore-missing --quiet "$work/ours/source.bin.PZX.sha256") ||
      { echo "sha256sum does not accept the joined file" >&2; exit 1; }
  fi
  rm -f "$work"/ours/* "$work"/back/*
  sync
  cpu="$work/split_peer.cpu" timed split -b "$segment" "$work/source.bin" "$work/peer/source.bin." >> "$work/split_peer"
  sync
  cpu="$work/join_peer.cpu" timed sh -c "cat '$work'/peer/source.bin.* > '$work/back/cat.bin'" >> "$work/join_peer"
done

so=$(median < "$work/split_ours"); sp=$(median < "$work/split_peer")
jo=$(median < "$work/join_ours"); jp=$(median < "$work/join_peer")
printf 'file: %d MiB, segments of %d bytes, %d interleaved runs\n' "$size_mib" "$segment" "$runs"
printf 'split: parzello-cli %.3f s, split -b %.3f s, ratio %.2f\n' "$so" "$sp" "$(echo "$so / $sp" | bc -l)"
printf 'join:  parzello-cli %.3f s, cat      %.3f s, ratio %.2f\n' "$jo" "$jp" "$(echo "$jo / $jp" | bc -l)"
sc=$(median < "$work/split_ours.cpu"); pc=$(median < "$work/split_peer.cpu")
jc=$(median < "$work/join_ours.cpu"); cc=$(median < "$work/join_peer.cpu")
printf 'cpu (user+sys): split %.2f s vs %.2f s, join %.2f s vs %.2f s; load before: %s\n' \
  "$sc" "$pc" "$jc" "$cc" "$load"
printf 'peak memory of parzello-cli: %d KiB\n' "$peak"
