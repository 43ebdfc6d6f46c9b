#!/usr/bin/env bash
# End to end in a real X server under a window manager: the real program, a
# real keyboard and pointer. Checks where the framed window stands, uses the
# menus by keyboard and the toolbar by mouse (add, drag, Remove, save, open,
# print to a CUPS queue of the test's own) and keeps a screenshot.
#   shell.sh VINTREL_BINARY DATA_FOLDER CUPS_SCRIPT SCREENSHOT
set -euo pipefail
binary="$1"
photo="$2/landscape-640x480.gif"
cups_script="$3"
screenshot="$4"
source "$(dirname "$0")/../support/xsession.sh"
command -v openbox >/dev/null || { echo "SKIP: no window manager (openbox)"; exit 77; }
fail() { echo "FAIL: $*"; cat "$work/app.log"; exit 1; }

openbox --sm-disable >"$work/wm.log" 2>&1 &
apps+=($!)
sleep 1
bash "$cups_script" start "$work/cups" >/dev/null
trap 'bash "$cups_script" stop "$work/cups"; cleanup' EXIT
export CUPS_SERVER="$work/cups/cups.sock"
[ -S "$CUPS_SERVER" ] && lpadmin -h "$CUPS_SERVER" -d vintrel-test || echo "note: no CUPS, the page is not printed"

start "$binary"
window Vintrel
settle
# Centred by the outer size, title bar included: across, and 250 twips (16.7
# pixels) above the middle down.
info=$(xwininfo -id "$window")
extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
read -r el er et eb <<<"${extents:-0 0 0 0}" # the frame's edges round the window
left=$(($(awk '/Absolute upper-left X/ {print $4}' <<<"$info") - el))
top=$(($(awk '/Absolute upper-left Y/ {print $4}' <<<"$info") - et))
outer_w=$(($(awk '/Width:/ {print $2}' <<<"$info") + el + er))
outer_h=$(($(awk '/Height:/ {print $2}' <<<"$info") + et + eb))
want_left=$(((1280 - outer_w) / 2)) want_top=$(((1024 - outer_h) / 2 - 17))
[ "$et" -gt 0 ] || fail "the window manager put no title bar round the window"
if [ $((left - want_left)) -lt -1 ] || [ $((left - want_left)) -gt 1 ] ||
    [ $((top - want_top)) -lt -1 ] || [ $((top - want_top)) -gt 1 ]; then
    fail "framed window at $left,$top, expected $want_left,$want_top for outer size ${outer_w}x$outer_h"
fi
eval "$(xdotool getwindowgeometry --shell "$window")"

# toolbar N: clicks the N-th toolbar button (52 pixels each, down the left edge)
toolbar() {
    xdotool mousemove $((X + 30)) $((Y + 20 + 52 * ($1 - 1) + 26)) click 1
    settle
}
keys() { xdotool key "$@"; settle; }

keys alt+f a # File > Add Photo
type_path "$photo"
px=$((X + 88 + 56 + 60)) py=$((Y + 24 + 40 + 45 + 20))
xdotool mousemove "$px" "$py" && settle
xdotool mousedown 1
for step in 1 2 3 4 5; do xdotool mousemove $((px + 6 * step)) $((py + 4 * step)); sleep 0.05; done
sleep 0.2 # the drag's own test checks where it lands; here it only has to move
xdotool mouseup 1 && settle
keys alt+f s # File > Save Layout As...
type_path "$work/moved.ppy"
toolbar 5 # Remove: the page still counts as saved
toolbar 3 # Save As
type_path "$work/removed.ppy"
first=$(head -n 1 "$work/removed.ppy" | tr -d '\r')
[[ "$first" == "\"$photo\","*",\"N\",\"N\","* ]] || fail "removed photo's record: $first"
keys alt+f o # File > Open Layout: no question, the page was saved
type_path "$work/moved.ppy"
if [ -S "$CUPS_SERVER" ]; then
    toolbar 6 # Print, to the default queue
    keys Return
    for _ in $(seq 100); do [ -s "$work/cups/out/page.pdf" ] && break; sleep 0.2; done
    [ "$(pdfimages -list "$work/cups/out/page.pdf" | tail -n +3 | wc -l)" = 1 ] || fail "the printed page holds no photo"
fi
import -window root "$screenshot" 2>/dev/null || true
keys alt+f x # Exit
xdotool key Return
ended
grep -q "\"$photo\",.*\"Y\",\"Y\"" "$work/moved.ppy" || fail "the added photo's record"
echo "PASS: centred when framed; menus by keyboard, toolbar by mouse; saved, removed, opened${CUPS_SERVER:+, printed}; screenshot $screenshot"
