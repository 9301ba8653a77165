#!/usr/bin/env bash
# Automatic mode on real volumes: three small file systems made for the test in a private mount
# namespace. The split fills each one and asks for the next; the join gathers them again.
# Exit 77 (skipped) where the machine does not let the test mount file systems.
set -euo pipefail
cli=${1:?usage: cli_automatic.sh PATH/TO/parzello-cli}

if [ -z "${PZ_IN_NAMESPACE:-}" ]; then
  ns=(-m); [ "$(id -u)" = 0 ] || ns=(-r -m)
  export PZ_IN_NAMESPACE=1
  unshare "${ns[@]}" true 2>/dev/null || { echo "cannot make a mount namespace: skipped"; exit 77; }
  exec unshare "${ns[@]}" bash "$0" "$@"
fi

work=$(mktemp -d)
trap 'umount "$work"/vol* 2>/dev/null || true; rm -rf "$work"' EXIT
for v in 1 2 3; do
  mkdir -p "$work/vol$v"
  mount -t tmpfs -o size=2m tmpfs "$work/vol$v" || { echo "cannot mount: skipped"; exit 77; }
done
mkdir -p "$work/home" "$work/back"
head -c 5000000 /dev/urandom > "$work/home/film.avi"

# Each prompt is answered with the next volume, as a user inserting the next disk would.
printf '%s\n%s\n' "$work/vol2" "$work/vol3" |
  LANG=C "$cli" split "$work/home/film.avi" --to "$work/vol1" --size auto
for v in 1 2 3; do ls -l "$work/vol$v"; done

# Joining from the first volume: the missing segments are asked for on their volumes.
printf '%s\n%s\n' "$work/vol2/film.avi.PZX001" "$work/vol3/film.avi.PZX002" |
  LANG=C "$cli" join "$work/vol1/film.avi.PZX000" --to "$work/back"
cmp "$work/home/film.avi" "$work/back/film.avi"
[ ! -e "$work/vol3/film.avi.PZX003" ]
echo "automatic split over three 2 MiB volumes joined back identical"
