#!/usr/bin/env bash
# Export speed: `talvix export` of a 2 GiB monolithicSparse VMDK with half of its grains
# allocated, against `qemu-img convert -O raw` of the same file and `cp` of a fully
# allocated raw file of the same size. Prints each command's time (median of runs, warm cache)
# and the ratios. Needs qemu-utils, perl and coreutils.
#
#   bench/export-bench.sh [WORKDIR] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/var/tmp/talvix-bench}
runs=${2:-5}
talvix=${TALVIX:-$here/build/src/cli/talvix}
mkdir -p "$work"
cd "$work"

if [ ! -f half.vmdk ]; then
  # Every other 64 KiB grain holds data; the rest of the guest disk is unallocated.
  perl -e '
    open(my $r, "<", "/dev/urandom") or die; read($r, my $pool, 64 << 20);
    open(my $o, "+>", "half.raw") or die; binmode $o;
    my $grain = 64 << 10; my $disk = 2 << 30;
    for (my $g = 0; $g < $disk / $grain; $g += 2) {
      seek($o, $g * $grain, 0); print $o substr($pool, ($g * 4099 * 16) % ((64 << 20) - $grain), $grain);
    }
    truncate($o, $disk);'
  qemu-img convert -O vmdk -o subformat=monolithicSparse half.raw half.vmdk
  cp --sparse=never half.raw full.raw
  rm half.raw
fi

source "$here/bench/lib.sh"
# One timed run of "$@" writing out.img: the previous output is removed and the page cache
# written back first, outside the timing, so that no run pays for another's writes.
fresh_timed() {
  rm -f out.img
  sync
  timed "$@"
}

names=("talvix export" "talvix export --sparse" "qemu-img convert -O raw" "cp of a full 2 GiB raw file")
commands=("$talvix export half.vmdk out.img" "$talvix export --sparse half.vmdk out.img"
          "qemu-img convert -O raw half.vmdk out.img" "cp full.raw out.img")
# Correctness first: both exports equal qemu-img's raw image.
$talvix export half.vmdk ours.img
qemu-img convert -O raw half.vmdk theirs.img
cmp ours.img theirs.img
$talvix export --sparse half.vmdk ours.img
cmp ours.img theirs.img
rm -f ours.img theirs.img

# Rounds take the commands in turn, so that drift of the machine touches all alike.
declare -A times
for round in $(seq 0 "$runs"); do
  for i in "${!commands[@]}"; do
    t=$(fresh_timed ${commands[$i]})
    [ "$round" -gt 0 ] && times[$i]+="$t "  # round 0 warms the cache
  done
done
rm -f out.img

declare -a med
for i in "${!commands[@]}"; do
  med[$i]=$(tr ' ' '\n' <<<"${times[$i]}" | grep . | median)
  printf '%-32s median %6.3f s  (runs: %s)\n' "${names[$i]}" "${med[$i]}" "${times[$i]}"
done
echo "ratio talvix export / qemu-img convert:          $(ratio "${med[0]}" "${med[2]}")"
echo "ratio talvix export --sparse / qemu-img convert: $(ratio "${med[1]}" "${med[2]}")"
echo "ratio talvix export / cp:                        $(ratio "${med[0]}" "${med[3]}")"
