#!/bin/sh
# Reader -> writer copy of a pair of large ffmpeg-made WMV files through the WMVCore module,
# against `cat` and `ffmpeg -c copy` of the same files, in one run: wall time and peak memory
# from /usr/bin/time -v.
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

# run LABEL COMMAND: prints the label, wall seconds and peak resident memory.
run() {
    label=$1
    shift
    /usr/bin/time -v sh -c "$*" > /dev/null 2> "$WORK/time.txt" || {
        cat "$WORK/time.txt" >&2
        exit 1
    }
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$WORK/time.txt")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$WORK/time.txt")
    printf '%-22s %10s   %8s KB\n' "$label" "$wall" "$rss"
}

size=$(( $(stat -c %s "$WORK/a.wmv") + $(stat -c %s "$WORK/b.wmv") ))
echo "input: 2 files, $size bytes together"
printf '%-22s %10s   %11s\n' "contender" "wall" "peak RSS"
run "cat" "cat '$WORK/a.wmv' > '$WORK/a.cat' && cat '$WORK/b.wmv' > '$WORK/b.cat'"
run "WMVCore copy" "'$COPY' '$WORK/a.wmv' '$WORK/a.out' && '$COPY' '$WORK/b.wmv' '$WORK/b.out'"
run "ffmpeg -c copy" "ffmpeg -v error -y -i '$WORK/a.wmv' -map 0 -c copy '$WORK/a.ff.wmv' && \
ffmpeg -v error -y -i '$WORK/b.wmv' -map 0 -c copy '$WORK/b.ff.wmv'"

# The copies must be whole: same packet counts as their sources.
for f in a b; do
    for s in v:0 a:0; do
        n_in=$(ffprobe -v error -select_streams $s -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$WORK/$f.wmv")
        n_out=$(ffprobe -v error -select_streams $s -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$WORK/$f.out")
        [ "$n_in" = "$n_out" ] || { echo "$f $s: $n_out packets copied of $n_in" >&2; exit 1; }
    done
done
echo "copies checked: every packet present"
