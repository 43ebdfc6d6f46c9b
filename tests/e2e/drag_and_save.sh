#!/usr/bin/env bash
# End to end in a real X server: the real program, a real pointer. Adds a photo
# through the file dialog, drags it with the mouse, saves the layout, exits, and
# checks the saved place of the photo: the drag follows the pointer's real
# screen position, which only a real X server gives.
#   drag_and_save.sh VINTREL_BINARY DATA_FOLDER
set -euo pipefail
binary="$1"
photo="$2/landscape-640x480.gif"
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "SKIP: Xvfb did not start"; cat "$work/xvfb.log"; exit 77; }
export DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$work/run" && chmod 700 "$work/run"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

(cd "$work" && exec "$binary") >"$work/app.log" 2>&1 &
app=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vintrel$' | head -n 1)
[ -n "$window" ] || { echo "FAIL: no window"; cat "$work/app.log"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y of the window
settle() { sleep 0.6; }
menu() { # open the File menu with the mouse, choose an item by its mnemonic
    xdotool mousemove $((X + 15)) $((Y + 9)) click 1
    settle
    xdotool key "$1"
    settle
}
type_path() {
    xdotool type --delay 10 "$1"
    xdotool key Return
    settle
}

menu a
type_path "$photo"

# The photo stands at 840, 600 twips on the page, 56, 40 pixels at 15 twips a
# pixel; the page at 88, 24 in the window below the menu bar. Press in the
# photo's middle and drag it 30 pixels right and 20 down.
px=$((X + 88 + 56 + 60))
py=$((Y + 24 + 40 + 45 + 20))
xdotool mousemove "$px" "$py"
settle
xdotool mousedown 1
for step in 1 2 3 4 5; do
    xdotool mousemove $((px + 6 * step)) $((py + 4 * step))
    sleep 0.05
done
sleep 0.2
xdotool mouseup 1
settle

menu s
type_path "$work/moved.ppy"
menu x
xdotool key Return # Yes to "Are you sure you want to exit?"
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then echo "FAIL: the program did not end"; exit 1; fi
app=

line=$(head -n 1 "$work/moved.ppy" | tr -d '\r')
expected="\"$photo\",\"1290\",\"900\",\"1866.666\",\"1400\",\"Y\",\"Y\",\"0.75\",\"1.333333\",\"3\",\"3\""
if [ "$line" != "$expected" ]; then
    echo "FAIL: first layout record"
    echo "  got:      $line"
    echo "  expected: $expected"
    cat "$work/app.log"
    exit 1
fi
grep -q "^Path=$work\$" "$work/config/Vintrel/Vintrel.ini" || { echo "FAIL: folder not stored"; exit 1; }
echo "PASS: dragged 30 x 20 pixels = 450 x 300 twips, saved and stored the folder"
