#!/usr/bin/env bash
# NTFS speed on a big volume: a raw disk with an MBR and one NTFS partition at sector 2048
# (4 KiB clusters, 1.75 GiB) holding 100,000 files in 216 folders, 3,500 of them deleted
# again. Times, warm cache, medians of alternating runs:
#   `talvix ls --volume 0 -r --format tsv`  against  `fls -r -p -o 2048`
#   `talvix save --volume 0 --out DIR`      against  `tsk_recover -a -o 2048 ... DIR`
# and prints the ratios and each command's peak memory (max RSS).
#
#   bench/ntfs-bench.sh [--reference-only] [WORKDIR] [RUNS]
#
# --reference-only (or REFERENCE_ONLY=1) times fls and tsk_recover alone, without talvix.
# The saves write into WORKDIR, or into OUTDIR if set: a tmpfs such as /dev/shm there takes
# the host's disk out of the measurement.
# The image is built once into WORKDIR (ntfs100k.raw, with ntfs100k.vmdk, a monolithicSparse
# copy of it, and ntfs100k.files.tsv, the path, size and state of every file written).
# Building it takes a minute or two and needs root: the partition is formatted through a loop
# device and filled through an ntfs-3g mount. A run with the default 5 rounds takes 10-20
# minutes on a disk without a journal, most of it removing outputs and waiting between rounds
# (see remove_outputs below).
# Needs ntfs-3g, sleuthkit, qemu-utils, fdisk, time and python3.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
reference_only=${REFERENCE_ONLY:-0}
args=()
for a in "$@"; do
  case $a in
    --reference-only) reference_only=1 ;;
    -h | --help) sed -n '2,21s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "ntfs-bench: unknown option $a" >&2; exit 2 ;;
    *) args+=("$a") ;;
  esac
done
work=${args[0]:-/var/tmp/talvix-bench}
runs=${args[1]:-5}
talvix=${TALVIX:-$here/build/src/cli/talvix}
image=ntfs100k.raw
start=2048                      # first sector of the partition
part_sectors=$((1792 * 2048))   # 1.75 GiB

source "$here/scripts/ensure-packages.sh"
ensure_packages ntfs-3g sleuthkit qemu-utils fdisk time

# Stop before the long build if talvix cannot run the commands under test.
if [ "$reference_only" != 1 ]; then
  if [ ! -x "$talvix" ]; then
    echo "ntfs-bench: no talvix binary at $talvix" \
      "(build it, set TALVIX, or use --reference-only)" >&2
    exit 1
  fi
  for c in ls save; do
    if ! out=$("$talvix" "$c" --help 2>&1); then
      echo "ntfs-bench: $talvix has no working '$c' command: $(head -n1 <<<"$out")" >&2
      echo "ntfs-bench: --reference-only times fls and tsk_recover alone" >&2
      exit 1
    fi
  done
fi

mkdir -p "$work"
cd "$work"
# One run at a time in a work folder: two would time each other and share the output folders.
exec 9>ntfs-bench.lock
if ! flock -n 9; then
  echo "ntfs-bench: waiting for another run in $work to end"
  flock 9
fi

