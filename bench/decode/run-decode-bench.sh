#!/usr/bin/env bash
# Output MB/s of our RAR 1.5-4 decoders beside libarchive and libunarr on
# the largest compressed fixtures (bench_decode). libunarr is installed here
# for the benchmark only; the project does not depend on it.
#   bench/decode/run-decode-bench.sh BUILD_DIR [rounds]
set -euo pipefail

build=$(cd "${1:?usage: run-decode-bench.sh BUILD_DIR [rounds]}" && pwd)
rounds=${2:-5}
if ! dpkg -s libunarr-dev >/dev/null 2>&1; then
  sudo=; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y --no-install-recommends libunarr-dev >/dev/null
fi
cmake --build "$build" --target bench_decode >/dev/null
"$build/bench/decode/bench_decode" "$rounds"
