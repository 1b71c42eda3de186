#!/usr/bin/env bash
# Everything for a fresh Debian 12 machine, as root: install the dependencies, build, start the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/kjoiner
fi
echo "Built. No display is attached, so Kelvane Joiner starts on a virtual screen (xvfb-run);"
echo "press Ctrl+C to end it. On a desktop, start it with: build/bin/kjoiner"
exec xvfb-run -a build/bin/kjoiner