# Writes the folders and files below the mount point $1 and the list of them to $2.
fill_volume() {
  python3 - "$1" "$2" <<'EOF'
import os, random, shutil, sys

root, manifest = sys.argv[1], sys.argv[2]
rng = random.Random(100_000)
pool = rng.randbytes(16 << 20)

# Three levels of folders: 6 at the top, 5 in each, 6 in each of those: 216 in all.
dirs = []
for a in range(6):
    top = f"dept-{a}"
    dirs.append(top)
    for b in range(5):
        mid = f"{top}/project {b:02d}"
        dirs.append(mid)
        for c in range(6):
            dirs.append(f"{mid}/data-{a}{b}{c}")
for d in dirs:
    os.mkdir(os.path.join(root, d))

# 60,000 small files (0-599 bytes, kept in their MFT records), 39,950 of 1-64 KiB spread
# evenly over the powers of two, and 50 of 1-6 MiB; about 780 MiB of data in all.
kinds = ["small"] * 60_000 + ["medium"] * 39_950 + ["large"] * 50
rng.shuffle(kinds)
files = []
total = 0
for i, kind in enumerate(kinds):
    if kind == "small":
        size, ext = rng.randrange(600), "txt"
    elif kind == "medium":
        size, ext = int(1024 * 64 ** rng.random()), "dat"
    else:
        size, ext = rng.randrange(1 << 20, 6 << 20), "bin"
    if i % 997 == 0:
        name = f"résumé {i:06d}.{ext}"
    elif i % 1009 == 0:
        name = f"データ-{i:06d}.{ext}"
    elif i % 503 == 0 and kind != "small":
        name = (f"{i:06d} a rather long file name, the kind that does not fit"
                f" in the eight-dot-three form at all.{ext}")
    else:
        name = f"file-{i:06d}.{ext}"
    path = f"{rng.choice(dirs)}/{name}"
    # Every file starts with its own path, so that no two files hold the same bytes.
    head = f"{path}\n".encode()[:size]
    at = rng.randrange(len(pool) - size + 1)
    with open(os.path.join(root, path), "wb", buffering=0) as f:
        f.write(head + pool[at:at + size - len(head)])
    files.append([path, size, "allocated"])
    total += size
    if (i + 1) % 10_000 == 0:
        print(f"  {i + 1} files, {total >> 20} MiB", file=sys.stderr, flush=True)

# Deleted entries: about 3% of the files here and there, and one whole leaf folder.
gone_dir = "dept-3/project 02/data-324"
for entry in files:
    if entry[0].startswith(gone_dir + "/"):
        entry[2] = "deleted"
    elif rng.random() < 0.03:
        os.remove(os.path.join(root, entry[0]))
        entry[2] = "deleted"
shutil.rmtree(os.path.join(root, gone_dir))
with open(manifest, "w", encoding="utf-8") as m:
    m.write("path\tsize\tstate\n")
    for path, size, state in files:
        m.write(f"{path}\t{size}\t{state}\n")
deleted = sum(1 for e in files if e[2] == "deleted")
print(f"  deleted {deleted} files and the folder {gone_dir}", file=sys.stderr)
EOF
}

build_image() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "ntfs-bench: building $image needs root (loop device and ntfs-3g mount)" >&2
    exit 1
  fi
  echo "Building $work/$image (a few minutes, once)"
  # Not local: the exit trap needs them after the function has been left.
  loop="" mnt="$work/ntfs100k.mnt" fuse_pid=""
  local began
  began=$(date +%s)
  rm -f "$image.part" ntfs100k.files.tsv.part
  truncate -s $(((start + part_sectors + 2048) * 512)) "$image.part"
  printf 'label: dos\nlabel-id: 0x7a1f100c\nstart=%d, size=%d, type=7, bootable\n' \
    "$start" "$part_sectors" | sfdisk -q "$image.part"
  # Whatever happens, leave no mount or loop device behind.
  trap 'if [ -n "$fuse_pid" ]; then umount "$mnt" 2>/dev/null || true; wait "$fuse_pid" || true; fi
        if [ -n "$loop" ]; then losetup -d "$loop" || true; fi' EXIT
  loop=$(losetup -f --show -o $((start * 512)) --sizelimit $((part_sectors * 512)) "$image.part")
  mkntfs -q -Q -c 4096 -s 512 -p "$start" -H 255 -S 63 -L talvix100k "$loop"
  mkdir -p "$mnt"
  # In the foreground and sent to the background here, so that after the unmount the script
  # can wait for ntfs-3g to finish writing before the loop device goes.
  ntfs-3g -o big_writes,noatime,no_detach "$loop" "$mnt" >ntfs-3g.log 2>&1 &
  fuse_pid=$!
  for _ in $(seq 100); do mountpoint -q "$mnt" && break; sleep 0.1; done
  if ! mountpoint -q "$mnt"; then
    echo "ntfs-bench: ntfs-3g did not mount, see $work/ntfs-3g.log" >&2
    exit 1
  fi
  fill_volume "$mnt" ntfs100k.files.tsv.part
  umount "$mnt"
  wait "$fuse_pid"
  fuse_pid=""
  losetup -d "$loop"
  loop=""
  trap - EXIT
  rmdir "$mnt"
  rm -f ntfs-3g.log
  mv ntfs100k.files.tsv.part ntfs100k.files.tsv
  mv "$image.part" "$image"
  qemu-img convert -O vmdk -o subformat=monolithicSparse "$image" ntfs100k.vmdk
  echo "Built in $(($(date +%s) - began)) s"
}
[ -f "$image" ] || build_image

source "$here/bench/lib.sh"
# One run of "$@" with its peak memory (KiB) written to rss.txt. timed() throws away the exit
# status; /usr/bin/time keeps it in rss.txt, where peak_of_run() finds it.
measured() {
  /usr/bin/time -f %M -o rss.txt "$@"
}
peak_of_run() {
  if [ "$(wc -l <rss.txt)" -ne 1 ]; then
    echo "ntfs-bench: '$*' failed: $(head -n1 rss.txt)" >&2
    exit 1
  fi
  cat rss.txt
}

