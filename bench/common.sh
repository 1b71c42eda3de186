# Shared pieces of the benchmarks: media made by ffmpeg, and timed runs of a command.
# Source it; WORK must name a scratch folder.

# make_wmv OUT PATTERN FREQUENCY SECONDS: wmv2 + wmav2 at 1280x720 and 8 Mbit/s (about 100 MB
# for 140 s).
make_wmv() {
    ffmpeg -nostdin -v error -y -f lavfi -i "$2=size=1280x720:rate=25" \
        -f lavfi -i "sine=frequency=$3:sample_rate=44100" -t "$4" \
        -c:v wmv2 -b:v 8M -c:a wmav2 -b:a 128k "$1"
}

# can_drop_page_cache: whether this user may drop the page cache (root).
can_drop_page_cache() {
    [ -w /proc/sys/vm/drop_caches ]
}

# drop_page_cache: writes everything out and drops the page cache, so that the next run reads
# its inputs from the disk, as the first join of new files does.
drop_page_cache() {
    sync
    echo 3 > /proc/sys/vm/drop_caches
}

# run LABEL COMMAND: prints the label, wall time and peak resident memory of COMMAND.
run() {
    label=$1
    shift
    /usr/bin/time -v sh -c "$*" > /dev/null 2> "$WORK/time.txt" || {
        cat "$WORK/time.txt" >&2
        exit 1
    }
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$WORK/time.txt")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$WORK/time.txt")
    printf '%-24s %10s   %8s KB\n' "$label" "$wall" "$rss"
}

# timed COMMAND: runs COMMAND once and prints "WALL_MS PEAK_RSS_KB". The wall time is taken
# with a nanosecond clock around /usr/bin/time, which only adds the peak memory, the same small
# cost for every contender.
timed() {
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$WORK/rss.txt" sh -c "$*" > /dev/null 2> "$WORK/err.txt" || {
        cat "$WORK/err.txt" >&2
        exit 1
    }
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000000 )) $(tail -n 1 "$WORK/rss.txt")"
}

# median: the median of the numbers on standard input, one a line.
median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

# ratio A B: A / B with two decimals.
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'
}

# packets FILE STREAM: the number of packets ffprobe counts in one stream.
packets() {
    ffprobe -v error -select_streams "$2" -count_packets -show_entries stream=nb_read_packets \
        -of csv=p=0 "$1"
}
