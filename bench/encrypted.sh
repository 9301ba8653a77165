#!/usr/bin/env bash
# What encryption costs: parzello-cli split and join of the same file with and without a
# password (an age-encrypted set against a plain one), interleaved run by run so both see the same
# machine state. scrypt's fixed cost (one key derivation per split and per join, work factor
# 2^18) is measured apart on a one-byte file and reported beside the ratios; peak memory is that
# of the whole command, scrypt's 256 MiB included.
# Usage: bench/encrypted.sh [BUILD_DIR] [RUNS] [SIZE_MIB]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
size_mib=${3:-1024}
cli="$build/parzello-cli"
segment=100431872

size_bytes=$((size_mib * 1024 * 1024))
free_bytes=$(( $(df --output=avail -k "$build" | tail -1) * 1024 ))
if [ "$free_bytes" -lt $((3 * size_bytes + 1024 * 1024 * 1024)) ]; then
  echo "skipped: $size_mib MiB needs $((3 * size_bytes / 1048576 + 1024)) MiB free" >&2
  exit 0
fi

work=$(mktemp -d "$build/bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/set" "$work/back"
head -c "$size_bytes" /dev/urandom > "$work/source.bin"
head -c 1 /dev/urandom > "$work/one.bin"
printf 'correct horse battery staple\n' > "$work/pw"
load=$(cut -d' ' -f1-3 /proc/loadavg)
cat "$work/source.bin" > /dev/null

# Seconds of one command; its peak memory (KiB) goes to $work/mem.
timed() {
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/mem" "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
mem() { cat "$work/mem"; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# One split and join of file, plain or with a password: times appended to $work/<kind>_split
# and _join, peak memory to $work/<kind>_mem.
round() {
  local kind=$1 file=$2; shift 2
  rm -rf "$work"/set/* "$work"/back/*
  sync
  timed "$cli" split "$file" --to "$work/set" --size "$segment" --quiet "$@" >> "$work/${kind}_split"
  mem >> "$work/${kind}_mem"
  sync
  timed "$cli" join "$work/set/$(basename "$file").PZX000" --to "$work/back" --quiet "$@" \
    >> "$work/${kind}_join"
  mem >> "$work/${kind}_mem"
  cmp -s "$file" "$work/back/$(basename "$file")" || { echo "$kind: join result differs" >&2; exit 1; }
}

for i in $(seq "$runs"); do
  round plain "$work/source.bin"
  round enc "$work/source.bin" --password-file "$work/pw"
  round kdf "$work/one.bin" --password-file "$work/pw"
  round tiny "$work/one.bin"
done

ps=$(median < "$work/plain_split"); pj=$(median < "$work/plain_join")
es=$(median < "$work/enc_split"); ej=$(median < "$work/enc_join")
# scrypt's share: a one-byte encrypted split or join less a one-byte plain one.
ks=$(echo "$(median < "$work/kdf_split") - $(median < "$work/tiny_split")" | bc -l)
kj=$(echo "$(median < "$work/kdf_join") - $(median < "$work/tiny_join")" | bc -l)
printf 'file: %d MiB, segments of %d bytes, %d interleaved runs, load before: %s\n' \
  "$size_mib" "$segment" "$runs" "$load"
printf 'split: encrypted %.3f s, plain %.3f s, ratio %.2f (without scrypt %.2f)\n' \
  "$es" "$ps" "$(echo "$es / $ps" | bc -l)" "$(echo "($es - $ks) / $ps" | bc -l)"
printf 'join:  encrypted %.3f s, plain %.3f s, ratio %.2f (without scrypt %.2f)\n' \
  "$ej" "$pj" "$(echo "$ej / $pj" | bc -l)" "$(echo "($ej - $kj) / $pj" | bc -l)"
printf 'scrypt (work factor 2^18), fixed per command: split %.3f s, join %.3f s\n' "$ks" "$kj"
printf 'peak memory: encrypted %d KiB (one-byte encrypted set: %d KiB), plain %d KiB\n' \
  "$(sort -n "$work/enc_mem" | tail -1)" "$(sort -n "$work/kdf_mem" | tail -1)" \
  "$(sort -n "$work/plain_mem" | tail -1)"
