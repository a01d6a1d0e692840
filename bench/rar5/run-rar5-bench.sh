#!/usr/bin/env bash
# RAR 5 decoding speed of our libunrar.so beside libarchive and unar (lsar -t)
# on the RAR 5 fixtures and on SIZE bytes of mixed benchmark data (text,
# executables, compressed media) compressed by our writer.
#   bench/rar5/run-rar5-bench.sh BUILD_DIR [SIZE (default 1g)] [rounds]
set -euo pipefail

build=$(cd "${1:?usage: run-rar5-bench.sh BUILD_DIR [SIZE] [rounds]}" && pwd)
size=${2:-1g}
rounds=${3:-3}
cmake --build "$build" --target bench_rar5 rarwrite >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load before: $(uptime)"
echo "== writing $size of benchmark data, RAR 5 compressed by tools/rarwrite"
"$build/tools/rarwrite" --rar5 --bench-data "$size" "$work/bench" >/dev/null
rm -rf "$work/bench-data"
"$build/bench/rar5/bench_rar5" "$rounds" "$work/bench.rar"
echo "load after: $(uptime)"
