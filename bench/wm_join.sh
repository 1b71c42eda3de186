#!/bin/sh
# The Windows Media join (kjoin join) of a pair of large WMV files, against `cat` of the same
# two files and ffmpeg's concat demuxer with stream copy, in one run: wall time and peak memory.
# Each contender's time includes `sync`, so it counts until its output is on the disk, and each
# runs three times (the page cache written out before every run).
#
#   bench/wm_join.sh [BUILD_DIR] [SECONDS_OF_MEDIA]
#
# BUILD_DIR holds bin/kjoin and its modules (default: build). SECONDS_OF_MEDIA sets the size of
# each file: 140 s gives about 100 MB each. Run it twice with different sizes to see that peak
# memory does not grow with the files.
set -eu

BUILD=${1:-build}
SECONDS_OF_MEDIA=${2:-140}
KJOIN="$BUILD/bin/kjoin"
[ -x "$KJOIN" ] || { echo "no $KJOIN: build first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
. "$(dirname "$0")/common.sh"

echo "making two ${SECONDS_OF_MEDIA} s WMV files (wmv2 + wmav2, 1280x720, 8 Mbit/s) ..."
make_wmv "$WORK/a.wmv" testsrc2 440 "$SECONDS_OF_MEDIA"
make_wmv "$WORK/b.wmv" testsrc 880 "$SECONDS_OF_MEDIA"
printf "file '%s'\nfile '%s'\n" "$WORK/a.wmv" "$WORK/b.wmv" > "$WORK/list.txt"
cat "$WORK/a.wmv" "$WORK/b.wmv" > /dev/null  # the same page-cache state for every contender

size=$(( $(stat -c %s "$WORK/a.wmv") + $(stat -c %s "$WORK/b.wmv") ))
echo "input: 2 files, $size bytes together"
printf '%-24s %10s   %11s\n' "contender" "wall" "peak RSS"
for round in 1 2 3; do
    sync
    run "cat a b > out" "cat '$WORK/a.wmv' '$WORK/b.wmv' > '$WORK/cat.out'; sync"
    sync
    run "kjoin join" "'$KJOIN' join -y -o '$WORK/kjoin.wmv' '$WORK/a.wmv' '$WORK/b.wmv'; sync"
    sync
    run "ffmpeg concat -c copy" "ffmpeg -nostdin -v error -y -f concat -safe 0 \
-i '$WORK/list.txt' -map 0 -c copy '$WORK/ffmpeg.wmv'; sync"
done

# The join must be whole: every packet of both inputs.
for s in v:0 a:0; do
    want=$(( $(packets "$WORK/a.wmv" $s) + $(packets "$WORK/b.wmv" $s) ))
    got=$(packets "$WORK/kjoin.wmv" $s)
    [ "$want" = "$got" ] || { echo "kjoin join $s: $got packets of $want" >&2; exit 1; }
done
echo "join checked: every packet present; output $(stat -c %s "$WORK/kjoin.wmv") bytes"
