#!/usr/bin/env bash
# Verify and repair of a 1 GiB release with 10 % recovery data, beside
# Debian's par2 on the same files in the same run:
#   - verify of the release with 5 % of its slices damaged (target >= 2x par2)
#   - repair of that release (target >= 5x par2)
#   - verify of the intact release, against the rate at which its bytes are
#     MD5-hashed on all cores (MD5 is serial within a file; target >= 0.8)
# Prints the CPU, the GF(2^16) kernel chosen and the machine's load.
#   bench/par2/run-par2-bench.sh BUILD_DIR [runs]
# The release is written under $BENCH_DIR (default: a new folder in /tmp).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../timing.sh"

build=$(cd "${1:?usage: run-par2-bench.sh BUILD_DIR [runs]}" && pwd)
runs=${2:-3}
check="$build/lumeskar-check"
bench="$build/bench/par2/bench_par2"
for exe in "$check" "$bench"; do
  [ -x "$exe" ] || { echo "build it first: $exe" >&2; exit 2; }
done
command -v par2 >/dev/null || { echo "par2 is not installed (scripts/deps)" >&2; exit 2; }

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores"
echo "par2: $(par2 -V 2>&1 | head -n 1)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$bench" kernels

work=$(mktemp -d "${BENCH_DIR:-/tmp}/lumeskar-par2-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/set" "$work/times"
t="$work/times"
cd "$work/set"

# 1 GiB in 21 volumes, as releases come, and 10 % recovery data in 2000
# slices over the whole set.
volumes=21 volume_bytes=$(( (1 << 30) / 21 / 4 * 4 ))
echo "writing $volumes volumes of $volume_bytes bytes"
head -c "$volume_bytes" /dev/urandom > rel.r00
for i in $(seq 1 $((volumes - 1))); do
  { printf 'volume %02d' "$i"; tail -c +10 rel.r00; } > "$(printf 'rel.r%02d' "$i")"
done
mv rel.r00 rel.rar
echo "par2 create (2000 slices, 10 %)"
par2 create -q -q -b2000 -r10 rel.par2 rel.rar rel.r* > /dev/null
slice=$(par2 verify rel.par2 | sed -n 's/^The block size used was \([0-9]*\) bytes.*/\1/p')
total_bytes=$(cat rel.rar rel.r[0-9]* | wc -c)
cp -a "$work/set" "$work/pristine"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Intact: verify against the MD5 bound.
"$check" rel.par2 > /dev/null || { echo "lumeskar-check fails on the intact set" >&2; exit 1; }
: > "$t/t_ours"; : > "$t/t_peer"
for _ in $(seq "$runs"); do
  seconds "$check" rel.par2 >> "$t/t_ours"
  seconds par2 verify -q rel.par2 >> "$t/t_peer"
done
ours=$(median < "$t/t_ours") peer=$(median < "$t/t_peer")
bound=$("$bench" md5 rel.rar rel.r[0-9]*)
rate=$(awk -v b="$total_bytes" -v t="$ours" 'BEGIN { printf "%.1f", b / t / 1e6 }')
echo
echo "intact release ($total_bytes bytes, slice $slice bytes):"
echo "  verify: ours ${ours}s ($rate MB/s), par2 ${peer}s: $(ratio "$peer" "$ours")x par2"
echo "  MD5 on all cores: $bound MB/s; ours at $(ratio "$rate" "$bound") of that bound (target >= 0.8)"

# 5 % of the slices damaged: one byte flipped in each of 100 slices spread
# over the release at random (the same ones in every run).
damage() {
  python3 - "$1" "$slice" <<'PY'
import os, random, sys
folder, slice = sys.argv[1], int(sys.argv[2])
names = sorted(n for n in os.listdir(folder) if not n.endswith('.par2') and n.startswith('rel.'))
sizes = [os.path.getsize(os.path.join(folder, n)) for n in names]
slices = [(n, k) for n, s in zip(names, sizes) for k in range((s + slice - 1) // slice)]
rng = random.Random(5)
for n, k in rng.sample(slices, len(slices) * 5 // 100):
    with open(os.path.join(folder, n), 'r+b') as f:
        at = k * slice + rng.randrange(min(slice, os.path.getsize(os.path.join(folder, n)) - k * slice))
        f.seek(at); b = f.read(1); f.seek(at); f.write(bytes([b[0] ^ 0x5A]))
PY
}
restore() { cd "$work" && rm -rf "$work/set" && cp -a "$work/pristine" "$work/set" && damage "$work/set" && cd "$work/set"; }

restore
: > "$t/t_ours"; : > "$t/t_peer"; : > "$t/r_ours"; : > "$t/r_peer"
for _ in $(seq "$runs"); do
  seconds "$check" rel.par2 >> "$t/t_ours"
  seconds par2 verify -q rel.par2 >> "$t/t_peer"
done
for _ in $(seq "$runs"); do
  restore
  seconds "$check" --repair rel.par2 >> "$t/r_ours"
  "$check" -q rel.par2 > /dev/null || { echo "our repair did not restore the release" >&2; exit 1; }
  restore
  seconds par2 repair -q rel.par2 >> "$t/r_peer"
  par2 verify -q rel.par2 > /dev/null || { echo "par2's repair did not restore the release" >&2; exit 1; }
done
vo=$(median < "$t/t_ours") vp=$(median < "$t/t_peer") ro=$(median < "$t/r_ours") rp=$(median < "$t/r_peer")
echo
echo "release with 5 % of its slices damaged:"
echo "  verify: ours ${vo}s, par2 ${vp}s: $(ratio "$vp" "$vo")x par2 (target >= 2)"
echo "  repair: ours ${ro}s, par2 ${rp}s: $(ratio "$rp" "$ro")x par2 (target >= 5)"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
