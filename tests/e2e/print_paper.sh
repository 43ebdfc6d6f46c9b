#!/usr/bin/env bash
# End to end in a real X server under a window manager, with the CUPS queue of
# the test's own as the default printer and then with no printer at all: the
# line where the paper's printable area ends, the tooltip of a photo, the
# preview's sheet, and the question before a photo that reaches beyond the line is
# printed cut off.
#   print_paper.sh VINTREL_BINARY CUPS_SCRIPT
set -euo pipefail
binary="$1"
cups_script="$2"
source "$(dirname "$0")/../support/xsession.sh"
for tool in openbox convert import pdfimages; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
fail() { echo "FAIL: $*"; cat "$work/app.log"; exit 1; }
visible() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l; }
# The colours along one row of the window, one "x r,g,b" a line.
row() { import -window "$window" -crop "${2}x1+0+$1" -depth 8 txt:- | sed -n 's/^\([0-9]*\),[0-9]*: (\([0-9,]*\)).*/\1 \2/p'; }
openbox --sm-disable >"$work/wm.log" 2>&1 &
apps+=($!)
sleep 1
export HOME="$work" # where the print dialog's PDF file goes

convert -size 400x300 xc:orange "$work/orange.jpg"
printf '"%s","4500","1000","1500","1125","Y","Y","0.75","1.333333","1","1"\r\n' "$work/orange.jpg" >"$work/cut.ppy"
for _ in $(seq 29); do printf '"","0","0","0","0","N","N","0","0","0","1"\r\n'; done >>"$work/cut.ppy"

for machine in queue none; do
    if [ "$machine" = queue ]; then
        bash "$cups_script" start "$work/cups" >/dev/null
        export CUPS_SERVER="$work/cups/cups.sock"
        [ -S "$CUPS_SERVER" ] || { echo "note: no CUPS here, only the machine without a printer is tried"; continue; }
        lpadmin -h "$CUPS_SERVER" -d vintrel-test
        out="$work/cups/out/page.pdf"
    else
        [ -n "${CUPS_SERVER:-}" ] && bash "$cups_script" stop "$work/cups"
        export CUPS_SERVER="$work/no-scheduler.sock"
        out="$work/print.pdf"
    fi
    rm -rf "$work/config"
    start "$binary" "$work/cut.ppy"
    window Vintrel
    settle
    # The printable area's line crosses the page's top row, right of the 7-inch mark.
    line=$(row 60 "$WIDTH" | awk '$2 == "120,120,120" {print $1; exit}')
    [ -n "$line" ] && [ "$line" -gt 330 ] || fail "no printable area line on the page ($machine)"

    # Hovering the photo shows its printed size and resolution in a tooltip.
    before=$(xdotool search --onlyvisible --classname vintrel | wc -l)
    xdotool mousemove $((X + line - 20)) $((Y + 100))
    for _ in $(seq 30); do [ "$(xdotool search --onlyvisible --classname vintrel | wc -l)" -gt "$before" ] && break; sleep 0.2; done
    [ "$(xdotool search --onlyvisible --classname vintrel | wc -l)" -gt "$before" ] || fail "no tooltip over the photo ($machine)"
    xdotool mousemove $((X + 200)) $((Y + 400))

    # The preview opens over the window, shows its sheet (without a printer, as
    # a PDF file would come out, and says so), and closes.
    title="Print Preview"
    [ "$machine" = none ] && title="Print Preview \\(no printer: as a PDF file\\)" # a pattern
    xdotool key alt+f v
    for _ in $(seq 50); do [ "$(visible "$title")" -ge 1 ] && break; sleep 0.2; done
    [ "$(visible "$title")" -ge 1 ] || fail "no print preview ($machine)"
    settle
    preview=$(xdotool search --onlyvisible --name "^$title\$" | head -n 1)
    white=$(import -window "$preview" -depth 8 txt:- | grep -c '(255,255,255)' || true)
    [ "$white" -gt 20000 ] || fail "the preview shows no sheet ($machine)"
    xdotool key Escape
    settle

    # Print Page: the dialog's printer, then the question; Yes prints the photo cut.
    xdotool key alt+f p
    sleep 1.5
    xdotool key Return
    for _ in $(seq 50); do [ "$(visible Vintrel)" -ge 2 ] && break; sleep 0.2; done
    [ "$(visible Vintrel)" -ge 2 ] || fail "no question before printing a photo cut off ($machine)"
    xdotool key Return
    for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.2; done
    [ "$(pdfimages -list "$out" 2>/dev/null | tail -n +3 | wc -l)" = 1 ] || fail "the page did not print ($machine)"
    kill "$app"
    settle
done
echo "PASS: the line, the tooltip, the preview and the question, with a printer and without"
