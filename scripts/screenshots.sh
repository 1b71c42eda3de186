#!/usr/bin/env bash
# Takes the README's screenshots of the main window under Xvfb, at 1x and 2x scale, into docs/:
# four files of a holiday with their pictures, the last one cut short (a download that stopped),
# the second selected, and the line of totals; then the window during a join.
#   bash scripts/screenshots.sh            (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BUILD_DIR:-build}/bin
[ -x "$bin/kj-screenshots" ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }
for tool in xvfb-run ffmpeg; do
    command -v "$tool" >/dev/null || { echo "$tool is needed (scripts/install-deps.sh)" >&2; exit 1; }
done

media=$(mktemp -d /tmp/kj-screenshots.XXXXXX)
trap 'rm -rf "$media"' EXIT
# Four clips that look different from each other, so the pictures tell them apart.
sources=("testsrc2=size=320x240:rate=20" "smptebars=size=320x240:rate=20"
         "mandelbrot=size=320x240:rate=20" "life=size=320x240:rate=20:mold=10:ratio=0.1")
seconds=(6 4 5 6)
for day in 1 2 3 4; do
    ffmpeg -v error -y -f lavfi -i "${sources[$((day - 1))]}" -f lavfi -i "sine=f=$((220 * day))" \
        -t "${seconds[$((day - 1))]}" -c:v wmv2 -b:v 400k -c:a wmav2 -b:a 64k \
        "$media/Holiday - Day $day.wmv"
done
# Day 4 as a download that stopped at 60 %.
size=$(stat -c %s "$media/Holiday - Day 4.wmv")
head -c $((size * 60 / 100)) "$media/Holiday - Day 4.wmv" > "$media/Holiday - Day 4 (part).wmv"
rm "$media/Holiday - Day 4.wmv"

files=("$media/Holiday - Day 1.wmv" "$media/Holiday - Day 2.wmv" "$media/Holiday - Day 3.wmv"
       "$media/Holiday - Day 4 (part).wmv")
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1600x1200x24" "$bin/kj-screenshots" docs "" "${files[@]}"
QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 2000x1400x24" \
    "$bin/kj-screenshots" docs "@2x" "${files[@]}"
ls -l docs/main-window*.png
