#!/usr/bin/env bash
# parzello --help and --version print and end, with no display to open a window on.
set -uo pipefail
program=${1:?usage: window_options.sh PATH/TO/parzello VERSION}
version=${2:?}
run() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 20 "$program" "$@"; }
failed=0
expect() {  # expect WHAT ACTUAL WANTED
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAILED: $1: got '$2', wanted '$3'" >&2; failed=1; fi
}
out=$(run --help 2>&1); rc=$?
expect "--help ends with 0" "$rc" 0
expect "--help prints the usage" "$(head -n 1 <<<"$out")" "Usage: parzello [FILE]"
out=$(run -platform offscreen --version 2>&1); rc=$?
expect "--version ends with 0" "$rc" 0
expect "--version prints the version" "$out" "parzello $version"
exit $failed
