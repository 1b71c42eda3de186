// What the seams of a join need to know of the sound inside ASF audio objects, codec by codec:
// where MPEG audio frames begin and end (an encoder may split its stream into objects anywhere,
// so an input can end inside a frame), and the 4-bit packet sequence numbers that WMA Pro and
// WMA Lossless packets begin with (their decoders take a jump in them for a lost packet).
#pragma once

#include <cstddef>
#include <cstdint>

enum class SeamAudioKind {
    kWhole,      // every object holds whole blocks: nothing to do at a seam
    kMpegAudio,  // MPEG-1/2 audio layers I to III (MP3, MP2)
    kSequenced,  // WMA Pro, WMA Lossless
};

inline constexpr uint16_t kFormatTagMpeg = 0x0050;
inline constexpr uint16_t kFormatTagMp3 = 0x0055;
inline constexpr uint16_t kFormatTagWmaPro = 0x0162;
inline constexpr uint16_t kFormatTagWmaLossless = 0x0163;

SeamAudioKind SeamAudioKindOf(uint16_t formatTag);

// ---- MPEG audio ----

inline constexpr size_t kMpegHeaderBytes = 4;

// The length of the frame whose header starts at `header` (4 bytes), 0 when they are no
// header this can measure (no sync, a reserved field, a free-format bit rate).
size_t MpegFrameLength(const uint8_t* header);

// Where the first frame of `data` starts that is followed by another frame (or ends exactly at
// the end): bytes before it belong to a frame that began elsewhere. `size` when there is none.
size_t FirstWholeMpegFrame(const uint8_t* data, size_t size);

// The frames of one object, from `start` (the bytes before it finish a frame begun in the
// object before). `wholeEnd` is where its last whole frame ends; `carry` how many bytes of the
// next object the frame that begins after that still needs (0: the object ends on a frame's
// end; kUnknownCarry: the frame's header is cut, or the bytes are no frames this can follow).
struct MpegFrameWalk {
    size_t wholeEnd = 0;
    size_t carry = 0;
};
inline constexpr size_t kUnknownCarry = ~size_t{0};
MpegFrameWalk WalkMpegFrames(const uint8_t* data, size_t size, size_t start);

// ---- WMA Pro and WMA Lossless ----

// The sequence number of the packet in `blockAlign` bytes from `offset` (the first 4 bits).
inline unsigned SequenceNumberAt(const uint8_t* data, size_t offset) {
    return data[offset] >> 4;
}

// The sequence number of an object's last packet (see RenumberPackets for the packets).
unsigned LastSequenceNumber(const uint8_t* data, size_t size, uint32_t blockAlign);

// Adds `delta` (mod 16) to the sequence number of every packet of an object: one per
// `blockAlign` bytes, or one for the whole object when its size is no multiple of it.
// Returns the last packet's new number.
unsigned RenumberPackets(uint8_t* data, size_t size, uint32_t blockAlign, unsigned delta);
