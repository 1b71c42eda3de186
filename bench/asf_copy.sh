#!/bin/sh
# Reader -> writer copy of a pair of large ffmpeg-made WMV files through the WMVCore module,
# against `cat` and `ffmpeg -c copy` of the same files, in one run: wall time and peak memory
# from /usr/bin/time (best of three runs each).
#
#   bench/asf_copy.sh [BUILD_DIR] [SECONDS_OF_MEDIA]
#
# BUILD_DIR holds bin/asfcopy and bin/libWMVCore.so (default: build). SECONDS_OF_MEDIA sets
# the size: wmv2 at 1280x720 and 8 Mbit/s gives about 100 MB per file in 140 s (the default).
set -eu

BUILD=${1:-build}
SECONDS_OF_MEDIA=${2:-140}
COPY="$BUILD/bin/asfcopy"
[ -x "$COPY" ] || { echo "no $COPY: build the asfcopy target first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM

echo "making two ${SECONDS_OF_MEDIA} s WMV files (wmv2 + wmav2) ..."
ffmpeg -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=25" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100" -t "$SECONDS_OF_MEDIA" \
    -c:v wmv2 -b:v 8M -c:a wmav2 -b:a 128k "$WORK/a.wmv"
ffmpeg -v error -y -f lavfi -i "testsrc=size=1280x720:rate=25" \
    -f lavfi -i "sine=frequency=880:sample_rate=44100" -t "$SECONDS_OF_MEDIA" \
    -c:v wmv2 -b:v 8M -c:a wmav2 -b:a 128k "$WORK/b.wmv"
cat "$WORK/a.wmv" "$WORK/b.wmv" > /dev/null  # same page-cache state for every contender

# run LABEL COMMAND: runs the command three times, each after the page cache's dirty data has
# been written out (so one contender's writes do not slow the next), and prints the best wall
# time and the largest peak resident memory.
run() {
    label=$1
    shift
    best=""
    peak=0
    for _ in 1 2 3; do
        rm -f "$WORK"/*.out "$WORK"/*.cat "$WORK"/*.ff.wmv
        sync
        /usr/bin/time -f '%e %M' -o "$WORK/time.txt" sh -c "$*" > /dev/null 2> "$WORK/err.txt" || {
            cat "$WORK/err.txt" >&2
            exit 1
        }
        read -r wall rss < "$WORK/time.txt"
        if [ -z "$best" ] || [ "$(echo "$wall < $best" | bc)" = 1 ]; then best=$wall; fi
        [ "$rss" -gt "$peak" ] && peak=$rss
    done
    printf '%-22s %8s s   %8s KB\n' "$label" "$best" "$peak"
}

size=$(( $(stat -c %s "$WORK/a.wmv") + $(stat -c %s "$WORK/b.wmv") ))
echo "input: 2 files, $size bytes together"
printf '%-22s %10s   %11s\n' "contender" "best wall" "peak RSS"
run "cat" "cat '$WORK/a.wmv' > '$WORK/a.cat' && cat '$WORK/b.wmv' > '$WORK/b.cat'"
run "ffmpeg -c copy" "ffmpeg -v error -y -i '$WORK/a.wmv' -map 0 -c copy '$WORK/a.ff.wmv' && \
ffmpeg -v error -y -i '$WORK/b.wmv' -map 0 -c copy '$WORK/b.ff.wmv'"
run "WMVCore copy" "'$COPY' '$WORK/a.wmv' '$WORK/a.out' && '$COPY' '$WORK/b.wmv' '$WORK/b.out'"

# The copies (the last contender's outputs) must be whole: same packet counts as the sources.
for f in a b; do
    for s in v:0 a:0; do
        n_in=$(ffprobe -v error -select_streams $s -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$WORK/$f.wmv")
        n_out=$(ffprobe -v error -select_streams $s -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$WORK/$f.out")
        [ "$n_in" = "$n_out" ] || { echo "$f $s: $n_out packets copied of $n_in" >&2; exit 1; }
    done
done
echo "copies checked: every packet present"
