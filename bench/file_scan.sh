#!/bin/sh
# The file scan of added AVI, MPEG and Video CD files (kjoin probe, which scans as adding a file
# to the list does), against `cat` and ffprobe counting the same packets, in one run: wall time
# and peak memory. The files are read from the page cache, so the figures compare the work done
# per byte, not the disk.
#
#   bench/file_scan.sh [BUILD_DIR] [SECONDS_OF_MEDIA]
#
# BUILD_DIR holds bin/kjoin and its modules (default: build). SECONDS_OF_MEDIA sets the length of
# each file (default 120 s: about 40 MB of DVD MPEG-2, 25 MB of AVI).
set -eu

BUILD=${1:-build}
SECONDS_OF_MEDIA=${2:-120}
KJOIN="$BUILD/bin/kjoin"
[ -x "$KJOIN" ] || { echo "no $KJOIN: build first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
. "$(dirname "$0")/common.sh"

echo "making ${SECONDS_OF_MEDIA} s files: DVD MPEG-2, VCD MPEG-1 (.mpg and .DAT), AVI mpeg4 + mp3 ..."
src="-f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000"
ffmpeg -nostdin -v error -y $src -t "$SECONDS_OF_MEDIA" -target pal-dvd "$WORK/dvd.mpg"
ffmpeg -nostdin -v error -y $src -t "$SECONDS_OF_MEDIA" -target pal-vcd "$WORK/vcd.mpg"
ffmpeg -nostdin -v error -y $src -t "$SECONDS_OF_MEDIA" -c:v mpeg4 -b:v 1500k \
    -c:a libmp3lame -b:a 128k "$WORK/avi.avi"
# A Video CD file: the VCD stream in raw Mode 2 Form 2 sectors inside RIFF "CDXA".
python3 - "$WORK/vcd.mpg" "$WORK/vcd.dat" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
out = open(sys.argv[2], 'wb')
sectors = (len(data) + 2323) // 2324
fmt = b'fmt ' + struct.pack('<I', 16) + bytes(4) + struct.pack('<H', 0x8D55) + b'XA\x01' + bytes(7)
out.write(b'RIFF' + struct.pack('<I', 36 + sectors * 2352) + b'CDXA' + fmt +
          b'data' + struct.pack('<I', sectors * 2352))
head = bytes([0] + [0xFF] * 10 + [0, 0, 2, 0, 2]) + bytes([1, 1, 0x62, 0x0F]) * 2
for i in range(sectors):
    out.write(head + data[i * 2324:(i + 1) * 2324].ljust(2324, b'\0') + bytes(4))
PY
for f in dvd.mpg vcd.mpg vcd.dat avi.avi; do cat "$WORK/$f" > /dev/null; done

printf '%-24s %10s   %11s\n' "contender" "wall" "peak RSS"
for f in dvd.mpg vcd.dat avi.avi; do
    echo "$f: $(stat -c %s "$WORK/$f") bytes, $(packets "$WORK/$f" v:0 | cut -d, -f1) video packets"
    for round in 1 2; do
        run "cat $f" "cat '$WORK/$f'"
        run "kjoin probe $f" "'$KJOIN' probe '$WORK/$f'"
        run "ffprobe -count_packets $f" "ffprobe -v error -count_packets \
-show_entries stream=nb_read_packets '$WORK/$f'"
    done
done
