#!/bin/sh
# A list of alike AVI files with one odd file among them, joined in one run by:
#  - the join driver as it is: the alike files copied, only the odd one encoded to the first's
#    format (bin/mcljoin);
#  - the same with KJ_ENCODE_EVERY_INPUT=1, which encodes the whole list as a join did before
#    odd files were told apart;
#  - the `ffmpeg` command encoding the same list to the same settings (the first file's size
#    with bars, rate, codec and FourCC, MP3 at its rate and channels).
# Lists: two 60 s XviD + MP3 files (640x360, 25 fps, 48 kHz stereo) with a 10 s MPEG-4 file of
# 720x400, 29.97 fps, 44.1 kHz mono after them; and ten files, nine alike of 20 s and the odd
# one fifth. Every contender's time includes `sync`; each runs twice; wall time and peak memory
# from /usr/bin/time.
#
#   bench/odd_input.sh [BUILD_DIR] [ALIKE_SECONDS] [ODD_SECONDS]
set -eu

BUILD=${1:-build}
ALIKE=${2:-60}
ODD=${3:-10}
JOIN="$BUILD/bin/mcljoin"
[ -x "$JOIN" ] || { echo "no $JOIN: build the mcljoin target first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
. "$(dirname "$0")/common.sh"

alike() {  # alike OUT PATTERN SECONDS
    ffmpeg -nostdin -v error -y -f lavfi -i "$2=size=640x360:rate=25" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$3" -ac 2 \
        -c:v mpeg4 -vtag XVID -b:v 1500k -c:a libmp3lame -b:a 128k "$1"
}
echo "making inputs: XviD + MP3 640x360 25 fps 48 kHz stereo (${ALIKE} s and 20 s);" \
    "MPEG-4 720x400 29.97 fps 44.1 kHz mono (${ODD} s) ..."
alike "$WORK/a.avi" testsrc2 "$ALIKE"
alike "$WORK/b.avi" smptebars "$ALIKE"
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc=size=720x400:rate=30000/1001" \
    -f lavfi -i "sine=frequency=660:sample_rate=44100" -t "$ODD" -ac 1 \
    -c:v mpeg4 -b:v 1500k -c:a libmp3lame -b:a 96k "$WORK/odd.avi"
for n in 1 2 3 4 5 6 7 8 9; do
    alike "$WORK/e$n.avi" testsrc2 20
done
cat "$WORK"/*.avi > /dev/null  # the same page-cache state for every contender

# ffmpeg_list OUT INPUT...: the ffmpeg command encoding the list to the first file's settings.
ffmpeg_list() {
    out=$1
    shift
    inputs=""
    graph=""
    links=""
    n=0
    for f in "$@"; do
        inputs="$inputs -i '$f'"
        graph="$graph[$n:v]scale=640:360:force_original_aspect_ratio=decrease,pad=640:360:-1:-1,\
fps=25,setsar=1[v$n];[$n:a]aresample=48000,aformat=channel_layouts=stereo[a$n];"
        links="$links[v$n][a$n]"
        n=$((n + 1))
    done
    echo "ffmpeg -nostdin -v error -y $inputs -filter_complex '${graph}${links}concat=n=$n:v=1:a=1[v][a]' \
-map '[v]' -map '[a]' -c:v mpeg4 -vtag XVID -b:v 1500k -g 12 -c:a libmp3lame -b:a 128k \
-ar 48000 '$out' && sync"
}

bench_list() {  # bench_list TITLE INPUT...
    title=$1
    shift
    quoted=""
    for f in "$@"; do quoted="$quoted '$f'"; done
    echo "-- $title"
    printf '%-34s %10s   %11s\n' "contender" "wall" "peak RSS"
    for round in 1 2; do
        sync
        run "copy alike, encode odd" "'$JOIN' 0 640 360 25 XVID '$WORK/join.avi' $quoted && sync"
        sync
        run "encode every input" "KJ_ENCODE_EVERY_INPUT=1 '$JOIN' 0 640 360 25 XVID \
'$WORK/whole.avi' $quoted && sync"
        sync
        run "ffmpeg, same settings" "$(ffmpeg_list "$WORK/ffmpeg.avi" "$@")"
    done
    # The alike files' pictures are in the join as they are; it decodes cleanly.
    kept=$(ffprobe -v error -select_streams v:0 -show_data_hash md5 -show_entries \
        packet=data_hash -of csv=p=0 "$WORK/join.avi" | grep -c -F -x -f \
        "$(ffprobe -v error -select_streams v:0 -show_data_hash md5 -show_entries \
            packet=data_hash -of csv=p=0 "$1" > "$WORK/first.txt"; echo "$WORK/first.txt")")
    errors=$(ffmpeg -nostdin -v error -i "$WORK/join.avi" -f null - 2>&1 | head -3)
    [ -z "$errors" ] || { echo "join.avi does not decode cleanly: $errors" >&2; exit 1; }
    echo "checked: $kept video packets of the join are the first file's as they were (it has" \
        "$(wc -l < "$WORK/first.txt"); alike files repeat them); the join decodes cleanly"
}

bench_list "three files: a (${ALIKE} s) + b (${ALIKE} s) + odd (${ODD} s)" \
    "$WORK/a.avi" "$WORK/b.avi" "$WORK/odd.avi"
bench_list "ten files: nine alike of 20 s, the odd one fifth" \
    "$WORK/e1.avi" "$WORK/e2.avi" "$WORK/e3.avi" "$WORK/e4.avi" "$WORK/odd.avi" \
    "$WORK/e5.avi" "$WORK/e6.avi" "$WORK/e7.avi" "$WORK/e8.avi" "$WORK/e9.avi"
