#!/bin/sh
# The AVI/MPEG join driver on the conversion module (bin/mcljoin), in one run on the same inputs:
#  - re-encoding: a Video CD file followed by an MPEG-1 file of another size, rate and audio
#    rate, against the `ffmpeg` command with the same settings (scale and frame rate of the
#    first, MPEG-1 at 1150 kbit/s in a Video CD stream, MP2 at 224 kbit/s, 44100 Hz stereo);
#  - stream copy: two Video CD files, against `cat` of the same two files (and ffmpeg's concat
#    demuxer with stream copy, for reference).
# Each contender's time includes `sync`, so it counts until its output is on the disk; each runs
# three times. Wall time and peak memory from /usr/bin/time.
#
#   bench/mcl_join.sh [BUILD_DIR] [COPY_SECONDS] [ENCODE_SECONDS]
#
# COPY_SECONDS sets the length of the two Video CD files of the copy (150 s: about 26 MB each);
# ENCODE_SECONDS that of the two files of the re-encoding (30 s), which costs far more CPU.
set -eu

BUILD=${1:-build}
COPY_SECONDS=${2:-150}
ENCODE_SECONDS=${3:-30}
JOIN="$BUILD/bin/mcljoin"
[ -x "$JOIN" ] || { echo "no $JOIN: build the mcljoin target first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
. "$(dirname "$0")/common.sh"

echo "making inputs: Video CD 352x288 25 fps (${COPY_SECONDS} s and ${ENCODE_SECONDS} s);" \
    "MPEG-1 320x240 30 fps 48 kHz (${ENCODE_SECONDS} s) ..."
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=352x288:rate=25" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100" -t "$COPY_SECONDS" \
    -target pal-vcd "$WORK/a.mpg"
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc=size=352x288:rate=25" \
    -f lavfi -i "sine=frequency=880:sample_rate=44100" -t "$COPY_SECONDS" \
    -target pal-vcd "$WORK/b.mpg"
ffmpeg -nostdin -v error -y -i "$WORK/a.mpg" -t "$ENCODE_SECONDS" -c copy -f vcd "$WORK/s.mpg"
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc=size=320x240:rate=30" \
    -f lavfi -i "sine=frequency=660:sample_rate=48000" -t "$ENCODE_SECONDS" \
    -c:v mpeg1video -b:v 1500k -c:a mp2 -b:a 192k -f mpeg "$WORK/c.mpg"
printf "file '%s'\nfile '%s'\n" "$WORK/a.mpg" "$WORK/b.mpg" > "$WORK/list.txt"
cat "$WORK"/*.mpg > /dev/null  # the same page-cache state for every contender

printf '%-30s %10s   %11s\n' "contender" "wall" "peak RSS"
echo "-- re-encoding: s.mpg (VCD) + c.mpg (MPEG-1 320x240 30 fps, 48 kHz)"
for round in 1 2 3; do
    sync
    run "mcljoin (driver + module)" "'$JOIN' 1 352 288 25 - '$WORK/join.mpg' '$WORK/s.mpg' \
'$WORK/c.mpg'; sync"
    sync
    run "ffmpeg, same settings" "ffmpeg -nostdin -v error -y -i '$WORK/s.mpg' -i '$WORK/c.mpg' \
-filter_complex '[0:v]scale=352:288,fps=25,setsar=1[v0];[1:v]scale=352:288,fps=25,setsar=1[v1];\
[0:a]aresample=44100,aformat=channel_layouts=stereo[a0];\
[1:a]aresample=44100,aformat=channel_layouts=stereo[a1];[v0][a0][v1][a1]concat=n=2:v=1:a=1[v][a]' \
-map '[v]' -map '[a]' -c:v mpeg1video -b:v 1150k -minrate 1150k -maxrate 1150k -bufsize 327680 \
-g 15 -c:a mp2 -b:a 224k -f vcd '$WORK/ffmpeg.mpg'; sync"
done
echo "-- stream copy: a.mpg + b.mpg (both VCD)"
for round in 1 2 3; do
    sync
    run "cat a b > out" "cat '$WORK/a.mpg' '$WORK/b.mpg' > '$WORK/cat.out'; sync"
    sync
    run "mcljoin (copy)" "'$JOIN' 1 352 288 25 - '$WORK/copy.mpg' '$WORK/a.mpg' '$WORK/b.mpg'; sync"
    sync
    run "ffmpeg concat -c copy" "ffmpeg -nostdin -v error -y -f concat -safe 0 \
-i '$WORK/list.txt' -c copy -f vcd '$WORK/concat.mpg'; sync"
done

# Both joins must be whole and clean.
want=$(( $(packets "$WORK/a.mpg" v:0) + $(packets "$WORK/b.mpg" v:0) ))
got=$(packets "$WORK/copy.mpg" v:0)
[ "$want" = "$got" ] || { echo "copy join: $got video packets of $want" >&2; exit 1; }
for f in join copy; do
    errors=$(ffmpeg -nostdin -v error -i "$WORK/$f.mpg" -f null - 2>&1 | head -3)
    [ -z "$errors" ] || { echo "$f.mpg does not decode cleanly: $errors" >&2; exit 1; }
done
echo "joins checked: copy has every video packet ($got); both decode cleanly"
echo "sizes: join $(stat -c %s "$WORK/join.mpg"), ffmpeg $(stat -c %s "$WORK/ffmpeg.mpg"),\
 copy $(stat -c %s "$WORK/copy.mpg"), cat $(stat -c %s "$WORK/cat.out") bytes"
