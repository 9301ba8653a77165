#!/usr/bin/env bash
# Installs the built Debian package on this machine and uses it as a person would: the command
# line as an unprivileged user (split with packing, join, info, --version), the window under Xvfb
# with a file argument, the desktop files through their validators, lintian on the package; then
# removes the package again. Needs root (or sudo) for apt-get.
# Usage: tests/package/install_test.sh [BUILD_FOLDER]
set -euo pipefail
build=${1:-build}
deb=$(ls -t "$build"/parzello_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "no parzello_*.deb in $build: run 'make package' first" >&2; exit 1; }
deb=$(readlink -f "$deb")
sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo

passed=0; failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $what"
  else failed=$((failed + 1)); echo "FAILED: $what" >&2; fi
}

work=$(mktemp -d /tmp/pz-install-XXXXXX)
chmod 755 "$work"
xvfb_pid=""; gui_pid=""
cleanup() {
  [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  if dpkg-query -W -f='${Status}' parzello 2>/dev/null | grep -q 'ok installed'; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq parzello >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Commands of the test user: an unprivileged one when this runs as root.
user_home=$work/home
mkdir -p "$user_home"
as_user() {
  if [ "$(id -u)" = 0 ]; then
    setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$user_home" "$@"
  else
    env HOME="$user_home" "$@"
  fi
}
[ "$(id -u)" = 0 ] && chown -R 65534:65534 "$user_home"

# --- the package itself ---
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
check "nothing under /opt" bash -c '! grep -q "^\./opt" <<<"$1"' _ "$contents"
for f in ./usr/bin/parzello ./usr/bin/parzello-cli ./usr/lib/parzello/dll_parzello/ZIPENG.DLL \
         ./usr/lib/parzello/dll_parzello/UNZENG.DLL ./usr/share/parzello/language_parzello/English.lng \
         ./usr/share/doc/parzello/copyright ./usr/share/doc/parzello/changelog.Debian.gz \
         ./usr/share/man/man1/parzello-cli.1.gz ./usr/share/man/man1/parzello.1.gz \
         ./usr/share/bash-completion/completions/parzello-cli \
         ./usr/share/applications/io.github.parzello.Parzello.desktop \
         ./usr/share/metainfo/io.github.parzello.Parzello.metainfo.xml \
         ./usr/share/mime/packages/parzello.xml \
         ./usr/share/icons/hicolor/scalable/apps/io.github.parzello.Parzello.svg \
         ./usr/share/icons/hicolor/48x48/apps/io.github.parzello.Parzello.png \
         ./usr/share/parzello/web_parzello/parzello-join.html; do
  check "package holds $f" grep -qxF "$f" <<<"$contents"
done
depends=$(dpkg-deb -f "$deb" Depends)
check "dependencies from the libraries ($depends)" \
  bash -c 'grep -q libqt6widgets6 <<<"$1" && grep -q libzip4 <<<"$1" && grep -q libc6 <<<"$1"' _ "$depends"
# A copy the test user can read wherever the build folder lies.
cp "$deb" "$work/" && chmod 644 "$work/$(basename "$deb")"
lintian_out=$(as_user lintian --fail-on error --tag-display-limit 0 "$work/$(basename "$deb")" 2>&1) && lintian_rc=0 || lintian_rc=$?
echo "$lintian_out"
check "lintian reports no errors" test "$lintian_rc" = 0

# --- install ---
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >/dev/null
check "desktop entry valid" desktop-file-validate /usr/share/applications/io.github.parzello.Parzello.desktop
check "metainfo valid" appstreamcli validate --no-net /usr/share/metainfo/io.github.parzello.Parzello.metainfo.xml
# The completion as bash-completion loads it on demand: commands, then a command's options.
complete_words() {
  bash -c 'source /usr/share/bash-completion/bash_completion && __load_completion parzello-cli &&
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE} &&
    _parzello_cli && echo "${COMPREPLY[*]}"' _ "$@"
}
check "completion offers the commands" test "$(complete_words parzello-cli "")" = "split join info verify repair"
check "completion offers split's options" \
  bash -c 'grep -qw -- --compress <<<"$1" && grep -qw -- --size <<<"$1"' _ \
  "$(complete_words parzello-cli split x --)"
check "completion offers the size presets" grep -qw 1.44M <<<"$(complete_words parzello-cli split x --size "")"
stamp=$work/stamp; touch "$stamp"; sleep 1

check "licence in the copyright file" grep -qx 'License: Expat' /usr/share/doc/parzello/copyright
check "no placeholder addresses in the package" \
  bash -c '! dpkg-deb -f "$1" Maintainer Homepage | grep -q example' _ "$deb"
# Debian's hardening and no toolchain notes, in every program and engine.
elf_files=$(find /usr/bin/parzello /usr/bin/parzello-cli /usr/lib/parzello -type f \
  -exec sh -c 'file -b "$1" | grep -q ^ELF' _ {} \; -print)
for f in $elf_files; do
  check "$f: no .comment section" bash -c '! readelf -SW "$1" | grep -qw "\.comment"' _ "$f"
  check "$f: relro and bind-now" bash -c \
    'readelf -lW "$1" | grep -q GNU_RELRO && readelf -dW "$1" | grep -q BIND_NOW' _ "$f"
done
for f in /usr/bin/parzello /usr/bin/parzello-cli; do
  check "$f: stack protector and fortified calls" bash -c \
    'syms=$(readelf --dyn-syms -W "$1"); grep -q __stack_chk_fail <<<"$syms" &&
     grep -qE "__[a-z]+_chk" <<<"$(grep -v __stack_chk_fail <<<"$syms")"' _ "$f"
done
check "parzello --version prints without a display" \
  bash -c 'test "$(env -u DISPLAY parzello --version)" = "parzello ${1%-*}"' _ "$(dpkg-query -W -f='${Version}' parzello)"

# --- the command line as an unprivileged user ---
data=$work/data; mkdir -p "$data/out" "$data/back" "$data/web"
head -c 300000 /dev/urandom >"$data/payload.bin"
head -c 200000 /dev/zero >>"$data/payload.bin"
[ "$(id -u)" = 0 ] && chown -R 65534:65534 "$data"
version=$(as_user parzello-cli --version)
pkg_version=$(dpkg-query -W -f='${Version}' parzello)
check "--version ($version) is the package's (${pkg_version%-*})" test "$version" = "parzello-cli ${pkg_version%-*}"
check "split with packing" as_user parzello-cli split "$data/payload.bin" --to "$data/out" \
  --size 100000 --compress strong --quiet
check "split --with-joiner writes the page beside the checksum file" as_user parzello-cli split \
  "$data/payload.bin" --to "$data/web" --size 100000 --with-joiner --quiet
check "the page is the installed one" cmp "$data/web/parzello-join.html" \
  /usr/share/parzello/web_parzello/parzello-join.html
check "info finds every segment" as_user parzello-cli info "$data/out/payload.bin.PZX000"
check "verify accepts the set" as_user parzello-cli verify "$data/out/payload.bin.PZX000" --quiet
check "join" as_user parzello-cli join "$data/out/payload.bin.PZX000" --to "$data/back" --quiet
check "joined file is the original" cmp "$data/payload.bin" "$data/back/payload.bin"
check "packing used the user's cache folder" test -d "$user_home/.cache/parzello"
# The same as whoever runs this (root in CI), who may write to the installed folders.
mkdir -p "$work/own"
check "packed split as $(id -un)" parzello-cli split "$data/payload.bin" --to "$work/own" \
  --size 100000 --compress weak --quiet
written=$(find /usr/bin /usr/lib/parzello /usr/share/parzello -newer "$stamp" | head -n 5)
check "nothing written into the installed folders" test -z "$written"

# --- file type of first segments ---
cp "$data/out/payload.bin.PZX000" "$data/segment-without-extension"
mime() { gio info -a standard::content-type "$1" | sed -n 's/.*standard::content-type: //p'; }
check "first segment known by its name" test "$(mime "$data/out/payload.bin.PZX000")" = application/x-parzello-segments
check "the menu entry opens first segments" \
  bash -c 'gio mime application/x-parzello-segments | grep -q "^Default application.*io.github.parzello.Parzello.desktop"'
check "first segment known by its header" test "$(mime "$data/segment-without-extension")" = application/x-parzello-segments

# --- the window, with a file argument, under Xvfb ---
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -ac >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 50); do [ -S "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.2; done
mkdir -p "$user_home/.config/Pellimorex"
printf '[Language]\nFile=English.lng\n' >"$user_home/.config/Pellimorex/PX-Parzello.ini"
[ "$(id -u)" = 0 ] && chown -R 65534:65534 "$user_home"
window_state() {  # window_state FILE: starts the window on FILE, prints what it shows, closes it
  local out=$work/state-$RANDOM.txt
  : >"$out"; chmod 666 "$out"
  as_user env DISPLAY="$display" QT_QPA_PLATFORM=xcb PARZELLO_PRINT_STATE=1 parzello "$1" >"$out" 2>/dev/null &
  gui_pid=$!
  for _ in $(seq 1 100); do grep -q '^name=' "$out" && break; sleep 0.3; done
  sleep 1
  [ -n "${SCREENSHOT:-}" ] && DISPLAY=$display import -window root "$SCREENSHOT" || true
  kill "$gui_pid" 2>/dev/null || true; wait "$gui_pid" 2>/dev/null || true; gui_pid=""
  cat "$out"
}
state=$(SCREENSHOT=${SCREENSHOT:-} window_state "$data/segment-without-extension")
echo "$state"
check "window: first segment opens in join mode" grep -qx 'mode=join' <<<"$state"
check "window: source field" grep -qxF "source=$data/segment-without-extension" <<<"$state"
check "window: target name from the header" grep -qx 'name=payload.bin' <<<"$state"
check "window: target folder from the file" grep -qxF "folder=$data" <<<"$state"
state=$(SCREENSHOT="" window_state "$data/payload.bin")
check "window: other file opens in split mode" grep -qx 'mode=split' <<<"$state"
check "window: its source field" grep -qxF "source=$data/payload.bin" <<<"$state"
check "window: target beside the file" \
  bash -c 'grep -qxF "folder=$1" <<<"$2" && grep -qx "name=payload.bin" <<<"$2"' _ "$data" "$state"

# --- remove ---
DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq parzello >/dev/null
check "removed again" test ! -e /usr/bin/parzello -a ! -e /usr/lib/parzello

echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
