#!/bin/sh
# The MPEG copy join (kjoin, through the pack copier) against `cat` and ffmpeg's concat demuxer
# with stream copy, in one run on the same two DVD-style files (MPEG-2 with AC-3, open GOPs,
# navigation packs, `ffmpeg -target pal-dvd`), every contender's output synced as ours is; and
# the probe of one of them with a warm cache.
#
#   bench/mpeg_copy.sh [BUILD_DIR] [SECONDS] [ROUNDS]
#
# SECONDS sets the length of each input (60 s at 9.8 Mbit/s: about 75 MB); ROUNDS the runs of
# each contender, taken in turn (default 5); the median is reported. Memory: the join of inputs
# four times as long is run once more, and its peak RSS shown beside the first.
set -eu

BUILD=${1:-build}
SECONDS_EACH=${2:-60}
ROUNDS=${3:-5}
KJOIN="$BUILD/bin/kjoin"
[ -x "$KJOIN" ] || { echo "no $KJOIN: build the kjoin and zivuvore targets first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
. "$(dirname "$0")/common.sh"

dvd() {
    # (noise, so that the video fills its bit rate as a film does)
    ffmpeg -nostdin -v error -y -f lavfi -i "$2=size=720x576:rate=25" \
        -f lavfi -i "sine=frequency=$3:sample_rate=48000" -t "$4" -vf noise=alls=12:allf=t \
        -target pal-dvd -b:v 9000k -maxrate 9000k "$1"
}
echo "making two DVD-style inputs of ${SECONDS_EACH} s ..."
dvd "$WORK/a.vob" testsrc2 440 "$SECONDS_EACH"
dvd "$WORK/b.vob" testsrc2 880 "$SECONDS_EACH"
printf "file '%s'\nfile '%s'\n" "$WORK/a.vob" "$WORK/b.vob" > "$WORK/list.txt"
echo "inputs: $(stat -c %s "$WORK/a.vob") + $(stat -c %s "$WORK/b.vob") bytes"
cat "$WORK"/*.vob > /dev/null

command_of() {
    case $1 in
        cat) echo "cat '$WORK/a.vob' '$WORK/b.vob' > '$WORK/cat.out'" ;;
        kjoin) echo "'$KJOIN' join -y -o '$WORK/kjoin.vob' '$WORK/a.vob' '$WORK/b.vob'" ;;
        ffmpeg) echo "ffmpeg -nostdin -v error -y -f concat -safe 0 -i '$WORK/list.txt' -c copy \
-f dvd '$WORK/ffmpeg.vob'" ;;
    esac
}

: > "$WORK/runs.txt"
for round in $(seq "$ROUNDS"); do
    for c in cat kjoin ffmpeg; do
        sync
        echo "$c $(timed "$(command_of "$c"); sync")" >> "$WORK/runs.txt"
    done
done
echo "copy join, sync in each run: median of $ROUNDS runs (wall ms, peak RSS KB)"
for c in cat kjoin ffmpeg; do
    wall=$(awk -v c="$c" '$1 == c { print $2 }' "$WORK/runs.txt" | median)
    rss=$(awk -v c="$c" '$1 == c { print $3 }' "$WORK/runs.txt" | sort -n | tail -1)
    eval "wall_$c=$wall"
    printf '  %-8s %7s ms %9s KB\n' "$c" "$wall" "$rss"
done
echo "  kjoin / cat = $(ratio "$wall_kjoin" "$wall_cat"), kjoin / ffmpeg = $(ratio "$wall_kjoin" "$wall_ffmpeg")"

# The probe of one input, warm: what adding the file to the list costs.
: > "$WORK/probe.txt"
for round in $(seq 9); do
    echo "$(timed "'$KJOIN' probe '$WORK/a.vob'")" >> "$WORK/probe.txt"
done
echo "probe of a.vob ($(stat -c %s "$WORK/a.vob") bytes), warm: median of 9 runs:" \
    "$(awk '{ print $1 }' "$WORK/probe.txt" | median) ms"

# Memory flat in file size: inputs four times as large (the four files one after another: its
# clock starts again three times, which the scan and the copy take in their stride).
cat "$WORK/a.vob" "$WORK/b.vob" "$WORK/a.vob" "$WORK/b.vob" > "$WORK/d.vob"
big=$(timed "'$KJOIN' join -y -o '$WORK/big.vob' '$WORK/d.vob' '$WORK/d.vob'; sync")
echo "memory: inputs of $(stat -c %s "$WORK/d.vob") bytes each: peak RSS ${big#* } KB"
rm -f "$WORK/big.vob" "$WORK/d.vob"

# The join must be whole and clean.
count() {
    ffprobe -v error -select_streams "$2" -count_packets -show_entries stream=nb_read_packets \
        -of default=nw=1:nk=1 "$1"
}
want=$(( $(count "$WORK/a.vob" v:0) + $(count "$WORK/b.vob" v:0) ))
got=$(count "$WORK/kjoin.vob" v:0)
[ "$want" = "$got" ] || { echo "kjoin: $got video packets of $want" >&2; exit 1; }
# (ffmpeg's own DVD files make its decoder complain of AC-3 times now and then: the join may
# say what its inputs say, and nothing more.)
lines() { ffmpeg -nostdin -v error -i "$1" -f null - 2>&1 | wc -l; }
errors=$(lines "$WORK/kjoin.vob")
inputs=$(( $(lines "$WORK/a.vob") + $(lines "$WORK/b.vob") ))
[ "$errors" -le "$inputs" ] || { echo "kjoin.vob decodes with $errors error lines" >&2; exit 1; }
echo "join checked: every video packet ($got); decode: $errors error lines, inputs $inputs"
echo "sizes: kjoin $(stat -c %s "$WORK/kjoin.vob"), ffmpeg $(stat -c %s "$WORK/ffmpeg.vob"), cat $(stat -c %s "$WORK/cat.out") bytes"
