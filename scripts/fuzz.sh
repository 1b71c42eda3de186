#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs every one of them for a short,
# bounded time from its seeds in fuzz/seeds/<target>/, as many at once as there are cores. Any
# finding (crash, sanitizer report, leak, timeout, running out of memory) fails the run; the input
# that caused it is kept in build-fuzz/findings/. The targets are whatever executables of the build
# define LLVMFuzzerTestOneInput, so new ones are run without a change here.
#   FUZZ_SECONDS   how long each target runs (default 60)
#   FUZZ_JOBS      how many run at once (default: the number of cores)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-$(nproc)}
build=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DKJ_FUZZ=ON -DKJ_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzzers

targets=()
for binary in "$build"/bin/*; do
  if [ -f "$binary" ] && [ -x "$binary" ] &&
     nm --defined-only "$binary" 2>/dev/null | grep -w LLVMFuzzerTestOneInput >/dev/null; then
    targets+=("$(basename "$binary")")
  fi
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: the build made no fuzz target" >&2
  exit 1
fi
for target in "${targets[@]}"; do
  if ! compgen -G "fuzz/seeds/$target/*" >/dev/null; then
    echo "fuzz.sh: $target has no seeds in fuzz/seeds/$target/" >&2
    exit 1
  fi
done
echo "fuzz.sh: ${#targets[@]} targets, ${seconds} s each, $jobs at a time: ${targets[*]}"

rm -rf "$build/findings" "$build/fuzz-logs"
mkdir -p "$build/findings" "$build/fuzz-logs"

# One target: a fresh working corpus (new inputs go there, the seeds stay as committed), a
# ten-second limit per input, halt on the first report of either sanitizer.
run_target() {
  local target=$1 seconds=$2 build=$3
  local corpus="$build/fuzz-corpus/$target"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  if ASAN_OPTIONS=detect_leaks=1 \
     UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
     "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
       "$corpus" "fuzz/seeds/$target" >"$build/fuzz-logs/$target.log" 2>&1; then
    echo "ok: $target ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' \
      "$build/fuzz-logs/$target.log" | grep -o '[0-9]*$') runs, corpus $(ls "$corpus" | wc -l) new)"
  else
    echo "FINDING: $target (log below, input in $build/findings/)"
    tail -n 60 "$build/fuzz-logs/$target.log"
    touch "$build/fuzz-logs/$target.failed"
    return 1
  fi
}
export -f run_target

status=0
printf '%s\n' "${targets[@]}" |
  xargs -P "$jobs" -I{} bash -c 'run_target "$1" "$2" "$3"' _ {} "$seconds" "$build" || status=1

failed=$(find "$build/fuzz-logs" -name '*.failed' | wc -l)
echo "fuzz: $((${#targets[@]} - failed)) passed, $failed failed"
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
  echo "fuzz.sh: the fuzz runs ended abnormally (see $build/fuzz-logs/)" >&2
fi
exit "$status"
