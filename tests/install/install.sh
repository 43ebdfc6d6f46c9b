#!/usr/bin/env bash
# The program as a user installs it: cmake --install into a scratch prefix and
# the .deb unpacked into a scratch root. Checks the desktop entry, metainfo and
# MIME type with the desktop's own validators, then runs the installed copies in
# an X server: a layout named on the command line opens (saved again it is the
# same file; its photo is a HEIC, which the installed HEIF plugin reads), and
# the installed copy finds its scanner library (its Select Source dialog shows
# SANE's test devices).
#   install.sh BUILD_FOLDER DATA_FOLDER
set -euo pipefail
build="$1"
source "$(dirname "$0")/../support/xsession.sh"
fail() { echo "FAIL: $*"; cat "$work/app.log" 2>/dev/null; exit 1; }
command -v heif-enc >/dev/null || { echo "SKIP: heif-enc is not installed"; exit 77; }
photo="$work/landscape.heic"
heif-enc -q 90 -o "$photo" "$2/landscape-640x480.gif" >/dev/null 2>&1 ||
    { convert "$2/landscape-640x480.gif" "$work/landscape.png" && heif-enc -q 90 -o "$photo" "$work/landscape.png" >/dev/null; } ||
    fail "no HEIC photo"

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
[ ! -e "$prefix/bin/libvintrelscan.so" ] || fail "the library beside the program would hide the installed one"
desktop-file-validate "$prefix/share/applications/org.example.Vintrel.desktop" || fail "desktop entry"
grep -q '^Exec=vintrel %f$' "$prefix/share/applications/org.example.Vintrel.desktop" || fail "Exec without %f"
cmp -s "$prefix/share/vintrel/readme.htm" "$build/readme.htm" || fail "the help document is not installed"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/org.example.Vintrel.metainfo.xml" >"$work/as.log" ||
    { cat "$work/as.log"; fail "metainfo"; }
cp -r "$prefix/share/mime" "$work/mime"
update-mime-database "$work/mime" >/dev/null 2>&1 || fail "MIME package"
grep -q '^50:application/x-vintrel-layout:\*\.ppy$' "$work/mime/globs2" || fail "*.ppy is not application/x-vintrel-layout"
for size in 48 256; do
    file "$prefix/share/icons/hicolor/${size}x${size}/apps/org.example.Vintrel.png" | grep -q "$size x $size" ||
        fail "icon of $size pixels"
done

# A layout of one photo, as the program writes it.
layout="$work/page.ppy"
{
    printf '"%s","1500","1200","1866.667","1400","Y","Y","0.75","1.333333","1","1"\r\n' "$photo"
    for _ in $(seq 29); do printf '"","0","0","0","0","N","N","0","0","0","1"\r\n'; done
} >"$layout"

mkdir -p "$work/sane"
echo test >"$work/sane/dll.conf"
export SANE_CONFIG_DIR="$work/sane"

start "$prefix/bin/vintrel" "$layout"
window Vintrel
menu s
type_path "$work/again.ppy"
diff "$layout" "$work/again.ppy" || fail "the layout named on the command line did not open as it was saved"
menu Right Right Right s # Twain (after Edit and View) > Select Source
window "Select Source"
xdotool key Escape
settle
window Vintrel
menu x
xdotool key Return
ended

# The package: what it depends on comes from what the binaries link.
(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null) || fail "cpack"
deb=$(ls "$work"/package/vintrel_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6printsupport6 libqt6svg6 libjpeg62-turbo libheif1 liblcms2-2 libsane1; do
    grep -q "$needed" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done
grep -q sane-airscan <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "the package does not recommend sane-airscan"
dpkg -x "$deb" "$work/root"
export XDG_RUNTIME_DIR="$work/run2" && mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
start "$work/root/usr/bin/vintrel"
window Vintrel
echo "PASS: installed, validated, opened a layout from the command line, found the scanner library; the package starts"
