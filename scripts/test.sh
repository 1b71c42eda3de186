#!/usr/bin/env bash
# Builds and runs every test, as root on a fresh Debian 12 machine (the dependencies are installed
# first when any is missing). With --sanitize, the same tests run again in a second build with
# AddressSanitizer and UndefinedBehaviorSanitizer; --sanitize-only runs that second build alone.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

run_suite() {
  local dir=$1
  shift
  BUILD_DIR=$dir bash scripts/build.sh "$@"
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 600
}

run_sanitized_suite() {
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite build-asan -DKJ_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
}

case "${1:-}" in
  "") run_suite build ;;
  --sanitize)
    run_suite build
    run_sanitized_suite
    ;;
  --sanitize-only) run_sanitized_suite ;;
  *) echo "usage: scripts/test.sh [--sanitize | --sanitize-only]" >&2; exit 2 ;;
esac