# The saves write 100,000 files each. The outputs are removed after each round, outside the
# timing, and on ext4 without a journal the next round's saves wait until those deletions are
# over a minute old: such a file system will not reuse an inode freed less than 60 s ago, and
# skipping 100,000 of them one by one made a save right after a removal take two to four
# times as long.
outdir=$(cd "${OUTDIR:-$work}" && pwd)
settle=0
if [ "$(findmnt -no FSTYPE -T "$outdir")" = ext4 ] &&
   ! compgen -G "/proc/fs/jbd2/$(basename "$(findmnt -no SOURCE -T "$outdir")")-*" >/dev/null; then
  settle=65
fi
settled_at=0
remove_outputs() {
  compgen -G "$outdir/ntfs100k.out-*" >/dev/null || return 0
  rm -rf "$outdir"/ntfs100k.out-*
  sync
  settled_at=$(($(date +%s) + settle))
}
# A fresh empty output folder $1, the page cache written back and old deletions aged.
fresh_output() {
  local now
  now=$(date +%s)
  if [ "$now" -lt "$settled_at" ]; then sleep $((settled_at - now)); fi
  mkdir "$1"
  sync
}

names=() commands=() outs=()
add() { names+=("$1"); commands+=("$2"); outs+=("${3:-}"); }
if [ "$reference_only" != 1 ]; then
  add "talvix ls -r --format tsv" "$talvix ls $image --volume 0 -r --format tsv"
fi
add "fls -r -p" "fls -r -p -o $start $image"
if [ "$reference_only" != 1 ]; then
  add "talvix save" "$talvix save $image --volume 0 --out $outdir/ntfs100k.out-talvix" \
    "$outdir/ntfs100k.out-talvix"
fi
add "tsk_recover -a" "tsk_recover -a -o $start $image $outdir/ntfs100k.out-tsk" \
  "$outdir/ntfs100k.out-tsk"

remove_outputs
cat "$image" >/dev/null  # warm the cache
# Round 0, untimed: every command must succeed; it also tells what each one lists or writes.
declare -A counts
for i in "${!commands[@]}"; do
  out=${outs[$i]}
  [ -z "$out" ] || fresh_output "$out"
  if ! ${commands[$i]} >listing.txt 2>errors.txt; then
    echo "ntfs-bench: '${commands[$i]}' failed:" >&2
    head -n5 errors.txt >&2
    exit 1
  fi
  if [ -n "$out" ]; then
    counts[$i]="$(find "$out" -type f | wc -l) files written,"
    counts[$i]+=" $(du -sm --apparent-size "$out" | cut -f1) MiB"
  else
    counts[$i]="$(wc -l <listing.txt) lines"
  fi
  if [ "${names[$i]}" = "fls -r -p" ]; then
    counts[$i]+=", $(grep -c '^[^:]* \* ' listing.txt) of them deleted entries"
  fi
done
rm -f listing.txt errors.txt
remove_outputs

# Rounds take the commands in turn, so that drift of the machine touches all alike.
declare -A times peaks
for _ in $(seq "$runs"); do
  for i in "${!commands[@]}"; do
    [ -z "${outs[$i]}" ] || fresh_output "${outs[$i]}"
    times[$i]+="$(timed measured ${commands[$i]}) "
    peaks[$i]+="$(peak_of_run ${commands[$i]}) "
  done
  remove_outputs
done
rm -f rss.txt

declare -a med peak
for i in "${!commands[@]}"; do
  med[$i]=$(tr ' ' '\n' <<<"${times[$i]}" | grep . | median)
  peak[$i]=$(tr ' ' '\n' <<<"${peaks[$i]}" | grep . | sort -n | tail -n1)
  printf '%-26s median %7.3f s  peak memory %5d MiB  (runs: %s)\n' "${names[$i]}" "${med[$i]}" \
    $((peak[$i] / 1024)) "${times[$i]}"
  printf '%-26s %s\n' "" "${counts[$i]}"
done
if [ "$reference_only" != 1 ]; then
  echo "ratio talvix ls / fls:           time $(ratio "${med[0]}" "${med[1]}")," \
    "peak memory $(ratio "${peak[0]}" "${peak[1]}")"
  echo "ratio talvix save / tsk_recover: time $(ratio "${med[2]}" "${med[3]}")," \
    "peak memory $(ratio "${peak[2]}" "${peak[3]}")"
fi
