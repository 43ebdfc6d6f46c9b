#!/usr/bin/env bash
# Builds the fuzzers (layout reader, picture loading, the scanner library's
# channel) with clang and runs each for a bounded time from its seeds in
# fuzz/seeds; an input that fails is left in build-fuzz/ (keep it in fuzz/seeds
# as a regression input once fixed).
#   bash scripts/fuzz.sh [seconds each]    (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVINTREL_FUZZ=ON >/dev/null
cmake --build build-fuzz --target fuzz_layout_reader fuzz_picture fuzz_channel >/dev/null
# Leaks in system libraries are known and listed; any other fails.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
run() { # name, seeds, max length, options...
    local name=$1 seeds=$2 length=$3
    shift 3
    local corpus=build-fuzz/corpus-$name
    mkdir -p "$corpus"
    cp fuzz/seeds/"$seeds"/* "$corpus"/
    ./build-fuzz/"$name" -max_total_time="$seconds" -max_len="$length" -rss_limit_mb=2048 -timeout=20 \
        -print_final_stats=1 -artifact_prefix=build-fuzz/"$name"- "$@" "$corpus" 2>&1 | tail -n 12
    echo "fuzz: $name, no crash in ${seconds}s"
}
run fuzz_layout_reader layout 8192 -dict=fuzz/layout.dict
# Seeds of the phones' and cameras' formats and of a tagged JPEG, made here by
# Debian's tools.
mkdir -p build-fuzz/corpus-fuzz_picture
(
    cd build-fuzz/corpus-fuzz_picture
    convert -size 16x12 gradient:orange-blue PNG24:seed.png
    convert seed.png -quality 90 seed.jpg
    heif-enc -q 50 seed.png -o seed.heic >/dev/null
    heif-enc -q 50 seed.jpg -o seed.avif >/dev/null
    heif-enc -q 50 -t 8 seed.png -o thumbnail.heic >/dev/null
    convert seed.png seed.webp
    convert seed.png -depth 16 seed.tif
    convert seed.jpg -profile /usr/share/color/icc/compatibleWithAdobeRGB1998.icc adobe.jpg
    rm seed.png
) || echo "fuzz: some seeds of the newer formats could not be made"
run fuzz_picture picture 16384
run fuzz_channel channel 65536
