#!/usr/bin/env bash
# End to end in a real X server: while a layout of 30 large photos opens, a
# window put over the page and taken away leaves the page repainted at once
# (the offscreen platform cannot show this), and the page changes only when
# every photo is loaded.
#   open_repaints.sh VINTREL_BINARY
set -euo pipefail
binary="$1"
source "$(dirname "$0")/../support/xsession.sh"
for tool in convert import xmessage; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
fail() { echo "FAIL: $*"; cat "$work/app.log"; exit 1; }
# The colour of one pixel of the screen, as "r,g,b".
pixel() { import -window root -crop "1x1+$1+$2" -depth 8 txt:- | sed -n '2s/^[^(]*(\([0-9,]*\)).*/\1/p'; }
record() { # path left top width height
    printf '"%s","%s","%s","%s","%s","Y","Y","0.75","1.333333","1","1"\r\n' "$@"
}

# The page first shows one red photo over its upper part; the layout opened
# then names 30 photos, each a 27-megapixel PNG of noise (decoded whole: slow).
convert -size 40x30 xc:red "$work/red.png"
{ printf 'P5\n6000 4500\n255\n'; head -c 27000000 /dev/urandom; } >"$work/noise.pgm"
convert "$work/noise.pgm" "$work/noise.png"
{
    record "$work/red.png" 0 0 5740 3000
    for _ in $(seq 29); do printf '"","0","0","0","0","N","N","0","0","0","1"\r\n'; done
} >"$work/red.ppy"
for i in $(seq 0 29); do
    ln -s noise.png "$work/noise$i.png"
    record "$work/noise$i.png" 1000 4000 1200 900
done >"$work/slow.ppy"

start "$binary" "$work/red.ppy"
window Vintrel
settle
[ "$(pixel $((X + 250)) $((Y + 150)))" = "255,0,0" ] || fail "the red photo is not on the page"

menu o # File > Open Layout, typed name, Return: the photos start loading
xdotool type --delay 10 "$work/slow.ppy"
xdotool key Return
sleep 0.5
xmessage -geometry 240x120+$((X + 150))+$((Y + 90)) "over the page" &
cover=$!
sleep 0.5
kill "$cover"
sleep 0.3
opening=$(xdotool search --onlyvisible --name '^Vintrel$' | wc -l) # the window and the progress
seen=$(pixel $((X + 250)) $((Y + 150)))
[ "$opening" -ge 2 ] || fail "the layout opened before the page could be covered and shown again"
[ "$seen" = "255,0,0" ] || fail "the page was not repainted while the layout opened (saw $seen)"
for _ in $(seq 100); do
    [ "$(xdotool search --onlyvisible --name '^Vintrel$' | wc -l)" = 1 ] && break
    sleep 0.2
done
settle
[ "$(pixel $((X + 250)) $((Y + 150)))" = "255,255,255" ] || fail "the opened layout did not replace the page"
echo "PASS: the page repainted while 30 photos opened, and changed once they were all loaded"
