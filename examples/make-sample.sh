#!/usr/bin/env bash
# Makes examples/sample.vmdk, the small disk the demo opens, and examples/sample.md, which
# lists what is on it. The guest disk (64 MiB) has an MBR with an NTFS volume (populated
# through ntfs-3g) and a FAT32 volume (populated with mtools), each with some deleted files.
# Run as root on a development machine (not in CI): it uses a loop device and a FUSE mount.
#
# Needs: qemu-utils fdisk ntfs-3g dosfstools mtools attr sleuthkit openssl
#
# File contents are the same on every run; NTFS times, object ids and the VMDK CID are not,
# so sample.vmdk's checksum changes whenever it is made again.
set -euo pipefail
export LC_ALL=C.UTF-8 TZ=UTC SOURCE_DATE_EPOCH=1704164646  # FAT times: 2024-01-02 03:04:06
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
loop=
cleanup() {
  if mountpoint -q "$work/mnt"; then umount "$work/mnt"; fi
  if [[ -n $loop ]]; then losetup -d "$loop"; fi
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

KiB=1024
MiB=$((1024 * KiB))
NTFS_START=2048 NTFS_SECTORS=57344   # 28 MiB
FAT_START=59392 FAT_SECTORS=71680    # 35 MiB, to the end: FAT32 needs 65525 clusters or more

# gen NAME BYTES: pseudo-random bytes, always the same for the same NAME.
gen() {
  local key
  key=$(printf 'talvix sample %s' "$1" | sha256sum | cut -c1-32)
  head -c "$2" /dev/zero |
    openssl enc -aes-128-ctr -nosalt -K "$key" -iv 00000000000000000000000000000000
}

# Every file that goes on a volume is first made under src/VOLUME/, so its checksum is known.
# note VOLUME PATH STATE: remembers a row for the file table in sample.md.
rows=()
note() {
  local f="src/$1$2"
  rows+=("| $1 | \`$2\` | $(stat -c %s "$f") | \`$(sha256sum <"$f" | cut -c1-64)\` | $3 |")
}
# text VOLUME PATH: a text file that states its own path.
text() {
  mkdir -p "$(dirname "src/$1$2")"
  printf 'This file is %s on the %s volume of sample.vmdk.\n' "$2" "$1" >"src/$1$2"
}
# binary VOLUME PATH BYTES: pseudo-random contents.
binary() {
  mkdir -p "$(dirname "src/$1$2")"
  gen "$2" "$3" >"src/$1$2"
}

truncate -s 64M sample.raw
sfdisk -q sample.raw <<T
label: dos
label-id: 0x5a3b1e07
start=$NTFS_START, size=$NTFS_SECTORS, type=7
start=$FAT_START, size=$FAT_SECTORS, type=c
T

# ---------------------------------------------------------------- NTFS
loop=$(losetup -f --show -o $((NTFS_START * 512)) --sizelimit $((NTFS_SECTORS * 512)) sample.raw)
mkntfs -Q -F -q -c 4096 -p "$NTFS_START" -H 255 -S 63 -L "Sample NTFS" "$loop"
mkdir mnt
mount_ntfs() { ntfs-3g -o streams_interface=windows,compression "$loop" mnt; }
mount_ntfs

V=NTFS
text $V /README.txt
text $V /Documents/letter.txt
text $V /Documents/Reports/2023/summary.txt
binary $V /Documents/Reports/2023/annual-report.bin $((40 * KiB + 17))
binary $V /Pictures/photo-0001.bin $((64 * KiB))
text $V "/Ünïcødé – 日本語/Grüße.txt"
text $V "/Ünïcødé – 日本語/Привет мир.txt"
text $V /deleted-note.txt
binary $V /Pictures/deleted-photo.bin $((24 * KiB + 5))
text $V "/Old Projects/plan.txt"
binary $V "/Old Projects/data.bin" $((16 * KiB))
printf '[ZoneTransfer]\r\nZoneId=3\r\n' >src/letter.Zone.Identifier
mkdir -p src/$V/Compressed
seq -f 'Line %06g of a compressible file on the NTFS volume of sample.vmdk.' 1 1500 \
  >src/$V/Compressed/compressible.txt
# The sparse file: 4 KiB of data, a hole, 8 KiB of data at 640 KiB, a hole up to 1 MiB.
mkdir -p src/$V/Sparse
gen sparse-head 4096 >src/sparse-head
gen sparse-middle 8192 >src/sparse-middle
cp src/sparse-head src/$V/Sparse/sparse.bin
truncate -s $MiB src/$V/Sparse/sparse.bin
dd if=src/sparse-middle of=src/$V/Sparse/sparse.bin bs=4096 seek=160 conv=notrunc status=none
# Two files written a piece at a time, in turns, so that both end up fragmented.
mkdir -p src/$V/Fragmented
for i in 1 2 3 4 5 6; do
  gen "fragmented-a-$i" $((12 * KiB)) >>src/$V/Fragmented/interleaved-a.bin
  gen "fragmented-b-$i" $((12 * KiB)) >>src/$V/Fragmented/interleaved-b.bin
done

(cd src/$V && find . -mindepth 1 -type d | sort | while read -r d; do mkdir -p "$work/mnt/$d"; done)
for f in README.txt Documents/letter.txt Documents/Reports/2023/summary.txt \
  Documents/Reports/2023/annual-report.bin Pictures/photo-0001.bin \
  "Ünïcødé – 日本語/Grüße.txt" "Ünïcødé – 日本語/Привет мир.txt" \
  deleted-note.txt Pictures/deleted-photo.bin "Old Projects/plan.txt" "Old Projects/data.bin"; do
  cp "src/$V/$f" "mnt/$f"
done
cp src/letter.Zone.Identifier "mnt/Documents/letter.txt:Zone.Identifier"
# Files created in a folder marked compressed (0x800) are compressed by ntfs-3g.
setfattr -h -v 0x00000800 -n system.ntfs_attrib_be mnt/Compressed
cp src/$V/Compressed/compressible.txt mnt/Compressed/
# Writing past the end leaves a hole: ntfs-3g makes the file sparse.
cp src/sparse-head mnt/Sparse/sparse.bin
truncate -s $MiB mnt/Sparse/sparse.bin
dd if=src/sparse-middle of=mnt/Sparse/sparse.bin bs=4096 seek=160 conv=notrunc status=none
for i in 1 2 3 4 5 6; do
  for ab in a b; do
    gen "fragmented-$ab-$i" $((12 * KiB)) >>"mnt/Fragmented/interleaved-$ab.bin"
    sync "mnt/Fragmented/interleaved-$ab.bin"
  done
done
sync
umount mnt

# Deleted: the files were written and the volume unmounted first, so their MFT records and
# clusters were on disk before they were freed.
mount_ntfs
rm mnt/deleted-note.txt mnt/Pictures/deleted-photo.bin
rm -r "mnt/Old Projects"
sync
umount mnt
losetup -d "$loop"
loop=

for f in README.txt Documents Documents/letter.txt Documents/Reports Documents/Reports/2023 \
  Documents/Reports/2023/summary.txt Documents/Reports/2023/annual-report.bin Pictures \
  Pictures/photo-0001.bin Compressed Compressed/compressible.txt Sparse Sparse/sparse.bin \
  Fragmented Fragmented/interleaved-a.bin Fragmented/interleaved-b.bin "Ünïcødé – 日本語" \
  "Ünïcødé – 日本語/Grüße.txt" "Ünïcødé – 日本語/Привет мир.txt"; do
  if [[ -d src/$V/$f ]]; then
    rows+=("| $V | \`/$f\` | folder | | |")
  else
    note $V "/$f" ""
  fi
done
ads=src/letter.Zone.Identifier
rows+=("| $V | \`/Documents/letter.txt:Zone.Identifier\` | $(stat -c %s $ads) |\
 \`$(sha256sum <$ads | cut -c1-64)\` | alternate data stream |")
note $V /deleted-note.txt deleted
note $V /Pictures/deleted-photo.bin deleted
rows+=("| $V | \`/Old Projects\` | folder | | deleted |")
note $V "/Old Projects/plan.txt" "deleted (with its folder)"
note $V "/Old Projects/data.bin" "deleted (with its folder)"

# ---------------------------------------------------------------- FAT32
V=FAT32
text $V /README.TXT
text $V "/Meeting notes for March.txt"
text $V "/Documents/Budget 2024 (final).txt"
binary $V /Documents/invoice-0042.bin $((20 * KiB + 3))
binary $V /Photos/holiday-picture-0001.bin $((40 * KiB))
text $V /Photos/Vacation/beach.txt
binary $V /TEMP.DAT $((8 * KiB))
text $V "/Documents/old draft with a long name.txt"
binary $V /Photos/deleted-picture.bin $((12 * KiB + 100))
find src/$V -exec touch -d '2024-01-02 03:04:06' {} +

truncate -s $((FAT_SECTORS * 512)) fat.img
mkfs.vfat --invariant -F 32 -s 1 -h "$FAT_START" -i 5a3b1e07 -n SAMPLEFAT fat.img >/dev/null
export MTOOLS_SKIP_CHECK=1
(cd src/$V && mcopy -s -m -i "$work/fat.img" README.TXT "Meeting notes for March.txt" \
  Documents Photos TEMP.DAT ::/)
mdel -i fat.img ::/TEMP.DAT "::/Documents/old draft with a long name.txt" \
  ::/Photos/deleted-picture.bin
fsck.fat -n fat.img >/dev/null
dd if=fat.img of=sample.raw bs=512 seek="$FAT_START" conv=notrunc,sparse status=none
rm fat.img

for f in README.TXT "Meeting notes for March.txt" Documents "Documents/Budget 2024 (final).txt" \
  Documents/invoice-0042.bin Photos Photos/holiday-picture-0001.bin Photos/Vacation \
  Photos/Vacation/beach.txt; do
  if [[ -d src/$V/$f ]]; then
    rows+=("| $V | \`/$f\` | folder | | |")
  else
    note $V "/$f" ""
  fi
done
note $V /TEMP.DAT deleted
note $V "/Documents/old draft with a long name.txt" deleted
note $V /Photos/deleted-picture.bin deleted

# ---------------------------------------------------------------- checks and the VMDK
mmls sample.raw >mmls.txt
fls -r -p -o "$NTFS_START" sample.raw >fls-ntfs.txt
fls -r -p -o "$FAT_START" sample.raw >fls-fat.txt
cat mmls.txt
for want in "Documents/letter.txt:Zone.Identifier" "* .*deleted-note.txt" "* .*Old Projects/data.bin" \
  "Ünïcødé – 日本語/Grüße.txt"; do
  grep -q -- "$want" fls-ntfs.txt || { echo "NTFS listing lacks $want" >&2; exit 1; }
done
for want in "* .*_EMP.DAT" "* .*old draft with a long name.txt" "Photos/Vacation/beach.txt"; do
  grep -q -- "$want" fls-fat.txt || { echo "FAT32 listing lacks $want" >&2; exit 1; }
done
# inode FILE: the MFT record number of FILE in the NTFS listing.
inode() { grep -F -- ":	$1" fls-ntfs.txt | head -1 | sed -E 's/^[^ ]+ ([*] )?([0-9]+)-.*/\2/'; }
istat -o "$NTFS_START" sample.raw "$(inode Compressed/compressible.txt)" | grep -q 'Compressed' ||
  { echo "compressible.txt is not compressed" >&2; exit 1; }
istat -o "$NTFS_START" sample.raw "$(inode Sparse/sparse.bin)" | grep -q 'Sparse' ||
  { echo "sparse.bin is not sparse" >&2; exit 1; }
# fat_inode FILE: the directory entry number of FILE in the FAT32 listing (a deleted short
# name has lost its first letter).
fat_inode() {
  { grep -F -- ":	$1" fls-fat.txt || grep -F -- ":	_${1:1}" fls-fat.txt; } | head -1 |
    sed -E 's/^[^ ]+ ([*] )?([0-9]+):.*/\2/'
}
# Every file, live or deleted, reads back through sleuthkit as it was written.
for row in "${rows[@]}"; do
  IFS='|' read -r _ vol path _ sum _ _ <<<"$row"
  vol=${vol// /} path=${path#*\`/} path=${path%\`*} sum=${sum//[\` ]/}
  [[ -n $sum && $path != *:* ]] || continue
  if [[ $vol == NTFS ]]; then
    got=$(icat -r -o "$NTFS_START" sample.raw "$(inode "$path")" | sha256sum | cut -c1-64)
  else
    got=$(icat -r -o "$FAT_START" sample.raw "$(fat_inode "$path")" | sha256sum | cut -c1-64)
  fi
  [[ $got == "$sum" ]] || { echo "$vol $path reads back wrong" >&2; exit 1; }
done
checked_ads=$(icat -o "$NTFS_START" sample.raw "$(inode Documents/letter.txt)-128-4" | sha256sum)
[[ $checked_ads == "$(sha256sum <src/letter.Zone.Identifier)" ]] ||
  { echo "the alternate data stream reads back wrong" >&2; exit 1; }
runs() { istat -o "$NTFS_START" sample.raw "$(inode "$1")" | awk '/^Type: \$DATA/{d=1; next} d' |
  tr -s ' \n' '\n\n' | grep -E '^[0-9]+$' | awk 'NR>1 && $1!=p+1{n++} {p=$1} END{print n+1}'; }
frag_a=$(runs Fragmented/interleaved-a.bin)
frag_b=$(runs Fragmented/interleaved-b.bin)
(( frag_a > 1 && frag_b > 1 )) || { echo "the interleaved files are not fragmented" >&2; exit 1; }

rm -f "$here/sample.vmdk"
qemu-img convert -f raw -O vmdk -o subformat=monolithicSparse sample.raw "$here/sample.vmdk"
subformat=monolithicSparse
if (($(stat -c %s "$here/sample.vmdk") > 4 * MiB)); then
  qemu-img convert -f raw -O vmdk -o subformat=streamOptimized sample.raw "$here/sample.vmdk"
  subformat=streamOptimized
fi
qemu-img compare -f raw -F vmdk sample.raw "$here/sample.vmdk"
raw_sha=$(sha256sum <sample.raw | cut -c1-64)

cat >"$here/sample.md" <<EOF
# The sample disk

\`sample.vmdk\` ($(stat -c %s "$here/sample.vmdk") bytes) is a $subformat VMDK made by \`qemu-img\` from a
64 MiB guest disk (67108864 bytes, 131072 sectors; sha256 of the raw disk \`$raw_sha\`).
\`make-sample.sh\` made it. It shows the program's features on two volumes, each with live and
deleted files whose contents are known: text files state their own path, \`.bin\` files are
pseudo-random.

## Partition table

MBR, disk id 0x5a3b1e07:

| # | type | start sector | sectors | volume |
| --- | --- | --- | --- | --- |
| 1 | 0x07 | $NTFS_START | $NTFS_SECTORS | NTFS, label "Sample NTFS", 4096-byte clusters, made by mkntfs, written through ntfs-3g |
| 2 | 0x0c | $FAT_START | $FAT_SECTORS | FAT32, label SAMPLEFAT, 512-byte clusters, made by mkfs.vfat, written with mtools |

\`mmls sample.raw\`:

\`\`\`
$(cat mmls.txt)
\`\`\`

## Files

Sizes in bytes; sha256 of the contents.

| volume | path | size | sha256 | notes |
| --- | --- | --- | --- | --- |
$(printf '%s\n' "${rows[@]}")

NTFS details:

- \`/README.txt\`, \`/Documents/letter.txt\`, \`summary.txt\` and the files under
  \`/Ünïcødé – 日本語\` are small enough to be resident in their MFT records; the \`.bin\` files
  and \`compressible.txt\` are not.
- \`/Documents/letter.txt\` has an alternate data stream named \`Zone.Identifier\`.
- \`/Compressed\` carries the compressed attribute, and \`/Compressed/compressible.txt\` is
  stored compressed.
- \`/Sparse/sparse.bin\` is sparse: 4096 bytes of data, a hole, 8192 bytes of data at offset
  655360, and a hole up to 1 MiB. Its initialized size (663552) ends after the second piece
  of data; 3 clusters are allocated.
- \`/Fragmented/interleaved-a.bin\` and \`interleaved-b.bin\` were written 12 KiB at a time in
  turns, so \`interleaved-a.bin\` lies in $frag_a pieces and \`interleaved-b.bin\` in $frag_b.
- Deleted: \`/deleted-note.txt\` (resident), \`/Pictures/deleted-photo.bin\` (non-resident)
  and the folder \`/Old Projects\` with both its files. They were written and the volume
  unmounted before they were removed, so their MFT records remain as free records and their
  clusters still hold their contents: \`icat -r\` gives back the checksums above.
- MFT records 16 to 23 are reserved records that mkntfs leaves unused; sleuthkit lists them
  as orphan files.

FAT32 details: the deleted files were removed with \`mdel\`: their directory entries (and
long-name entries) start with 0xE5 and their cluster chains are free, but their clusters still
hold their contents, and each lies in consecutive clusters (\`icat -r\` gives back the
checksums above). sleuthkit shows the deleted short name \`TEMP.DAT\` as \`_EMP.DAT\`: its
first byte is now 0xE5.

## sleuthkit listings

\`fls -r -p -o $NTFS_START sample.raw\` (NTFS):

\`\`\`
$(cat fls-ntfs.txt)
\`\`\`

\`fls -r -p -o $FAT_START sample.raw\` (FAT32):

\`\`\`
$(cat fls-fat.txt)
\`\`\`
EOF
echo "written: $here/sample.vmdk ($(stat -c %s "$here/sample.vmdk") bytes, $subformat)"
