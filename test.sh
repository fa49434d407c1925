#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   ./test.sh          release build with debug info in build/
#   ./test.sh --asan   AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

build_dir=build
config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--asan" ]; then
  build_dir=build-asan
  config=(-DCMAKE_BUILD_TYPE=Debug -DTABULET_SANITIZE=ON -DCMAKE_CXX_FLAGS=-O1)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1
fi

cmake -S . -B "$build_dir" -G Ninja -DTABULET_WERROR=ON "${config[@]}" >/dev/null
cmake --build "$build_dir"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
