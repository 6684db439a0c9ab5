#!/usr/bin/env bash
# Builds the data-file benchmark natively (optimised, no sanitizers) and runs it.
# Usage: bench/datafiles.sh [MiB] [rounds]   (default 10 MiB and twice that, 3 rounds; the fastest round counts)
set -eu -o pipefail
cd "$(dirname "$0")/.."
native=${RVL_BENCH_NATIVE_DIR:-build/pkg-bench-native}
cmake -S . -B "$native" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Release -DRVL_SANITIZE=OFF >/dev/null
cmake --build "$native" --target datafiles_bench -j2 >/dev/null
"$native/bin/datafiles_bench" "$@"
