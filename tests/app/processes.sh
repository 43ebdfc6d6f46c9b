#!/usr/bin/env bash
# The real program as a process: what its command line answers, and one copy
# at a time per user wherever the runtime folder points (only a lock in the way
# that cannot be removed lets a second copy run).
#   processes.sh VINTREL_BINARY VERSION
set -euo pipefail
binary="$1"
version="$2"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config"
fail() { echo "FAIL: $*"; exit 1; }

# answers STATUS OUT ERR ARGUMENTS...: what the program prints and ends with
answers() {
    local status=$1 out=$2 err=$3 got=0
    shift 3
    "$binary" "$@" >"$work/out" 2>"$work/err" || got=$?
    [ "$got" = "$status" ] && [ "$(cat "$work/out")" = "$out" ] && [ "$(cat "$work/err")" = "$err" ] ||
        fail "vintrel $*: status $got, printed '$(cat "$work/out")', told '$(cat "$work/err")'"
}
usage="Usage: vintrel [--help] [--version] [LAYOUT.ppy]"
answers 0 "Vintrel $version" "" --version
answers 2 "" "$usage" a.ppy b.ppy
answers 2 "" "$usage" --print a.ppy
answers 2 "" "$usage" ""

# holds_lock PID: a lock where one can be had (the runtime folder, or where Qt
# or the program falls back to) names the copy
holds_lock() {
    for folder in "$XDG_RUNTIME_DIR" "/tmp/runtime-${USER:-root}" "${TMPDIR:-/tmp}"; do
        [ "$(head -n 1 "$folder/vintrel.lock" 2>/dev/null)" = "$1" ] && return 0
    done
    return 1
}
for runtime in folder missing file blocked; do
    export XDG_RUNTIME_DIR="$work/$runtime/run"
    mkdir -p "$work/$runtime"
    case $runtime in
    folder) mkdir -m 700 "$XDG_RUNTIME_DIR" ;;
    file) echo "not a folder" >"$XDG_RUNTIME_DIR" ;;
    blocked) mkdir -p "$XDG_RUNTIME_DIR/vintrel.lock/inside" && chmod 700 "$XDG_RUNTIME_DIR" ;;
    esac
    "$binary" >/dev/null 2>&1 &
    first=$!
    for _ in $(seq 100); do { [ $runtime = blocked ] || holds_lock $first; } && break; sleep 0.1; done
    "$binary" >/dev/null 2>&1 &
    second=$!
    if [ $runtime = blocked ]; then
        sleep 3
        kill -0 $second 2>/dev/null || fail "$runtime: the second copy ended although no lock could be taken"
    else
        for _ in $(seq 100); do kill -0 $second 2>/dev/null || break; sleep 0.1; done
        ! kill -0 $second 2>/dev/null || fail "$runtime: the second copy runs on"
        status=0
        wait $second || status=$?
        [ $status = 0 ] || fail "$runtime: the second copy did not end at once with status 0 ($status)"
    fi
    kill -0 $first 2>/dev/null || fail "$runtime: the first copy ended"
    kill $first $second 2>/dev/null || true
    wait $first $second 2>/dev/null || true
    [ $runtime != file ] || [ "$(cat "$XDG_RUNTIME_DIR")" = "not a folder" ] || fail "a file in the way was written over"
done
echo "PASS: the command line's answers; one copy at a time with the runtime folder there, missing, a file, or blocked"
