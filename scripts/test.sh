#!/usr/bin/env bash
# Sets up, builds and runs every test, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# The layout reader's fuzzer, for a bounded time.
bash scripts/fuzz.sh 30
# Widget tests run offscreen; the end-to-end test starts an X server of its own.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2
