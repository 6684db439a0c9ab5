#!/usr/bin/env bash
# Runs a fuzzer (the package's or the data files') for RVL_FUZZ_SECONDS seconds (default 20) on a copy of the kept corpus, so that
# the tree is never changed by a run. Fails on a finding, whose input is printed in hex.
# Usage: run_fuzzer.sh FUZZER CORPUS_DIR
set -u
fuzzer=$1
corpus=$2
seconds=${RVL_FUZZ_SECONDS:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/rvl-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/findings"
cp "$corpus"/* "$work/corpus/"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
    -artifact_prefix="$work/findings/" "$work/corpus" 2>&1 | tail -n 40
rc=${PIPESTATUS[0]}
for f in "$work"/findings/*; do
    [ -f "$f" ] || continue
    echo "finding: $(basename "$f")"
    od -A d -t x1 "$f" | head -n 40
    rc=1
done
exit "$rc"
