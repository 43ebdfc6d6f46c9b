#!/usr/bin/env bash
# Sets up, builds and runs every test, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# The fuzzers (layout reader, picture loading), each for a bounded time.
bash scripts/fuzz.sh 30
# Widget tests run offscreen; the end-to-end test starts an X server of its own.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2

# The same tests again, built with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer. Every process writes its reports to one folder,
# and any report fails the run.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVINTREL_SANITIZE=ON -DVINTREL_BENCH=OFF >/dev/null
cmake --build build-asan
reports="$PWD/build-asan/sanitizer-reports"
rm -rf "$reports"
mkdir -p -m 1777 "$reports" # the tests' unprivileged copies write here too
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1"
ASAN_OPTIONS="log_path=$reports/asan:log_exe_name=1" ctest --test-dir build-asan --output-on-failure -j2
if compgen -G "$reports/*" >/dev/null; then
    cat "$reports"/*
    echo "sanitizer reports above" >&2
    exit 1
fi
