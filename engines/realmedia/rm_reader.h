// Reading a RealMedia file: the header chunks before the first DATA chunk, kept byte for byte,
// with the file and media properties decoded; then the packets of every DATA chunk in order.
// Every read is checked against the bytes the file holds; damage is reported, never trusted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/descriptor_file.h"

namespace rm {

// Positioned reads from a file or from memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to n bytes at off; returns how many were read (0 at the end or on failure).
    virtual size_t ReadAt(uint64_t off, void* buffer, size_t n) = 0;
    virtual uint64_t Size() const = 0;
};

class FileSource : public ByteSource {
public:
    // False when the file cannot be opened for reading.
    bool Open(const std::string& path);
    void Close() { m_file.Close(); }
    size_t ReadAt(uint64_t off, void* buffer, size_t n) override;
    uint64_t Size() const override { return m_size; }

private:
    DescriptorFile m_file;
    uint64_t m_size = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    size_t ReadAt(uint64_t off, void* buffer, size_t n) override;
    uint64_t Size() const override { return m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
};

// One header chunk as it stands in the file.
struct HeaderChunk {
    uint32_t id = 0;
    std::vector<uint8_t> bytes;  // the whole chunk, id and size included
};

struct FileProperties {
    uint32_t maxBitRate = 0;
    uint32_t avgBitRate = 0;
    uint32_t maxPacketSize = 0;
    uint32_t avgPacketSize = 0;
    uint32_t packets = 0;
    uint32_t duration = 0;
    uint32_t preroll = 0;
    uint32_t indexOffset = 0;
    uint32_t dataOffset = 0;
    uint16_t streams = 0;
    uint16_t flags = 0;
};

struct MediaProperties {
    size_t chunk = 0;  // its place in RmHeader::chunks
    uint16_t stream = 0;
    uint32_t maxBitRate = 0;
    uint32_t avgBitRate = 0;
    uint32_t maxPacketSize = 0;
    uint32_t avgPacketSize = 0;
    uint32_t startTime = 0;
    uint32_t preroll = 0;
    uint32_t duration = 0;
    std::string name;
    std::string mime;
    std::vector<uint8_t> typeData;
    size_t typeDataOffset = 0;  // from the chunk start

    bool IsLogical() const { return mime.rfind("logical-", 0) == 0; }
    bool IsAudio() const { return mime.rfind("audio/", 0) == 0; }
    bool IsVideo() const { return mime.rfind("video/", 0) == 0; }
};

struct RmHeader {
    std::vector<HeaderChunk> chunks;  // from ".RMF" up to the first DATA chunk, in file order
    FileProperties props;
    std::vector<MediaProperties> streams;  // in file order
    uint64_t dataOffset = 0;               // the first DATA chunk

    const MediaProperties* Stream(uint16_t number) const;
};

// Reads the header chunks. S_OK, or RMEDIT_E_BAD_FILE with the reason in *why.
HRESULT ReadHeader(ByteSource& source, RmHeader& header, std::string* why);

struct Packet {
    uint64_t offset = 0;  // in the file
    uint16_t version = 0;
    uint16_t length = 0;  // whole packet, header included
    uint16_t stream = 0;
    uint32_t timestamp = 0;
    bool keyFrame = false;
    const uint8_t* bytes = nullptr;  // `length` bytes, valid until the next Next()

    size_t HeaderBytes() const;
};

// The packets of every DATA chunk, following the next-chunk offsets. A chunk ends at its
// declared size (or the end of the file, when the size overstates it), at a chunk that follows
// the packets, or where the file ends inside a packet (cut short: that last packet is left out).
// A packet is taken when its header holds together (version, length, a stream the header
// describes) and the bytes after it begin another such packet, a chunk or the end; bytes that do
// not are damage: the reader skips them, finds the next packet that holds together and counts
// the packets it estimates were lost.
class PacketReader {
public:
    PacketReader(ByteSource& source, const RmHeader& header);

    // S_OK with the next packet, S_FALSE after the last, RMEDIT_E_BAD_FILE with *why.
    HRESULT Next(Packet& packet, std::string* why);
    // The number of DATA chunks entered so far.
    int DataChunks() const { return m_chunks; }
    // The file ended inside a packet.
    bool CutShort() const { return m_cutShort; }
    // Packets lost to damage so far, and how often bytes were skipped. The loss is estimated
    // from the bytes skipped (once at least per skip), and taken from the DATA chunk's packet
    // count once the chunk has been read to its end.
    uint32_t DamagedPackets() const { return m_damagedPackets; }
    uint32_t Resyncs() const { return m_resyncs; }

private:
    HRESULT EnterChunk(uint64_t offset, std::string* why);
    const uint8_t* Fetch(uint64_t off, size_t n);
    // What the bytes at `off` of the current chunk are.
    // Stray: a packet that holds together, of a stream the header does not describe. PastEnd:
    // a packet longer than its chunk's declared size leaves; read on, that ends the chunk, but
    // a resynchronisation does not take it for a packet.
    enum class Place { Packet, Stray, Overrun, PastEnd, ChunkEnd, Junk };
    Place Look(uint64_t off, uint16_t* length);
    // Whether a packet at `off` of `length` bytes is followed by what may follow a packet.
    bool FollowedWell(uint64_t off, uint16_t length);
    // The first place after `from` where a packet that is followed well begins; m_chunkEnd
    // when there is none.
    uint64_t Resync(uint64_t from);
    void CountSkipped(uint64_t bytes);

    ByteSource& m_source;
    const RmHeader& m_header;
    std::vector<uint8_t> m_buffer;
    uint64_t m_bufferStart = 0;
    size_t m_bufferBytes = 0;
    uint64_t m_at = 0;
    uint64_t m_chunkEnd = 0;
    uint64_t m_chunkStart = 0;
    uint64_t m_nextChunk = 0;
    bool m_inChunk = false;
    bool m_done = false;
    bool m_cutShort = false;
    bool m_endIsFileEnd = false;  // the chunk ends with the file, not at a declared size
    int m_chunks = 0;
    uint32_t m_damagedPackets = 0;
    // The current chunk's declared packet count, the packets met in it (strays included) and
    // the estimate of its damage: the count, when it tells more, replaces the estimate.
    uint32_t m_chunkDeclaredPackets = 0;
    uint32_t m_chunkPackets = 0;
    uint32_t m_chunkEstimate = 0;
    uint32_t m_resyncs = 0;
};

}  // namespace rm
