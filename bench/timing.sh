# Timing helpers the benchmark scripts source; `runs` is the caller's count
# of rounds.

# Seconds one run of the command takes (its output and failure ignored).
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }'
}

# The median of the numbers on standard input, one per round.
median() { sort -g | sed -n "$(( (runs + 1) / 2 ))p"; }
