// The audio packets at a seam of the pack copier: the first one of an input may open with the
// end of a frame begun before its cut, the last ones of an input may end inside a frame. Either
// part-frame is left out without changing the size of its pack: its bytes become a padding
// packet in front of the audio packet, or stuffing in its header when too few for a packet.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engines/conversion/mpeg_ps_audio_frames.h"
#include "engines/conversion/mpeg_ps_units.h"

// Writes a padding packet of `bytes` (at least a packet header's) at `at`.
void PutPadding(uint8_t* at, size_t bytes);

// The key of an audio PES packet (stream id << 8, or 0xBD << 8 | sub id).
uint16_t AudioKeyOf(const uint8_t* data, const PsUnit& unit);

// Bytes at the start of an audio packet's data that end a frame begun before it: MPEG audio up
// to its first frame header, AC-3 and DTS up to where their first access unit pointer says. -1
// when they cannot be told.
int64_t LeadingPartialFrame(const uint8_t* data, const PsUnit& unit);

// The audio packet at `data` (its `unit`) after an edit of its bytes, in place: the bytes of a
// padding packet now in front of it (0 when none), and the packet itself.
struct EditedAudio {
    size_t paddingBytes = 0;
    PsUnit unit;
};

// Leaves out the first `count` bytes of the packet's audio data. False when the bytes can be
// neither padding nor stuffing (the packet then stays as it is).
bool DropLeadingAudio(uint8_t* data, const PsUnit& unit, size_t count, EditedAudio* edited);

// Ends the packet's audio data after `keep` bytes; with `keep` 0 the whole packet becomes
// padding. False as above.
bool KeepLeadingAudio(uint8_t* data, const PsUnit& unit, size_t keep, EditedAudio* edited);
