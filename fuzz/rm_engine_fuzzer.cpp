// The RealMedia engine's reading of a whole file: header chunks, codec headers, the packet walk
// over chained DATA chunks with its resynchronisation past damage, the tracking of whole frames
// and audio blocks, and the rewriting of packed video frame times.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engines/realmedia/rm_codec.h"
#include "engines/realmedia/rm_reader.h"
#include "engines/realmedia/rm_unit_tracker.h"
#include "engines/realmedia/rm_video_payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rm::MemorySource source(data, size);
    rm::RmHeader header;
    std::string why;
    if (FAILED(rm::ReadHeader(source, header, &why))) {
        return 0;
    }
    for (const rm::MediaProperties& m : header.streams) {
        rm::AudioFormat audio;
        rm::VideoFormat video;
        rm::ParseAudioFormat(m.typeData, audio);
        rm::ParseVideoFormat(m.typeData, video);
        (void)rm::DescribeAudioDifference(m.typeData, header.streams.front().typeData);
        (void)rm::DescribeVideoDifference(m.typeData, header.streams.front().typeData);
    }
    rm::PacketReader reader(source, header);
    rm::UnitTracker tracker(header);
    rm::Packet p;
    std::vector<uint8_t> shifted;
    uint32_t resyncs = 0;
    for (int n = 0; n < 100000 && reader.Next(p, &why) == S_OK; ++n) {
        if (reader.Resyncs() != resyncs) {
            resyncs = reader.Resyncs();
            tracker.Damage(p.offset);
        }
        tracker.Follow(p);
        const size_t head = p.HeaderBytes();
        rm::ShiftPackedFrameTimes(p.bytes + head, p.length - head, 20000, shifted);
    }
    tracker.End();
    // The drops are read back as a join's second pass does.
    rm::PacketReader again(source, header);
    rm::DropFilter filter(&tracker.Drops());
    volatile size_t kept = 0;
    for (int n = 0; n < 100000 && again.Next(p, &why) == S_OK; ++n) {
        kept = kept + (filter.Keep(p) ? 1 : 0);
    }
    return 0;
}
