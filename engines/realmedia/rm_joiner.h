// Joining RealMedia files packet by packet: the inputs are read and matched, their packets
// counted and placed in a first pass (so that the whole output, index included, is known before
// a byte is written), then copied in a second pass with shifted times into one DATA chunk.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engines/realmedia/rm_format.h"
#include "engines/realmedia/rm_reader.h"
#include "engines/realmedia/rm_unit_tracker.h"
#include "platform/com.h"

namespace rm {

// Told what a run does; Progress answers false to stop the run between packets.
class JoinObserver {
public:
    virtual ~JoinObserver() = default;
    virtual void Started() = 0;
    virtual bool Progress(uint32_t percent) = 0;
    virtual void Completed() = 0;
};

struct IndexEntry {
    uint32_t timestamp = 0;
    uint32_t offset = 0;
    uint32_t packetNumber = 0;
};

// What the first pass learnt about one output stream.
struct StreamTotals {
    uint16_t stream = 0;
    uint32_t packets = 0;
    uint64_t payloadBytes = 0;
    uint32_t maxPayload = 0;
    std::vector<IndexEntry> index;
};

// What a join left out of one input.
struct InputDamage {
    bool cutShort = false;        // the file ends inside its data
    uint32_t damagedPackets = 0;  // skipped as unreadable (estimated from the bytes skipped)
    uint32_t joinedMs = 0;        // how long the input lasts in the output
    uint32_t fullMs = 0;          // how long its header says it lasts
};

// The output as planned by the first pass.
struct JoinPlan {
    std::vector<int64_t> shifts;         // per input, ms added to its timestamps
    std::vector<uint32_t> starts;        // per input, ms: where it starts in the output
    std::vector<uint32_t> inputPackets;  // per input, the packets copied
    std::vector<InputDamage> damage;     // per input
    uint32_t duration = 0;               // of the whole output, ms
    uint64_t headerBytes = 0;            // .RMF up to the DATA chunk
    uint64_t packetBytes = 0;            // all packets as written
    uint32_t packets = 0;
    uint32_t maxPayload = 0;
    std::vector<StreamTotals> streams;  // every stream of input 1, by stream number
    uint64_t indexBytes = 0;
    uint64_t TotalBytes() const { return headerBytes + kDataHeadBytes + packetBytes + indexBytes; }
};

class Joiner {
public:
    // Joins `inputs` (at least one) into `output`. S_OK, or a failure code with the account of
    // it in *text. A failed or stopped run leaves no output file behind.
    HRESULT Join(const std::vector<std::string>& inputs, const std::string& output,
                 JoinObserver* observer, std::string* text);

    // The largest output the run may write; RealMedia's 32-bit offsets end at 4 GiB.
    void SetSizeLimit(uint64_t bytes) { m_sizeLimit = bytes; }

    // The plan of the last run that got that far.
    const JoinPlan& plan() const { return m_plan; }

private:
    struct Input {
        std::string path;
        std::string name;   // the file name, for texts
        FileSource source;  // open only while the input is read: lists may be of any length
        uint64_t size = 0;
        RmHeader header;
        // Packets left out so that every frame and audio block copied is whole.
        std::map<uint16_t, std::vector<DropRange>> drops;
    };

    HRESULT OpenInputs(const std::vector<std::string>& paths, std::string* text);
    // Opens an input again for its turn; a failure when it can no longer be read as it was.
    static HRESULT Reopen(Input& input, std::string* text);
    HRESULT CheckStreams(std::string* text);
    struct PlanCursor;
    struct InputReading;
    HRESULT PlanOutput(std::string* text);
    // Places input `i` after the inputs before it, reading it again while what it holds moves
    // its start.
    HRESULT PlaceInput(size_t i, PlanCursor& cursor, std::string* text);
    // One reading of an input, its kept packets counted into the plan at `shift`.
    HRESULT ReadInput(Input& input, int64_t shift, PlanCursor& cursor, InputReading& reading,
                      std::string* text);

    HRESULT WriteOutput(const std::string& output, JoinObserver* observer, std::string* text);
    std::vector<uint8_t> BuildHeader() const;
    std::vector<uint8_t> BuildIndex() const;

    std::vector<std::unique_ptr<Input>> m_inputs;
    JoinPlan m_plan;
    uint64_t m_sizeLimit = kMaxFileBytes;
};

// How long the header of an input says it lasts: the later of the end of its last packet (of
// any stream) and the durations its header gives.
uint32_t ContentEnd(const RmHeader& header, uint32_t lastTimestamp);

// `ms` moved up to the next start of a frame at `frameRate` (16.16 frames per second) counted
// from 0, so that each input's pictures keep the joined video's frame grid: readers that put
// frames on that grid (ffmpeg's rounding to the frame rate) then see no two frames in one slot.
// Unchanged when the rate is outside 1 to 240 frames per second.
uint64_t AlignToVideoFrames(uint64_t ms, uint32_t frameRate);

}  // namespace rm
