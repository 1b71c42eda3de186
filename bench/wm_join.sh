#!/bin/sh
# The Windows Media join (kjoin join) of a pair of large WMV files, against `cat` of the same
# two files and ffmpeg's concat demuxer with stream copy, in one run: wall time, peak memory and
# the ratios between them.
#
#   bench/wm_join.sh [BUILD_DIR] [SECONDS_OF_MEDIA] [ROUNDS]
#
# BUILD_DIR holds bin/kjoin and its modules (default: build). SECONDS_OF_MEDIA sets the size of
# each file: 140 s gives about 100 MB to 140 MB each. Two measurements, both with every output
# removed before each run and the contenders taking turns in an order that rotates per round:
#   - page cache: no `sync` anywhere; the median of ROUNDS runs (default 9) of each contender.
#     This is the cost of the program itself.
#   - on disk: each run starts after `sync` and its time includes a `sync`, so it counts until
#     its output is on the disk; the median of 3 runs.
#   - from the disk (as root): the same, with the page cache dropped before each run, so the
#     inputs are read from the disk as they are the first time a user joins them.
# KJ_BENCH_MEDIA=DIR keeps the two inputs in DIR and reuses them on the next run. Run it with two
# sizes to see that peak memory does not grow with the files.
set -eu

BUILD=${1:-build}
SECONDS_OF_MEDIA=${2:-140}
ROUNDS=${3:-9}
KJOIN="$BUILD/bin/kjoin"
[ -x "$KJOIN" ] || { echo "no $KJOIN: build first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
. "$(dirname "$0")/common.sh"

MEDIA=${KJ_BENCH_MEDIA:-$WORK}
mkdir -p "$MEDIA"
A="$MEDIA/a_$SECONDS_OF_MEDIA.wmv"
B="$MEDIA/b_$SECONDS_OF_MEDIA.wmv"
if [ ! -s "$A" ] || [ ! -s "$B" ]; then
    echo "making two ${SECONDS_OF_MEDIA} s WMV files (wmv2 + wmav2, 1280x720, 8 Mbit/s) ..."
    make_wmv "$A" testsrc2 440 "$SECONDS_OF_MEDIA"
    make_wmv "$B" testsrc 880 "$SECONDS_OF_MEDIA"
fi
printf "file '%s'\nfile '%s'\n" "$A" "$B" > "$WORK/list.txt"

# The three contenders, by number; each writes its own output.
label() {
    case $1 in
        0) echo "cat a b > out" ;;
        1) echo "kjoin join" ;;
        2) echo "ffmpeg concat -c copy" ;;
    esac
}
output() {
    case $1 in
        0) echo "$WORK/cat.out" ;;
        1) echo "$WORK/kjoin.wmv" ;;
        2) echo "$WORK/ffmpeg.wmv" ;;
    esac
}
command_of() {
    case $1 in
        0) echo "cat '$A' '$B' > '$WORK/cat.out'" ;;
        1) echo "'$KJOIN' join -y -o '$WORK/kjoin.wmv' '$A' '$B'" ;;
        2) echo "ffmpeg -nostdin -v error -y -f concat -safe 0 -i '$WORK/list.txt' -map 0 -c copy \
'$WORK/ffmpeg.wmv'" ;;
    esac
}

# measure SYNC ROUNDS: appends "CONTENDER WALL_MS RSS_KB" lines to $WORK/SYNC.txt.
measure() {
    mode=$1
    : > "$WORK/$mode.txt"
    round=0
    while [ "$round" -lt "$2" ]; do
        for k in 0 1 2; do
            c=$(( (k + round) % 3 ))
            rm -f "$(output "$c")"
            if [ "$mode" = sync ]; then
                sync
                line=$(timed "$(command_of "$c"); sync")
            elif [ "$mode" = cold ]; then
                drop_page_cache
                line=$(timed "$(command_of "$c"); sync")
            else
                line=$(timed "$(command_of "$c")")
            fi
            echo "$c $line" >> "$WORK/$mode.txt"
        done
        round=$(( round + 1 ))
    done
}

# report SYNC: the median wall time and the largest peak memory of each contender, and ratios.
report() {
    for c in 0 1 2; do
        wall=$(awk -v c="$c" '$1 == c { print $2 }' "$WORK/$1.txt" | median)
        rss=$(awk -v c="$c" '$1 == c && $3 > m { m = $3 } END { print m }' "$WORK/$1.txt")
        eval "wall$c=$wall"
        printf '  %-24s %8s ms   %8s KB\n' "$(label "$c")" "$wall" "$rss"
    done
    echo "  kjoin / cat    $(ratio "$wall1" "$wall0")"
    echo "  kjoin / ffmpeg $(ratio "$wall1" "$wall2")"
    echo "  ffmpeg / cat   $(ratio "$wall2" "$wall0")"
}

size=$(( $(stat -c %s "$A") + $(stat -c %s "$B") ))
echo "input: 2 files, $size bytes together"
cat "$A" "$B" > /dev/null  # the same warm page cache for every contender
measure nosync "$ROUNDS"
echo "page cache, no sync: median of $ROUNDS runs (wall, peak RSS)"
report nosync
measure sync 3
echo "on disk, sync before and in each run: median of 3 runs"
report sync
if can_drop_page_cache; then
    measure cold 3
    echo "from the disk, the page cache dropped before each run, sync in it: median of 3 runs"
    report cold
else
    echo "from the disk: not measured (dropping the page cache needs root)"
fi

# The join must be whole: every packet of both inputs.
for s in v:0 a:0; do
    want=$(( $(packets "$A" $s) + $(packets "$B" $s) ))
    got=$(packets "$WORK/kjoin.wmv" $s)
    [ "$want" = "$got" ] || { echo "kjoin join $s: $got packets of $want" >&2; exit 1; }
done
echo "join checked: every packet present; output $(stat -c %s "$WORK/kjoin.wmv") bytes"
