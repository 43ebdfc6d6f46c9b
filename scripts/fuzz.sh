#!/usr/bin/env bash
# Builds the layout reader's fuzzer with clang and runs it for a bounded time.
#   bash scripts/fuzz.sh [seconds]    (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
CXX=clang++ cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz >/dev/null
corpus=build-fuzz/corpus
mkdir -p "$corpus"
cp fuzz/seeds/* "$corpus"/
./build-fuzz/fuzz_layout_reader -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 -artifact_prefix=build-fuzz/ \
    -dict=fuzz/layout.dict "$corpus" 2>&1 | tail -n 12
echo "fuzz: no crash in ${seconds}s"
