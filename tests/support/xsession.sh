# Sourced by the end-to-end tests: an X server of the test's own (Xvfb, which
# picks a free display), a scratch folder $work removed at exit, and helpers to
# find the program's window and use its menus as a user would.
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
apps=()
cleanup() {
    for pid in "${apps[@]}"; do kill "$pid" 2>/dev/null || true; done
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work" 2>/dev/null || { sleep 1; rm -rf "$work" || true; } # a server may write as it ends
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "SKIP: Xvfb did not start"; cat "$work/xvfb.log"; exit 77; }
export DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$work/run" && chmod 700 "$work/run"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

settle() { sleep 0.6; }
# start PROGRAM ARGS...: runs it from $work in the background, its output in $work/app.log
start() {
    (cd "$work" && exec "$@") >>"$work/app.log" 2>&1 &
    apps+=($!)
    app=$!
}
# window NAME: waits for a visible window of that exact title, sets $window, X and Y
window() {
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1) || true
    [ -n "$window" ] || { echo "FAIL: no window '$1'"; cat "$work/app.log"; exit 1; }
    eval "$(xdotool getwindowgeometry --shell "$window")"
}
# menu [Right...] KEY: opens the File menu with the mouse (Right for each menu
# further along the bar) and chooses an item by its mnemonic
menu() {
    xdotool mousemove $((X + 15)) $((Y + 9)) click 1
    settle
    for key in "$@"; do xdotool key "$key"; done
    settle
}
# type_path PATH: types into the focused file dialog and presses Return
type_path() {
    xdotool type --delay 10 "$1"
    xdotool key Return
    settle
}
# ended: waits for the program to end, fails when it does not
ended() { # within 20 s: a program built with the sanitizers looks for leaks as it ends
    for _ in $(seq 200); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app" 2>/dev/null; then echo "FAIL: the program did not end"; exit 1; fi
}
