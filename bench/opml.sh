#!/usr/bin/env bash
# Builds the OPML import benchmark for 64-bit Windows and runs it under Wine: an import of N feeds into
# a customization of N feeds in N / 100 folders, and again at twice the sizes, beside the DOM's own read.
# Usage: bench/opml.sh [N] [rounds]   (default 5000 feeds, 3 rounds)
set -eu -o pipefail
cd "$(dirname "$0")/.."
win64=${RVL_BENCH_WIN64_DIR:-build/opml-bench-win64}

cmake -S . -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win64" --target opml_bench -j2 >/dev/null

echo "== win64 under Wine"
scripts/wine-run "$win64/bin/opml_bench.exe" "$@"
