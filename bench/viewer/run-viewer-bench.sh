#!/usr/bin/env bash
# Opens .nfo files of every size and shape in the real viewer on a virtual X
# server, beside nfoview (Debian's GTK viewer) on the same files, and prints
# per file and program: seconds to the window shown, seconds until the
# program is done (its CPU time stops growing: the text laid out and
# painted), its processor time, its peak memory, and the processor time one
# Page Down costs (50 pages in a row). Lumeskar runs with word wrap on and
# off; nfoview as it comes.
#   bench/viewer/run-viewer-bench.sh BUILD_DIR [runs] [nfoview-timeout-seconds]
# BENCH_FILES="art-10MB one-line" picks files by name.
# Files: a 10 MB and a 64 MB .nfo of art lines, and 62 MB of each hostile
# shape: one line of words without a line break, all blanks, all NULs,
# nothing but line breaks, a million short lines.
set -euo pipefail

build=$(cd "${1:?usage: run-viewer-bench.sh BUILD_DIR [runs] [nfoview-timeout]}" && pwd)
runs=${2:-3}
peer_timeout=${3:-120}
lumeskar="$build/lumeskar"
[ -x "$lumeskar" ] || { echo "build lumeskar first: $lumeskar" >&2; exit 2; }
for tool in Xvfb xdotool nfoview python3; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/deps)" >&2; exit 2; }
done

if [ -z "${LUMESKAR_BENCH_DISPLAY:-}" ]; then
  # Again, on an X server of our own.
  exec xvfb-run -a -s "-screen 0 1280x1024x24" env LUMESKAR_BENCH_DISPLAY=1 "$0" "$@"
fi

