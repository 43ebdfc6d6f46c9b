#!/usr/bin/env bash
# Configures and builds into build/ (warnings are errors in project code).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVINTREL_WERROR=ON >/dev/null
cmake --build build
