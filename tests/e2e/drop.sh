#!/usr/bin/env bash
# End to end in a real X server: two photos and a text file dragged from
# another program (a real XDND drag with the pointer) onto the page. The
# photos land from the drop point, 300 twips apart; the text file is named in
# one message; the saved layout holds the twips.
#   drop.sh VINTREL_BINARY DRAG_SOURCE DATA_FOLDER
set -euo pipefail
binary="$1"
source_binary="$2"
photo="$3/landscape-640x480.gif"
source "$(dirname "$0")/../support/xsession.sh"
fail() { echo "FAIL: $*"; cat "$work/app.log"; exit 1; }

cp "$photo" "$work/second.gif"
echo "no picture" >"$work/notes.txt"
start "$binary"
window Vintrel
page_x=$((X + 88)) page_y=$((Y + HEIGHT - 526 + 24))
(cd "$work" && exec "$source_binary" "$photo" "$work/notes.txt" "$work/second.gif") >"$work/source.log" 2>&1 &
apps+=($!)
source_window=$(timeout 20 xdotool search --sync --onlyvisible --name "^Drag source\$" | head -n 1) || fail "no drag source"
xdotool windowmove --sync "$source_window" 1100 850
settle
# Pressed on the source, carried in steps to page pixel 100, 100 (1500, 1500
# twips), released.
xdotool mousemove 1160 890 && sleep 0.3
xdotool mousedown 1
for step in $(seq 1 12); do
    xdotool mousemove $((1160 + (page_x + 100 - 1160) * step / 12)) $((890 + (page_y + 100 - 890) * step / 12))
    sleep 0.1
done
sleep 0.5
xdotool mouseup 1
settle
grep -q '^copy$' "$work/source.log" || fail "the drop was refused: $(cat "$work/source.log")"
# The message naming the text file.
for _ in $(seq 50); do
    [ "$(xdotool search --onlyvisible --name '^Vintrel$' | wc -l)" -gt 1 ] && break
    sleep 0.1
done
[ "$(xdotool search --onlyvisible --name '^Vintrel$' | wc -l)" -gt 1 ] || fail "no message about the text file"
xdotool key Return && settle
menu s
type_path "$work/dropped.ppy"
menu x
xdotool key Return
ended

got=$(head -n 2 "$work/dropped.ppy" | tr -d '\r')
expected="\"$photo\",\"1500\",\"1500\",\"1866.666\",\"1400\",\"Y\",\"Y\",\"0.75\",\"1.333333\",\"1\",\"2\"
\"$work/second.gif\",\"1800\",\"1800\",\"1866.666\",\"1400\",\"Y\",\"Y\",\"0.75\",\"1.333333\",\"2\",\"2\""
[ "$got" = "$expected" ] || fail "first layout records
  got:      $got
  expected: $expected"
echo "PASS: two photos dragged from another program landed at 1500, 1500 and 1800, 1800 twips; the text file was named"
