#!/bin/sh
# The Real Media join (kjoin join, through the rmto3260 module) of a pair of large RealMedia
# files, against `cat` of the same two files and ffmpeg's concat demuxer with stream copy, in one
# run: wall time and peak memory. Each contender's time includes `sync`, so it counts until its
# output is on the disk, and each runs three times onto a new output file; as root, three more
# times with the page cache dropped before each run, so the inputs are read from the disk.
#
#   bench/rm_join.sh [BUILD_DIR] [SECONDS_OF_MEDIA]
#
# BUILD_DIR holds bin/kjoin and bin/producer/tools/librmto3260.so (default: build).
# SECONDS_OF_MEDIA sets the size of each file: 128 s gives about 100 MB each. Run it twice with
# different sizes to see that peak memory does not grow with the files.
set -eu

BUILD=${1:-build}
SECONDS_OF_MEDIA=${2:-128}
KJOIN="$BUILD/bin/kjoin"
[ -x "$KJOIN" ] || { echo "no $KJOIN: build first" >&2; exit 1; }
[ -f "$BUILD/bin/producer/tools/librmto3260.so" ] || { echo "no rmto3260 module in $BUILD" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
. "$(dirname "$0")/common.sh"

# make_rm OUT PICTURE FREQUENCY SECONDS: rv20 + ac3 at 720x576 and 6 Mbit/s (about 100 MB for
# 128 s); ffmpeg's muxer takes no frame above 64 KiB, hence the tight rate control. PICTURE is a
# filter chain after testsrc2 (the plain test card is too simple to fill the rate).
make_rm() {
    ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=720x576:rate=25$2" \
        -f lavfi -i "sine=frequency=$3:sample_rate=44100" -t "$4" \
        -c:v rv20 -b:v 6M -maxrate 7M -bufsize 1M -g 50 -c:a ac3 -b:a 192k "$1"
}

echo "making two ${SECONDS_OF_MEDIA} s RealMedia files (rv20 + ac3, 720x576, 6 Mbit/s) ..."
make_rm "$WORK/a.rm" "" 440 "$SECONDS_OF_MEDIA"
make_rm "$WORK/b.rm" ",hflip" 880 "$SECONDS_OF_MEDIA"
printf "file '%s'\nfile '%s'\n" "$WORK/a.rm" "$WORK/b.rm" > "$WORK/list.txt"
cat "$WORK/a.rm" "$WORK/b.rm" > /dev/null  # the same page-cache state for every contender

size=$(( $(stat -c %s "$WORK/a.rm") + $(stat -c %s "$WORK/b.rm") ))
echo "input: 2 files, $size bytes together"
printf '%-24s %10s   %11s\n' "contender" "wall" "peak RSS"
# three_rounds PREPARE: each contender three times, each run after PREPARE ("sync", or
# "drop_page_cache" to read the inputs from the disk). Every contender writes a new file: the
# outputs of the round before are removed (untimed), since replacing an existing file of 100 MB
# costs ext4 a flush that a new file does not.
three_rounds() {
    for round in 1 2 3; do
        rm -f "$WORK/cat.out" "$WORK/kjoin.rm" "$WORK/ffmpeg.rm"
        $1
        run "cat a b > out" "cat '$WORK/a.rm' '$WORK/b.rm' > '$WORK/cat.out'; sync"
        $1
        run "kjoin join" "'$KJOIN' join -y -o '$WORK/kjoin.rm' '$WORK/a.rm' '$WORK/b.rm'; sync"
        $1
        run "ffmpeg concat -c copy" "ffmpeg -nostdin -v error -y -f concat -safe 0 \
-i '$WORK/list.txt' -map 0 -c copy '$WORK/ffmpeg.rm'; sync"
    done
}
three_rounds sync
if can_drop_page_cache; then
    echo "-- from the disk: the page cache dropped before each run"
    three_rounds drop_page_cache
fi

# The join must be whole: every packet of both inputs, and an index.
for s in v:0 a:0; do
    want=$(( $(packets "$WORK/a.rm" $s) + $(packets "$WORK/b.rm" $s) ))
    got=$(packets "$WORK/kjoin.rm" $s)
    [ "$want" = "$got" ] || { echo "kjoin join $s: $got packets of $want" >&2; exit 1; }
done
grep -qa INDX "$WORK/kjoin.rm" || { echo "kjoin join: no index" >&2; exit 1; }
echo "join checked: every packet present; output $(stat -c %s "$WORK/kjoin.rm") bytes"
