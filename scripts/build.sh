#!/usr/bin/env bash
# Configures and builds Kelvane Joiner into build/ (or the folder given as BUILD_DIR).
# Extra arguments go to cmake's configure step, e.g. -DKJ_SANITIZE=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja "$@"
cmake --build "$build_dir" -j"$(nproc)"
