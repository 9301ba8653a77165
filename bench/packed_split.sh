#!/usr/bin/env bash
# The whole packed split against the classic ways to a compressed ZIP in pieces, interleaved
# round by round so that every tool sees the same machine state:
#   parzello-cli split --compress strong|weak
#   zip -9|-3 piped into split -b,  pigz --zip -9|-3 piped into split -b,
#   7z a -tzip -mx=9|-mx=3 -v (7-Zip's own ZIP volumes)
# on 128 MiB of text and random data taking turns every 4 MiB, and on 64 MiB of random data.
# Prints median wall and processor times, their ratios and the size ratios, the load, and
# parzello-cli's peak memory.
# Usage: bench/packed_split.sh [BUILD_DIR] [ROUNDS] [PEERS]   (make bench installs the peers)
#   PEERS: a subset of "pigz zip 7z" (7-Zip at -mx=9 takes minutes a round)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
rounds=${2:-3}
peers=${3:-pigz zip 7z}
cli="$build/parzello-cli"
segment=$((16 << 20))
[ -x "$cli" ] || { echo "build $cli first" >&2; exit 1; }
for tool in zip pigz 7z split bc /usr/bin/time; do
  command -v "$tool" > /dev/null || { echo "$tool is missing (make bench installs it)" >&2; exit 1; }
done

work=$(mktemp -d "$build/bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out"

# Text: the system's C headers, 4 MiB at a time, with fresh random data between them.
find /usr/include -type f -name '*.h' | LC_ALL=C sort | xargs cat > "$work/text" 2> /dev/null || true
while [ "$(stat -c %s "$work/text")" -lt $((64 << 20)) ]; do cat "$work/text" "$work/text" > "$work/t2" && mv "$work/t2" "$work/text"; done
for i in $(seq 0 15); do
  dd if="$work/text" bs=1M skip=$((i * 4)) count=4 iflag=fullblock status=none
  head -c $((4 << 20)) /dev/urandom
done > "$work/mixed.bin"
head -c $((64 << 20)) /dev/urandom > "$work/random.bin"
rm "$work/text"

# Seconds of one command line, appended to $2; its processor seconds (user and system, every
# process of the line) to $2.cpu, its peak memory (KiB) to $work/mem.
timed() {
  local start end
  rm -rf "$work/out" && mkdir "$work/out" && sync
  start=$(date +%s.%N)
  /usr/bin/time -f "%M %U %S" -o "$work/rusage" sh -c "$1" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l >> "$2"
  read -r mem user sys < "$work/rusage"
  echo "$mem" > "$work/mem"
  echo "$user + $sys" | bc -l >> "$2.cpu"
}
bytes() { cat "$work"/out/* | wc -c; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, $rounds interleaved rounds"
peak=0
for r in $(seq "$rounds"); do
  for file in mixed random; do
    src="$work/$file.bin"
    for level in 9 3; do
      name=$([ "$level" = 9 ] && echo strong || echo weak)
      key="$work/$file-$level"
      timed "'$cli' split '$src' --to '$work/out' --size $segment --compress $name --quiet" "$key-ours"
      peak=$(( $(cat "$work/mem") > peak ? $(cat "$work/mem") : peak ))
      [ "$r" = 1 ] && echo $(( $(bytes) - 1024 )) > "$key-ours.size"  # less the segment header
      for peer in $peers; do
        case $peer in
          pigz) line="pigz --zip -$level -c '$src' | split -b $segment - '$work/out/p.'" ;;
          zip) line="cd '$work' && zip -q -$level - $file.bin | split -b $segment - '$work/out/z.'" ;;
          7z) line="7z a -tzip -mx=$level -v${segment}b -bd -bso0 '$work/out/s.zip' '$src'" ;;
        esac
        timed "$line" "$key-$peer"
        [ "$r" = 1 ] && bytes > "$key-$peer.size"
      done
    done
  done
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"

# A last packed split of the mixed file, joined back by parzello-cli.
"$cli" split "$work/mixed.bin" --to "$work/out" --size $segment --compress strong --quiet
mkdir "$work/back"
"$cli" join "$work/out/mixed.bin.PZX000" --to "$work/back" --quiet
cmp -s "$work/mixed.bin" "$work/back/mixed.bin" || { echo "join result differs" >&2; exit 1; }

echo "time: wall seconds (median); cpu: processor seconds of every process (median); ratios ours/peer"
printf '%-7s %-5s %-9s %7s %6s %7s %6s %10s %7s\n' file level tool time ratio cpu ratio size ratio
for file in mixed random; do
  for level in 9 3; do
    key="$work/$file-$level"
    ours=$(median < "$key-ours") oursCpu=$(median < "$key-ours.cpu") oursSize=$(cat "$key-ours.size")
    printf '%-7s %-5s %-9s %7.3f %6s %7.3f %6s %10d %7s\n' "$file" "-$level" parzello "$ours" "" \
      "$oursCpu" "" "$oursSize" ""
    for peer in $peers; do
      t=$(median < "$key-$peer") c=$(median < "$key-$peer.cpu") z=$(cat "$key-$peer.size")
      printf '%-7s %-5s %-9s %7.3f %6.3f %7.3f %6.3f %10d %7.4f\n' "$file" "-$level" "$peer" "$t" \
        "$(echo "$ours / $t" | bc -l)" "$c" "$(echo "$oursCpu / $c" | bc -l)" "$z" \
        "$(echo "$oursSize / $z" | bc -l)"
    done
  done
done
printf 'peak memory of parzello-cli: %d KiB\n' "$peak"
