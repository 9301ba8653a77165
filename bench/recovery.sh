#!/usr/bin/env bash
# Recovery data against Debian's par2, interleaved run by run: making 10% recovery files for the
# segments of a 1 GiB file cut at 100 MB (par2 create with the same count of input blocks), and
# rebuilding one lost segment (parzello-cli repair vs par2 repair, each from its own files).
# Also the GF(2^16) multiply-add per core and kernel, and our peak memory.
# Usage: bench/recovery.sh [BUILD_DIR] [RUNS] [SIZE_MIB]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
size_mib=${3:-1024}
cli="$build/parzello-cli"
tool="$build/bench/pz_recovery_bench"
[ -x "$tool" ] || tool="$build/pz_recovery_bench"
segment=100000000
command -v par2 >/dev/null || { echo "skipped: par2 is not installed" >&2; exit 0; }

work=$(mktemp -d "$build/bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/set" "$work/lost"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/source.bin"
"$cli" split "$work/source.bin" --to "$work/set" --size "$segment" --quiet
rm "$work/source.bin"
segs=("$work"/set/source.bin.PZX0??)
lost=source.bin.PZX005
cp "$work/set/$lost" "$work/lost/"

timed() {  # seconds of one command; its peak memory (KiB) in $work/mem
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/mem" "$@" > "$work/out"
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

"$tool" kernels
: > "$work/c_ours"; : > "$work/c_peer"; : > "$work/r_ours"; : > "$work/r_peer"
peak=0
for i in $(seq "$runs"); do
  rm -f "$work"/set/*.par2
  timed "$tool" create 10 "$work/set" source.bin.PZX "${segs[@]}" >> "$work/c_ours"
  blocks=$(cat "$work/out")
  peak=$(( $(cat "$work/mem") > peak ? $(cat "$work/mem") : peak ))
  (cd "$work/set" && timed par2 create -q -b"$blocks" -r10 peer.par2 source.bin.PZX0?? >> "$work/c_peer")

  rm "$work/set/$lost"
  timed "$cli" repair "$work/set/source.bin.PZX000" --quiet >> "$work/r_ours"
  peak=$(( $(cat "$work/mem") > peak ? $(cat "$work/mem") : peak ))
  cmp -s "$work/set/$lost" "$work/lost/$lost" || { echo "our repair differs" >&2; exit 1; }
  rm "$work/set/$lost"
  (cd "$work/set" && timed par2 repair -q peer.par2 >> "$work/r_peer")
  cmp -s "$work/set/$lost" "$work/lost/$lost" || { echo "par2's repair differs" >&2; exit 1; }
  rm -f "$work"/set/*.1
done

co=$(median < "$work/c_ours"); cp_=$(median < "$work/c_peer")
ro=$(median < "$work/r_ours"); rp=$(median < "$work/r_peer")
printf 'file: %d MiB, segments of %d bytes, %s input blocks, 10%% recovery, %d interleaved runs\n' \
  "$size_mib" "$segment" "$blocks" "$runs"
printf 'create: parzello %.3f s, par2 create -b%s -r10 %.3f s, par2/parzello %.2f\n' "$co" "$blocks" "$cp_" "$(echo "$cp_ / $co" | bc -l)"
printf 'repair one lost segment: parzello %.3f s, par2 repair %.3f s, par2/parzello %.2f\n' "$ro" "$rp" "$(echo "$rp / $ro" | bc -l)"
printf 'peak memory (parzello): %d MiB\n' $((peak / 1024))
