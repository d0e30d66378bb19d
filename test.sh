#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; then the same tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages cmake ninja-build g++ libgtest-dev zlib1g-dev xz-utils tar qt6-base-dev sleuthkit

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVIX_TESTS=ON "$@" >/dev/null
  cmake --build "$dir"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
}

echo "== build and tests"
run_suite build
echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
run_suite build-asan -DTALVIX_SANITIZE=ON
