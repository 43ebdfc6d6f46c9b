#!/usr/bin/env bash
# End to end in a real X server at twice the size: the zoom last chosen comes
# back at start; a drag and a resize with the real pointer move and size the
# photo by the pointer's travel in twips (7.5 a pixel at 200 %), an arrow key
# nudges it, Ctrl+Z and Ctrl+Shift+Z undo and redo, and the saved layout holds
# the twips.
#   zoomed_edit.sh VINTREL_BINARY DATA_FOLDER
set -euo pipefail
binary="$1"
photo="$2/landscape-640x480.gif"
source "$(dirname "$0")/../support/xsession.sh"
fail() { echo "FAIL: $*"; cat "$work/app.log"; exit 1; }

mkdir -p "$work/config/Vintrel"
printf '[View]\nZoom=200\n' >"$work/config/Vintrel/Vintrel.ini"
start "$binary"
window Vintrel
menu a
type_path "$photo"

# drag X Y DX DY: presses at page pixel X, Y (the page at 88, 24 in the client
# area, 526 pixels high below the menu bar) and moves the pointer DX, DY pixels
# in five steps before releasing.
drag() {
    local x=$((X + 88 + $1)) y=$((Y + HEIGHT - 526 + 24 + $2))
    xdotool mousemove "$x" "$y" && settle
    xdotool mousedown 1
    sleep 0.2 # the press taken where it was, before the pointer moves on
    for step in 1 2 3 4 5; do
        xdotool mousemove $((x + $3 * step / 5)) $((y + $4 * step / 5))
        sleep 0.05
    done
    sleep 0.2
    xdotool mouseup 1 && settle
}
# The photo: 1866.666 x 1400 twips at 840, 600, so 249 x 187 pixels at 112, 80.
drag 236 173 30 20  # by its middle: to 1065, 750
drag 266 280 0 20   # by its bottom edge, 6 pixels inside: 150 twips taller
xdotool key Left && settle             # a pixel's twips left: 1050
xdotool key ctrl+z ctrl+z && settle    # the nudge, then the resize, undone
xdotool key ctrl+shift+z && settle     # the resize again
menu s
type_path "$work/zoomed.ppy"
menu x
xdotool key Return
ended

line=$(head -n 1 "$work/zoomed.ppy" | tr -d '\r')
expected="\"$photo\",\"1065\",\"750\",\"2066.666\",\"1550\",\"Y\",\"Y\",\"0.75\",\"1.333333\",\"5\",\"5\""
[ "$line" = "$expected" ] || fail "first layout record
  got:      $line
  expected: $expected"
grep -q '^Zoom=200$' "$work/config/Vintrel/Vintrel.ini" || fail "the zoom was not kept"
echo "PASS: at 200 % dragged 30 x 20 pixels = 225 x 150 twips, resized by 20 pixels = 150 twips, nudged, undone, redone, saved"
