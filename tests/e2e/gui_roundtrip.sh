#!/usr/bin/env bash
# The desktop program as a new user meets it: an empty configuration folder, a real X server
# (Xvfb), mouse and keyboard from xdotool. It picks the language, splits a file with a password
# and recovery files (which Debian's par2 accepts), joins it back through the window, and compares
# the result with the source. Screenshots go to
# $PZ_SHOTS (default: a folder in the work area, kept when the test fails).
# Exit 77 (skipped) where Xvfb or xdotool are missing.
set -euo pipefail
program=${1:?usage: gui_roundtrip.sh PATH/TO/parzello}
command -v Xvfb >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null ||
  { echo "Xvfb, xdotool or ImageMagick missing: skipped"; exit 77; }

work=$(mktemp -d)
shots=${PZ_SHOTS:-$work/shots}
mkdir -p "$shots" "$work/config" "$work/stick" "$work/back"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null || true
  [ "${keep:-0}" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'keep=1; echo "failed; screenshots in $shots" >&2' ERR
export DISPLAY=$display XDG_CONFIG_HOME=$work/config
unset QT_QPA_PLATFORM
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

shot() { import -window root "$shots/$1.png"; }
# Waits for a window whose title matches, prints its id.
window() { timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1; }
# Clicks at a point of the main window's client area (574 x 398 below the menu bar).
click() { xdotool mousemove $((cx + $1)) $((cy + $2)) click 1; sleep 0.3; }
type_into() { click "$1" "$2"; xdotool key ctrl+a; xdotool type --delay 5 "$3"; }
# Puts the pointer over a dialog (keyboard input follows the pointer without a window manager).
over() {
  local id
  id=$(window "$1")
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove $((X + 10)) $((Y + 10))
  # Typing starts only once the dialog has the keyboard, however busy the machine is.
  for _ in $(seq 100); do
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ] && break
    sleep 0.1
  done
  sleep 0.2
}

head -c 3000000 /dev/urandom > "$work/film.avi"
"$program" > "$work/program.log" 2>&1 &
app=$!

# First start: the language choice, German preselected as the first entry; OK.
over "Choose language"
shot 1-language-dialog
xdotool key Return
sleep 1
shot 2-splash
# The splash closes on a click.
xdotool mousemove 512 384 click 1
sleep 0.5

main=$(window "Tarnwick - Parzello")
eval "$(xdotool getwindowgeometry --shell "$main")"
cx=$X
cy=$((Y + HEIGHT - 398))
shot 3-main-german

# Split with a password and recovery files onto 360 K segments.
type_into 278 58 "$work/film.avi"
click 28 161                       # 360 K
click 310 174                      # protect with a password
click 310 198                      # recovery data
type_into 324 305 "$work/stick"
type_into 244 329 "film.avi"
shot 4-split-filled
click 287 357                      # Ausführen
over "Paßwort"
xdotool type --delay 5 "Geheim"; xdotool key Tab; xdotool type --delay 5 "Geheim"
shot 5-password-entry
xdotool key Return
sleep 1
over "^Parzello$"
shot 6-split-done
xdotool key Return
sleep 0.3
ls -l "$work/stick"
[ -s "$work/stick/film.avi.PZX000" ]
# The data after the header is an age file: encrypted, not merely guarded.
[ "$(tail -c +1025 "$work/stick/film.avi.PZX000" | head -c 21)" = "age-encryption.org/v1" ]
if command -v par2 >/dev/null; then par2 verify -q "$work/stick/film.avi.PZX.par2" >/dev/null; fi

# Join back: the join mode clears the fields.
click 310 13
type_into 278 58 "$work/stick/film.avi.PZX000"
type_into 324 305 "$work/back"
type_into 244 329 "film.avi"
shot 7-join-filled
click 287 357
over "Paßwort"
xdotool type --delay 5 "Geheim"
xdotool key Return
sleep 1
over "^Parzello$"
shot 8-join-done
xdotool key Return
sleep 0.3
cmp "$work/film.avi" "$work/back/film.avi"

# "Beenden" closes the program and stores the settings.
click 506 357
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then echo "the program did not close" >&2; false; fi
app=""
grep -q "Action=1" "$work/config/Pellimorex/PX-Parzello.ini"
grep -q "^Recovery=1" "$work/config/Pellimorex/PX-Parzello.ini"
echo "desktop split with password and join back: identical; screenshots in $shots"
