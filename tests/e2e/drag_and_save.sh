#!/usr/bin/env bash
# End to end in a real X server: the real program, a real pointer. Adds a photo
# through the file dialog, drags it with the mouse, saves the layout, has a
# layout handed over while the open dialog is up, exits, and checks the saved
# place of the photo: the drag follows the pointer's real
# screen position, which only a real X server gives.
#   drag_and_save.sh VINTREL_BINARY DATA_FOLDER
set -euo pipefail
binary="$1"
photo="$2/landscape-640x480.gif"
source "$(dirname "$0")/../support/xsession.sh"

start "$binary"
window Vintrel

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
sleep 0.2 # the press taken where it was, before the pointer moves on
for step in 1 2 3 4 5; do
    xdotool mousemove $((px + 6 * step)) $((py + 4 * step))
    sleep 0.05
done
sleep 0.2
xdotool mouseup 1
settle

menu s
type_path "$work/moved.ppy"

# A layout handed over by a second start while a dialog is open waits for it,
# and the dialog stays in front of the window (no window manager keeps it so).
menu o
(cd "$work" && "$binary" "$work/moved.ppy") >>"$work/app.log" 2>&1
settle
front=$(xwininfo -root -children | grep -o '"Vintrel": (\|"Open": (' | head -n 1) # the top first
[ "$front" = '"Open": (' ] || { echo "FAIL: the window came over the open dialog"; exit 1; }
xdotool key Escape
settle
menu x
xdotool key Return # Yes to "Are you sure you want to exit?"
ended

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
