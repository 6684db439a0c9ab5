#!/usr/bin/env bash
# Runs one benchmark at its smallest size, as a test: it passes when the program ends with exit code 0
# and printed a line that matches PATTERN (its ratio). No time is asserted.
# Usage: bench/smoke.sh PATTERN PROGRAM [ARGS...]
set -u
pattern=$1
shift
out=$("$@" 2>&1)
rc=$?
printf '%s\n' "$out"
if [ $rc -ne 0 ]; then
    echo "bench/smoke.sh: the benchmark ended with exit code $rc" >&2
    exit 1
fi
if ! grep -qE "$pattern" <<<"$out"; then
    echo "bench/smoke.sh: no line matches \"$pattern\"" >&2
    exit 1
fi
