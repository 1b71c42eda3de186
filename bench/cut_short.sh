#!/bin/sh
# The probe of a file cut short: kjoin probe of a 100 MB file of each kind cut at 30 %, which
# prints its "cut short" line, against `cat` of the same file and ffprobe reading its streams, in
# one run (median wall time of five runs, the file in the page cache). WMV/ASF and Real Media
# files are probed from their headers and the judge reads their head and tail; AVI and MPEG
# files are also scanned by the conversion module, as adding them to the list does.
#
#   bench/cut_short.sh [BUILD_DIR]
set -eu

BUILD=${1:-build}
KJOIN="$BUILD/bin/kjoin"
[ -x "$KJOIN" ] || { echo "no $KJOIN: build first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
. "$(dirname "$0")/common.sh"

echo "making 100 MB files (noise keeps the frames large) and cutting them at 30 % ..."
src="-f lavfi -i testsrc=size=640x480:rate=25,noise=alls=60:allf=t -f lavfi -i sine=r=44100"
ffmpeg -nostdin -v error -y $src -t 40 -c:v wmv2 -b:v 20M -c:a wmav2 "$WORK/full.wmv"
ffmpeg -nostdin -v error -y $src -t 40 -c:v mpeg4 -b:v 20M -c:a libmp3lame "$WORK/full.avi"
ffmpeg -nostdin -v error -y $src -t 40 -c:v mpeg1video -b:v 20M -maxrate 20M -bufsize 2M \
    -c:a mp2 -f mpeg "$WORK/full.mpg"
# RealMedia packets stay under 64 KB: a smaller picture, a longer file.
ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25,noise=alls=60:allf=t \
    -f lavfi -i sine=r=44100 -t 160 -c:v rv20 -b:v 5M -c:a ac3 "$WORK/full.rm"

printf '%-6s %10s  %-48s %8s %8s %8s\n' kind size "kjoin probe says" kjoin cat ffprobe
for kind in wmv rm avi mpg; do
    size=$(stat -c %s "$WORK/full.$kind")
    head -c $((size * 30 / 100)) "$WORK/full.$kind" > "$WORK/cut.$kind"
    cat "$WORK/cut.$kind" > /dev/null
    said=$("$KJOIN" probe "$WORK/cut.$kind" 2>/dev/null | sed -n 's/^  \(cut short.*\)/\1/p')
    k=$(for i in 1 2 3 4 5; do timed "$KJOIN probe $WORK/cut.$kind"; done | cut -d' ' -f1 | median)
    c=$(for i in 1 2 3 4 5; do timed "cat $WORK/cut.$kind"; done | cut -d' ' -f1 | median)
    f=$(for i in 1 2 3 4 5; do timed "ffprobe -v error -show_streams $WORK/cut.$kind"; done |
        cut -d' ' -f1 | median)
    printf '%-6s %10s  %-48s %6s ms %5s ms %5s ms\n' "$kind" "$(stat -c %s "$WORK/cut.$kind")" \
        "${said:-(none)}" "$k" "$c" "$f"
done
