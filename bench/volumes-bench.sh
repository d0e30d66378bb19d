#!/usr/bin/env bash
# Speed of the sector search: `talvix volumes --advanced` over a 2 GiB monolithicFlat VMDK
# against reading its flat extent with `cat` to /dev/null, warm cache, in the same run.
# Needs qemu-utils and perl.
#
#   bench/volumes-bench.sh [WORKDIR] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/var/tmp/talvix-bench}
runs=${2:-5}
talvix=${TALVIX:-$here/build/src/cli/talvix}
mkdir -p "$work"
cd "$work"

if [ ! -f flat2g.vmdk ]; then
  qemu-img create -q -f vmdk -o subformat=monolithicFlat flat2g.vmdk 2G
  # Fill the extent with data, so that nothing is a hole and every sector is tested.
  perl -e 'open(my $r, "<", "/dev/urandom") or die; read($r, my $pool, 64 << 20);
           open(my $o, "+<", "flat2g-flat.vmdk") or die; binmode $o;
           for my $i (0 .. 31) { print $o $pool; }'
fi

source "$here/bench/lib.sh"
cat flat2g-flat.vmdk >/dev/null  # warm the cache
ours="" theirs=""
for round in $(seq "$runs"); do
  ours+="$(timed "$talvix" volumes --advanced --descriptor flat2g.vmdk) "
  theirs+="$(timed cat flat2g-flat.vmdk) "
done
m_ours=$(tr ' ' '\n' <<<"$ours" | grep . | median)
m_theirs=$(tr ' ' '\n' <<<"$theirs" | grep . | median)
printf '%-40s median %6.3f s  (runs: %s)\n' "talvix volumes --advanced" "$m_ours" "$ours" \
  "cat of the flat extent to /dev/null" "$m_theirs" "$theirs"
echo "ratio talvix volumes --advanced / cat: $(ratio "$m_ours" "$m_theirs")"
