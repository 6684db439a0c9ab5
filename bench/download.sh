#!/usr/bin/env bash
# Builds the download benchmark for 64-bit Windows and runs it under Wine: 64 MiB from the loopback
# server through Pullwire.dll and through a plain WinINet loop, with their ratio.
# Usage: bench/download.sh [MiB]   (default 64)
set -eu -o pipefail
cd "$(dirname "$0")/.."
win64=${RVL_BENCH_WIN64_DIR:-build/pullwire-bench-win64}

cmake -S . -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win64" --target pullwire_bench -j2 >/dev/null

echo "== win64 under Wine"
scripts/wine-run "$win64/bin/pullwire_bench.exe" "$@"
