#!/bin/sh
# A Windows Media list with one odd file among alike ones, joined in one run by:
#  - kjoin as it is: the alike files' packets copied, the odd one encoded so that it decodes
#    under the first file's headers;
#  - the `ffmpeg` command encoding the whole list to the first file's format (WMV 8 at its size,
#    rate and bit rate, WMA 2 at its rate, channels and bit rate): what a user without this
#    program does with such a list, and what a join that encodes every input costs.
# The list: two WMV 8 + WMA 2 files (640x360, 25 fps, 44.1 kHz stereo) of ALIKE_SECONDS each
# with a WMV 7 + WMA 1 file of 720x400, 29.97 fps, 22 kHz mono of ODD_SECONDS between them.
# Every contender's time includes `sync`; each runs twice; wall time and peak memory from
# /usr/bin/time.
#
#   bench/wm_odd_input.sh [BUILD_DIR] [ALIKE_SECONDS] [ODD_SECONDS]
set -eu

BUILD=${1:-build}
ALIKE=${2:-60}
ODD=${3:-10}
KJOIN="$BUILD/bin/kjoin"
[ -x "$KJOIN" ] || { echo "no $KJOIN: build first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
. "$(dirname "$0")/common.sh"

alike() {  # alike OUT PATTERN
    ffmpeg -nostdin -v error -y -f lavfi -i "$2=size=640x360:rate=25" \
        -f lavfi -i "sine=frequency=440:sample_rate=44100" -t "$ALIKE" -ac 2 \
        -c:v wmv2 -b:v 1500k -c:a wmav2 -b:a 128k "$1"
}
echo "making inputs: WMV 8 + WMA 2 640x360 25 fps 44.1 kHz stereo (2 x ${ALIKE} s);" \
    "WMV 7 + WMA 1 720x400 29.97 fps 22 kHz mono (${ODD} s) ..."
alike "$WORK/a.wmv" testsrc2
alike "$WORK/b.wmv" smptebars
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc=size=720x400:rate=30000/1001" \
    -f lavfi -i "sine=frequency=660:sample_rate=22050" -t "$ODD" -ac 1 \
    -c:v wmv1 -b:v 1500k -c:a wmav1 "$WORK/odd.wmv"
cat "$WORK"/*.wmv > /dev/null  # the same page-cache state for every contender

ffmpeg_list() {  # the ffmpeg command encoding the list to the first file's settings
    graph=""
    for n in 0 1 2; do
        graph="$graph[$n:v]scale=640:360:force_original_aspect_ratio=decrease,\
pad=640:360:-1:-1,fps=25,setsar=1[v$n];[$n:a]aresample=44100,aformat=channel_layouts=stereo[a$n];"
    done
    echo "ffmpeg -nostdin -v error -y -i '$WORK/a.wmv' -i '$WORK/odd.wmv' -i '$WORK/b.wmv' \
-filter_complex '${graph}[v0][a0][v1][a1][v2][a2]concat=n=3:v=1:a=1[v][a]' -map '[v]' -map '[a]' \
-c:v wmv2 -b:v 1500k -c:a wmav2 -b:a 128k '$WORK/ffmpeg.wmv' && sync"
}

echo "-- a (${ALIKE} s) + odd (${ODD} s) + b (${ALIKE} s)"
printf '%-24s %10s   %11s\n' "contender" "wall" "peak RSS"
for round in 1 2; do
    sync
    run "copy alike, encode odd" "'$KJOIN' join -y -o '$WORK/join.wmv' '$WORK/a.wmv' \
'$WORK/odd.wmv' '$WORK/b.wmv' 2>/dev/null && sync"
    sync
    run "ffmpeg, same settings" "$(ffmpeg_list)"
done
# The alike files' packets are in the join as they were; it decodes cleanly.
hashes() {
    ffprobe -v error -select_streams v:0 -show_data_hash md5 -show_entries packet=data_hash \
        -of csv=p=0 "$1"
}
hashes "$WORK/a.wmv" > "$WORK/a.txt"
hashes "$WORK/b.wmv" >> "$WORK/a.txt"
kept=$(hashes "$WORK/join.wmv" | grep -c -F -x -f "$WORK/a.txt")
errors=$(ffmpeg -nostdin -v error -i "$WORK/join.wmv" -f null - 2>&1 | head -3)
[ -z "$errors" ] || { echo "join.wmv does not decode cleanly: $errors" >&2; exit 1; }
echo "checked: $kept of the alike files' $(wc -l < "$WORK/a.txt") video packets are in the" \
    "join as they were; the join decodes cleanly"
