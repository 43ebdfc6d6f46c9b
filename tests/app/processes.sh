#!/usr/bin/env bash
# The real program as a process: what its command line answers, and one copy
# at a time per user wherever the runtime folder points, in a private folder of
# the user's cache without one (only a lock in the way that cannot be removed,
# or a private folder another could have planted, lets a second copy run).
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

# holds_lock PID: the lock, in the runtime folder or the private one, names the copy
holds_lock() {
    for folder in "${XDG_RUNTIME_DIR:-}" "$XDG_CACHE_HOME/vintrel"; do
        [ "$(head -n 1 "$folder/vintrel.lock" 2>/dev/null)" = "$1" ] && return 0
    done
    return 1
}
for runtime in folder missing file unset shared blocked planted; do
    export XDG_RUNTIME_DIR="$work/$runtime/run" XDG_CACHE_HOME="$work/$runtime/cache"
    mkdir -p "$work/$runtime/cache"
    case $runtime in
    folder) mkdir -m 700 "$XDG_RUNTIME_DIR" ;;
    file) echo "not a folder" >"$XDG_RUNTIME_DIR" ;;
    unset) unset XDG_RUNTIME_DIR ;;
    shared) mkdir -m 777 "$XDG_RUNTIME_DIR" ;; # others may enter: not used
    blocked) mkdir -p "$XDG_RUNTIME_DIR/vintrel.lock/inside" && chmod 700 "$XDG_RUNTIME_DIR" ;;
    planted) unset XDG_RUNTIME_DIR && mkdir "$work/elsewhere" && ln -s "$work/elsewhere" "$XDG_CACHE_HOME/vintrel" ;;
    esac
    "$binary" >/dev/null 2>&1 &
    first=$!
    for _ in $(seq 100); do { [ $runtime = blocked ] || [ $runtime = planted ] || holds_lock $first; } && break; sleep 0.1; done
    "$binary" >/dev/null 2>&1 &
    second=$!
    if [ $runtime = blocked ] || [ $runtime = planted ]; then
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
    [ $runtime != unset ] || [ "$(stat -c %a "$XDG_CACHE_HOME/vintrel")" = 700 ] || fail "the private folder is not the user's alone"
    [ $runtime != planted ] || [ -z "$(ls -A "$work/elsewhere")" ] || fail "the lock went into a planted folder"
    [ $runtime != shared ] || [ ! -e "$XDG_RUNTIME_DIR/vintrel.lock" ] || fail "the lock went into a shared folder"
done
echo "PASS: the command line's answers; one copy at a time with the runtime folder there, missing, a file, unset, shared, blocked, or the private one planted"
