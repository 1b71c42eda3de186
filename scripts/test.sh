#!/usr/bin/env bash
# Builds and runs every test, as root on a fresh Debian 12 machine (the dependencies are installed
# first when any is missing). With --sanitize, the same tests run again in a second build with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

run_suite() {
  local dir=$1
  shift
  BUILD_DIR=$dir bash scripts/build.sh "$@"
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 600
}

run_suite build
if [ "${1:-}" = "--sanitize" ]; then
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite build-asan -DKJ_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
fi
