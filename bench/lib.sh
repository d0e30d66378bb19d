# Sourced by the benchmarks: timing helpers.

# The median of the numbers on standard input, one a line.
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Wall seconds of one run of "$@", its output thrown away.
timed() {
  local s e
  s=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN {print e - s}'
}

# a / b with two decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
