#!/usr/bin/env bash
# End to end in a real X server with SANE's pnm device, whose glass
# (/tmp/input.ppm) holds three prints drawn by ImageMagick on a light grey with
# noise, two of them turned: Acquire, Find photos, Return. Each print becomes
# its own bitmap, cut out straight, and its own photo, saved in the layout.
#   find_photos.sh VINTREL_BINARY LIBVINTRELSCAN VINTREL_SANE
set -euo pipefail
source "$(dirname "$0")/../support/xsession.sh"
for tool in openbox convert identify; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
fail() { echo "FAIL: $*"; cat "$work/app.log"; exit 1; }
openbox --sm-disable >"$work/wm.log" 2>&1 & # gives the scan dialog the keyboard
apps+=($!)
sleep 1

# The program as installed by hand: the library and its helper beside it,
# where the acquired bitmaps go too.
mkdir -p "$work/program" "$work/sane"
cp "$1" "$work/program/vintrel" && cp "$2" "$work/program/libvintrelscan.so" && cp "$3" "$work/program/vintrel-sane"
echo pnm >"$work/sane/dll.conf"
export SANE_CONFIG_DIR="$work/sane"
convert -size 827x1169 xc:'#e8e8e4' \
    \( -size 300x200 gradient:red-blue -background none -rotate 7 \) -geometry +60+80 -composite \
    \( -size 250x350 gradient:orange-purple -background none -rotate -5 \) -geometry +450+150 -composite \
    \( -size 320x240 gradient:green-yellow \) -geometry +0+700 -composite \
    -attenuate 0.2 +noise Uniform -depth 8 /tmp/input.ppm

start "$work/program/vintrel"
window Vintrel
xdotool key alt+t a # Twain > Acquire
window "Scan from Noname PNM file reader"
sleep 2 # the preview of the glass
xdotool key alt+f
settle
xdotool key Return
for _ in $(seq 100); do [ -e "$work/program/img00003.bmp" ] && break; sleep 0.1; done
settle
window Vintrel
xdotool key alt+f s # File > Save Layout As
settle
type_path "$work/found.ppy"
xdotool key alt+f x # File > Exit, then Yes once its question stands beside the window
for _ in $(seq 100); do [ "$(xdotool search --onlyvisible --name '^Vintrel$' | wc -l)" -ge 2 ] && break; sleep 0.1; done
xdotool key Return
ended

ls "$work/program"/img*.bmp
sizes=$(for n in 1 2 3; do identify -format '%w %h\n' "$work/program/img0000$n.bmp"; done)
expected="300 200
250 350
320 240"
paste <(echo "$sizes") <(echo "$expected") | while read -r w h ew eh; do
    [ $((w - ew)) -le 4 ] && [ $((ew - w)) -le 4 ] && [ $((h - eh)) -le 4 ] && [ $((eh - h)) -le 4 ] ||
        fail "cut out $w x $h, the print is $ew x $eh"
done
[ ! -e "$work/program/img00004.bmp" ] || fail "more than three photos"
for n in 1 2 3; do
    sed -n "${n}p" "$work/found.ppy" | grep -q "^\"$work/program/img0000$n.bmp\"," || fail "photo $n not on the page"
done
echo "PASS: three prints found, cut out straight, each its own bitmap and photo on the page"
