#!/usr/bin/env bash
# Times a whole SFV check of a cached release of >= 2 GiB with lumeskar-check,
# beside `cat > /dev/null` (the read limit), `cksfv -f` and `rhash -c` on the
# same SFV, and prints the ratios. Then runs bench_crc on one volume.
#   bench/check/run-check-bench.sh BUILD_DIR [runs]
# The release is written under $BENCH_DIR (default: a new folder in /tmp) and
# removed afterwards.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../timing.sh"

build=$(cd "${1:?usage: run-check-bench.sh BUILD_DIR [runs]}" && pwd)
runs=${2:-3}
check="$build/lumeskar-check"
crcbench="$build/bench/check/bench_crc"
[ -x "$check" ] || { echo "build lumeskar-check first: $check" >&2; exit 2; }
for tool in cksfv rhash; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/deps)" >&2; exit 2; }
done

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
for flag in avx512f vpclmulqdq; do
  grep -qw "$flag" /proc/cpuinfo && echo "  $flag: yes" || echo "  $flag: no"
done
echo "(bench_crc below names the CRC kernel ISA-L picks here)"

work=$(mktemp -d "${BENCH_DIR:-/tmp}/lumeskar-check-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

volumes=8 volume_mib=272   # 8 x 272 MiB = 2176 MiB
echo "writing $volumes volumes of $volume_mib MiB in $work"
head -c $((volume_mib << 20)) /dev/urandom > bench.r00
for i in $(seq 1 $((volumes - 1))); do
  # Different content per volume without paying for /dev/urandom again.
  { printf 'volume %d' "$i"; tail -c +10 bench.r00; } > "bench.r0$i"
done
mv bench.r00 bench.rar
rhash --crc32 --sfv -- bench.rar bench.r0* > bench.sfv 2>/dev/null
total_bytes=$(cat bench.rar bench.r0* | wc -c)
cat bench.rar bench.r0* > /dev/null   # into the page cache


"$check" bench.sfv > /dev/null || { echo "lumeskar-check failed on its own release" >&2; exit 1; }

# The tools take turns in every round, so a change in the machine's load
# hits them alike; each one's median over the rounds is reported.
: > t_cat; : > t_check; : > t_rhash; : > t_cksfv
for _ in $(seq "$runs"); do
  seconds sh -c 'cat bench.rar bench.r0* > /dev/null' >> t_cat
  seconds "$check" bench.sfv >> t_check
  seconds rhash -c bench.sfv >> t_rhash
  seconds cksfv -f bench.sfv >> t_cksfv
done
t_cat=$(median < t_cat) t_check=$(median < t_check) t_rhash=$(median < t_rhash) t_cksfv=$(median < t_cksfv)

rate() { awk -v n="$total_bytes" -v t="$1" 'BEGIN { printf "%.0f", n / t / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '\n%s MB in %d files, median of %d runs (cached)\n' "$((total_bytes / 1000000))" "$volumes" "$runs"
printf '  %-22s %6.2f s  %6s MB/s\n' "cat > /dev/null" "$t_cat" "$(rate "$t_cat")" \
  "lumeskar-check" "$t_check" "$(rate "$t_check")" \
  "rhash -c" "$t_rhash" "$(rate "$t_rhash")" \
  "cksfv -f" "$t_cksfv" "$(rate "$t_cksfv")"
printf '\n  lumeskar-check throughput / cat      %s  (target >= 0.90)\n' "$(ratio "$t_cat" "$t_check")"
printf '  lumeskar-check speed-up over cksfv   %sx (target >= 15)\n' "$(ratio "$t_cksfv" "$t_check")"
printf '  lumeskar-check speed-up over rhash   %sx (target >= 5)\n' "$(ratio "$t_rhash" "$t_check")"

if [ -x "$crcbench" ]; then
  echo; echo "CRC implementations over one cached volume:"
  "$crcbench" bench.rar 5
fi
