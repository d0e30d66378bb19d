#!/usr/bin/env bash
# Builds and starts the product: the wizard where a display is available, otherwise the
# command-line demo on the bundled sample disk.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages cmake ninja-build g++ libgtest-dev zlib1g-dev qt6-base-dev

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVIX_TESTS=ON >/dev/null
cmake --build build --target talvix talvix-recovery
talvix=build/src/cli/talvix
sample=examples/sample.vmdk

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  echo "Starting the wizard; choose $sample (or any VMDK, VHD or VDI file) with \"...\"."
  exec build/src/gui/wizard/talvix-recovery
fi
echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the wizard cannot start here."
echo "Running the command-line demo on $sample instead."
echo

echo "\$ talvix info $sample"
"$talvix" info "$sample"
echo
echo "\$ talvix volumes $sample"
"$talvix" volumes "$sample"
image=$(mktemp --suffix=.img)
trap 'rm -f "$image"' EXIT
echo
echo "\$ talvix export $sample $image"
"$talvix" export "$sample" "$image"
echo "exported $(stat -c %s "$image") bytes, the whole guest disk; examples/sample.md lists its files"
echo
echo "\$ talvix ls $sample --volume 0 -r"
"$talvix" ls "$sample" --volume 0 -r
out=$(mktemp -d)
trap 'rm -f "$image"; rm -rf "$out"' EXIT
echo
echo "\$ talvix save $sample --volume 0 --path Documents --out $out"
"$talvix" save "$sample" --volume 0 --path Documents --out "$out"
(cd "$out" && find . -type f | sort)
echo
echo "\$ talvix search $sample --volume 0 'txt\$'"
"$talvix" search "$sample" --volume 0 'txt$'