work=$(mktemp -d "${BENCH_DIR:-/tmp}/lumeskar-viewer-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
hz=$(getconf CLK_TCK)

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
art = (b"\xdb" * 30 + b" Release notes and greetings  " + b"\xb0\xb1\xb2" * 6 + b"\r\n" +
       b"\xba  http://www.example.org/  " + b" " * 40 + b"\xba\r\n\r\n")
def write(name, data):
    open(f"{w}/{name}.nfo", "wb").write(data)
write("art-10MB", (art * (10_000_000 // len(art) + 1))[:10_000_000])
write("art-64MB", (art * (64 * 2**20 // len(art) + 1))[:64 * 2**20 - 1000])
size = 62 * 2**20
write("one-line", (b"abcdefgh " * (size // 9 + 1))[:size])
write("blanks", b" " * size)
write("nuls", b"\0" * size)
write("line-breaks", b"\r\n" * (size // 2))
write("short-lines", b"".join(b"line %07d\r\n" % i for i in range(1_000_000)))
PY

# Settings of our own: word wrap on, or off.
mkdir -p "$work/wrap-on/lumeskar" "$work/wrap-off/lumeskar"
printf '[Options]\r\nWordWrap=Yes\r\n' > "$work/wrap-on/lumeskar/lumeskar.ini"
printf '[Options]\r\nWordWrap=No\r\n' > "$work/wrap-off/lumeskar/lumeskar.ini"

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo -1; }
now_ns() { date +%s%N; }
# Waits until the process's CPU time has not grown for 0.4 s; prints when it last grew.
settle() {
  local pid=$1 last=-1 changed now t
  changed=$(now_ns)
  while kill -0 "$pid" 2>/dev/null; do
    t=$(ticks "$pid"); now=$(now_ns)
    if [ "$t" != "$last" ]; then last=$t; changed=$now; fi
    [ $((now - changed)) -ge 400000000 ] && break
    sleep 0.02
  done
  echo "$changed"
}

# One run: prints "shown done cpu peakMB pageMs" (seconds, seconds, seconds, MB, ms); without a
# window after `limit` seconds "- >limit cpu peakMB -", the figures so far.
run() {
  local limit=$1; shift
  xdotool mousemove 1279 1023  # the pointer (and with it the focus) away from the window
  local start pid window shown done t0 t1 peak
  start=$(now_ns)
  "$@" >/dev/null 2>&1 &
  pid=$!
  window=""
  while [ -z "$window" ]; do
    window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1 || true)
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid" 2>/dev/null || true
      echo "failed - - - -"; return
    fi
    if [ $(( ($(now_ns) - start) / 1000000000 )) -ge "$limit" ]; then
      # No window yet: what it has used so far.
      awk -v c="$(ticks "$pid")" -v hz="$hz" -v l="$limit" -v p="$(awk '/VmHWM/ { print int($2 / 1024) }' "/proc/$pid/status")" \
        'BEGIN { printf "- >%d %.2f %d -\n", l, c / hz, p }'
      kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
      return
    fi
    [ -z "$window" ] && sleep 0.01
  done
  shown=$(now_ns)
  done=$(settle "$pid")
  t0=$(ticks "$pid")
  peak=$(awk '/VmHWM/ { print int($2 / 1024) }' "/proc/$pid/status")
  # 50 pages down with the focus in the window, one every 30 ms.
  xdotool windowmove --sync "$window" 0 0 >/dev/null 2>&1 || true
  xdotool mousemove 100 100
  sleep 0.3
  local before
  before=$(ticks "$pid")
  xdotool key --delay 30 --repeat 50 Page_Down
  settle "$pid" >/dev/null
  t1=$(ticks "$pid")
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  awk -v s="$start" -v w="$shown" -v d="$done" -v c="$t0" -v hz="$hz" -v p="$peak" -v b="$before" -v a="$t1" \
    'BEGIN { printf "%.2f %.2f %.2f %d %.1f\n", (w - s) / 1e9, (d - s) / 1e9, c / hz, p, (a - b) * 1000 / hz / 50 }'
}

# The median run of several, by the time until done.
median_run() {
  local n=$1; shift
  local out
  out=$(for _ in $(seq "$n"); do run "$@"; done | sort -k2 -g)
  sed -n "$(( ($(wc -l <<< "$out") + 1) / 2 ))p" <<< "$out"
}

# Fresh settings and caches for both programs; one start of each first,
# untimed, so that neither pays for building its font cache in a timed run.
export HOME="$work" XDG_CACHE_HOME="$work/cache"
printf 'x\r\n' > "$work/warm.nfo"
run 300 env XDG_CONFIG_HOME="$work/wrap-on" "$lumeskar" "$work/warm.nfo" > /dev/null
run 300 env XDG_CONFIG_HOME="$work/nfoview" nfoview "$work/warm.nfo" > /dev/null

printf '\n%-12s %-20s %8s %8s %8s %8s %9s\n' "file" "program" "shown s" "done s" "CPU s" "peak MB" "page ms"
for file in ${BENCH_FILES:-art-10MB art-64MB one-line blanks nuls line-breaks short-lines}; do
  nfo="$work/$file.nfo"
  n=$runs
  case $file in art-*) ;; *) n=1 ;; esac
  for wrap in on off; do
    result=$(median_run "$n" 120 env XDG_CONFIG_HOME="$work/wrap-$wrap" "$lumeskar" "$nfo")
    # shellcheck disable=SC2086
    printf '%-12s %-20s %8s %8s %8s %8s %9s\n' "$file" "lumeskar wrap $wrap" $result
  done
  result=$(median_run 1 "$peer_timeout" env XDG_CONFIG_HOME="$work/nfoview" nfoview "$nfo")
  # shellcheck disable=SC2086
  printf '%-12s %-20s %8s %8s %8s %8s %9s\n' "$file" "nfoview" $result
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "targets: 10 MB done <= 0.5 s and <= 150 MB, a page <= 16 ms; 64 MB done <= 3 s and <= 400 MB;"
echo "         every shape done <= 3 s and <= 500 MB, word wrap on and off"
