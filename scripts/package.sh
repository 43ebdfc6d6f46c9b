#!/usr/bin/env bash
# Builds the Debian package into build/package/ (its dependencies found by
# dpkg-shlibdeps from what the binaries link).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
(cd build && cpack -G DEB -B package >/dev/null)
ls build/package/*.deb
