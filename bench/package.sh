#!/usr/bin/env bash
# Builds the package benchmark natively (optimised, no sanitizers) and for 64-bit Windows, and runs both:
# the Windows one under Wine. Usage: bench/package.sh [MiB] [rounds]   (default 64 MiB, 5 rounds; the fastest round of each counts)
set -eu -o pipefail
cd "$(dirname "$0")/.."
native=${RVL_BENCH_NATIVE_DIR:-build/pkg-bench-native}
win64=${RVL_BENCH_WIN64_DIR:-build/pkg-bench-win64}

cmake -S . -B "$native" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Release -DRVL_SANITIZE=OFF >/dev/null
cmake --build "$native" --target package_bench -j2 >/dev/null
cmake -S . -B "$win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win64" --target package_bench -j2 >/dev/null

echo "== native"
"$native/bin/package_bench" "$@"
echo "== win64 under Wine"
scripts/wine-run "$win64/bin/package_bench.exe" "$@"
