#include "engines/realmedia/rm_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engines/realmedia/rm_format.h"
#include "engines/realmedia/rmedit.h"
#include "platform/bytes.h"
#include "platform/read_fully.h"

namespace rm {

namespace {
// Header chunks are small; these bounds keep a hostile file from making us read or keep much.
constexpr uint32_t kMaxHeaderChunkBytes = 16u << 20;
constexpr size_t kMaxHeaderChunks = 4096;
constexpr size_t kReadWindowBytes = 1u << 20;
// Zero bytes after the last packet that are taken for the end of the packets, not damage.
constexpr uint64_t kZeroTailBytes = 64;
static_assert(kReadWindowBytes > kMaxPacketBytes, "a packet must fit in the read window");

HRESULT Bad(std::string* why, const std::string& text) {
    if (why != nullptr) {
        *why = text;
    }
    return RMEDIT_E_BAD_FILE;
}

std::string Hex(uint64_t v) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
    return text;
}

bool ParseMediaProperties(const std::vector<uint8_t>& bytes, MediaProperties& m) {
    ByteReader r(bytes);
    if (!r.Has(0, kMdprFixedBytes)) {
        return false;
    }
    m.stream = r.BE16(kMdprStream);
    m.maxBitRate = r.BE32(kMdprMaxBitRate);
    m.avgBitRate = r.BE32(kMdprAvgBitRate);
    m.maxPacketSize = r.BE32(kMdprMaxPacket);
    m.avgPacketSize = r.BE32(kMdprAvgPacket);
    m.startTime = r.BE32(kMdprStartTime);
    m.preroll = r.BE32(kMdprPreroll);
    m.duration = r.BE32(kMdprDuration);
    size_t at = kMdprNameLength;
    size_t nameLength = r.U8(at);
    if (!r.Has(at + 1, nameLength + 1)) {
        return false;
    }
    m.name.assign(reinterpret_cast<const char*>(r.data() + at + 1), nameLength);
    at += 1 + nameLength;
    size_t mimeLength = r.U8(at);
    if (!r.Has(at + 1, mimeLength + 4)) {
        return false;
    }
    m.mime.assign(reinterpret_cast<const char*>(r.data() + at + 1), mimeLength);
    at += 1 + mimeLength;
    uint32_t typeLength = r.BE32(at);
    at += 4;
    if (!r.Has(at, typeLength)) {
        return false;
    }
    m.typeDataOffset = at;
    m.typeData.assign(r.data() + at, r.data() + at + typeLength);
    return true;
}
}  // namespace

bool FileSource::Open(const std::string& path) {
    if (m_file.Open(path, DescriptorFile::Mode::Read) != 0) {
        return false;
    }
    m_size = m_file.Size();
    return true;
}

size_t FileSource::ReadAt(uint64_t off, void* buffer, size_t n) {
    return m_file.ReadSome(off, buffer, n);
}

size_t MemorySource::ReadAt(uint64_t off, void* buffer, size_t n) {
    if (off >= m_size) {
        return 0;
    }
    size_t count = std::min<uint64_t>(n, m_size - off);
    std::memcpy(buffer, m_data + off, count);
    return count;
}

const MediaProperties* RmHeader::Stream(uint16_t number) const {
    for (const MediaProperties& m : streams) {
        if (m.stream == number) {
            return &m;
        }
    }
    return nullptr;
}

HRESULT ReadHeader(ByteSource& source, RmHeader& header, std::string* why) {
    header = RmHeader{};
    const uint64_t size = source.Size();
    uint8_t head[kChunkHeadBytes];
    if (source.ReadAt(0, head, 8) != 8) {
        return Bad(why, "it is too short for a Real Media file");
    }
    if (std::memcmp(head, ".RMF", 4) != 0) {
        return Bad(why, std::memcmp(head, ".ra\xfd", 4) == 0
                            ? "it is a bare RealAudio file, not a Real Media file"
                            : "it does not start with a Real Media file header");
    }
    bool haveProps = false;
    uint64_t off = 0;
    while (true) {
        if (off + 8 > size) {
            break;  // no DATA chunk
        }
        if (source.ReadAt(off, head, 8) != 8) {
            return Bad(why, "it cannot be read at " + Hex(off));
        }
        ByteReader h(head, 8);
        uint32_t id = h.BE32(0);
        uint32_t chunkSize = h.BE32(4);
        if (id == kIdData) {
            header.dataOffset = off;
            break;
        }
        if (chunkSize < kChunkHeadBytes || chunkSize > size - off) {
            return Bad(why, "the header chunk at " + Hex(off) + " has a size of " +
                                std::to_string(chunkSize) + " bytes that the file does not hold");
        }
        if (chunkSize > kMaxHeaderChunkBytes || header.chunks.size() >= kMaxHeaderChunks) {
            return Bad(why, "its header is implausibly large");
        }
        if (id == kIdIndx) {
            off += chunkSize;  // an index before the data describes nothing we copy
            continue;
        }
        HeaderChunk chunk;
        chunk.id = id;
        chunk.bytes.resize(chunkSize);
        if (source.ReadAt(off, chunk.bytes.data(), chunkSize) != chunkSize) {
            return Bad(why, "it cannot be read at " + Hex(off));
        }
        if (off == 0 && chunkSize < kRmfBytes) {
            return Bad(why, "its file header is too short");
        }
        ByteReader c(chunk.bytes);
        if (id == kIdProp) {
            if (haveProps || chunkSize < kPropBytes) {
                return Bad(why, "its file properties are damaged");
            }
            haveProps = true;
            FileProperties& p = header.props;
            p.maxBitRate = c.BE32(kPropMaxBitRate);
            p.avgBitRate = c.BE32(kPropAvgBitRate);
            p.maxPacketSize = c.BE32(kPropMaxPacket);
            p.avgPacketSize = c.BE32(kPropAvgPacket);
            p.packets = c.BE32(kPropPackets);
            p.duration = c.BE32(kPropDuration);
            p.preroll = c.BE32(kPropPreroll);
            p.indexOffset = c.BE32(kPropIndexOffset);
            p.dataOffset = c.BE32(kPropDataOffset);
            p.streams = c.BE16(kPropStreams);
            p.flags = c.BE16(kPropFlags);
        } else if (id == kIdMdpr) {
            MediaProperties m;
            if (!ParseMediaProperties(chunk.bytes, m)) {
                return Bad(why, "the media properties at " + Hex(off) + " are damaged");
            }
            if (header.Stream(m.stream) != nullptr) {
                return Bad(why, "stream " + std::to_string(m.stream) + " is described twice");
            }
            m.chunk = header.chunks.size();
            header.streams.push_back(std::move(m));
        }
        header.chunks.push_back(std::move(chunk));
        off += chunkSize;
    }
    if (!haveProps) {
        return Bad(why, "it has no file properties (PROP)");
    }
    return S_OK;
}

size_t Packet::HeaderBytes() const {
    return version == 0 ? kPacketHeadV0 : kPacketHeadV1;
}

PacketReader::PacketReader(ByteSource& source, const RmHeader& header)
    : m_source(source), m_header(header) {
    m_nextChunk = header.dataOffset;
    m_done = header.dataOffset == 0;
}

const uint8_t* PacketReader::Fetch(uint64_t off, size_t n) {
    if (off >= m_bufferStart && off + n <= m_bufferStart + m_bufferBytes) {
        return m_buffer.data() + (off - m_bufferStart);
    }
    if (m_buffer.empty()) {
        m_buffer.resize(kReadWindowBytes);
    }
    m_bufferStart = off;
    m_bufferBytes = m_source.ReadAt(off, m_buffer.data(), m_buffer.size());
    return n <= m_bufferBytes ? m_buffer.data() : nullptr;
}

HRESULT PacketReader::EnterChunk(uint64_t offset, std::string* why) {
    const uint64_t size = m_source.Size();
    const uint8_t* p = offset + kDataHeadBytes <= size ? Fetch(offset, kDataHeadBytes) : nullptr;
    ByteReader h(p, p != nullptr ? kDataHeadBytes : 0);
    if (p == nullptr || h.BE32(0) != kIdData) {
        return Bad(why, "there is no DATA chunk at " + Hex(offset));
    }
    uint32_t declared = h.BE32(4);
    m_chunkStart = offset;
    m_endIsFileEnd = !(declared >= kDataHeadBytes && declared <= size - offset);
    m_chunkEnd = m_endIsFileEnd ? size : offset + declared;
    m_nextChunk = h.BE32(kDataNext);
    m_chunkDeclaredPackets = h.BE32(kDataPackets);
    m_chunkPackets = 0;
    m_chunkEstimate = 0;
    m_at = offset + kDataHeadBytes;
    m_inChunk = true;
    ++m_chunks;
    return S_OK;
}

PacketReader::Place PacketReader::Look(uint64_t off, uint16_t* length) {
    *length = 0;
    if (off >= m_chunkEnd) {
        return Place::ChunkEnd;
    }
    if (off + 4 <= m_chunkEnd) {
        const uint8_t* id = Fetch(off, 4);
        uint32_t v = id != nullptr ? ByteReader(id, 4).BE32(0) : 0;
        if (v == kIdIndx || v == kIdData || v == kIdRmmd || v == kIdRjmd) {
            return Place::ChunkEnd;  // the chunk after the packets
        }
    }
    if (off + kPacketHeadV0 > m_chunkEnd) {
        // A few bytes too short for a packet: the file ends inside a header, or the chunk ends
        // with bytes that are not one.
        const size_t left = static_cast<size_t>(m_chunkEnd - off);
        const uint8_t* tail = Fetch(off, left);
        bool zeros =
            tail != nullptr && std::all_of(tail, tail + left, [](uint8_t b) { return b == 0; });
        return m_endIsFileEnd && !zeros ? Place::Overrun : Place::ChunkEnd;
    }
    const uint8_t* p = Fetch(off, kPacketHeadV0);
    if (p == nullptr) {
        return Place::Overrun;
    }
    ByteReader h(p, kPacketHeadV0);
    uint16_t version = h.BE16(0);
    uint16_t declared = h.BE16(kPacketLength);
    size_t headBytes = version == 0 ? kPacketHeadV0 : kPacketHeadV1;
    if (version > 1 || declared < headBytes) {
        // Some writers end the packets with a few zero bytes; a longer run of them is damage.
        return version == 0 && declared == 0 && m_chunkEnd - off <= kZeroTailBytes ? Place::ChunkEnd
                                                                                   : Place::Junk;
    }
    *length = declared;
    const bool known = m_header.Stream(h.BE16(kPacketStream)) != nullptr;
    if (off + declared > m_chunkEnd) {
        // Past the end of the file it was cut; past a declared end the chunk ends.
        return !known ? Place::Junk : m_endIsFileEnd ? Place::Overrun : Place::PastEnd;
    }
    return known ? Place::Packet : Place::Stray;
}

bool PacketReader::FollowedWell(uint64_t off, uint16_t length) {
    uint16_t next = 0;
    return Look(off + length, &next) != Place::Junk;
}

uint64_t PacketReader::Resync(uint64_t from) {
    for (uint64_t off = from; off < m_chunkEnd; ++off) {
        uint16_t length = 0;
        Place place = Look(off, &length);
        if (place == Place::ChunkEnd || place == Place::Overrun ||
            (place == Place::Packet && FollowedWell(off, length))) {
            return off;
        }
    }
    return m_chunkEnd;
}

void PacketReader::CountSkipped(uint64_t bytes) {
    const uint64_t average = uint64_t{m_header.props.avgPacketSize} + kPacketHeadV0;
    uint64_t lost = std::max<uint64_t>(1, (bytes + average - 1) / average);
    lost = std::min<uint64_t>(lost, 0xFFFFFFFFu - m_damagedPackets);
    m_damagedPackets += static_cast<uint32_t>(lost);
    m_chunkEstimate += static_cast<uint32_t>(lost);
    ++m_resyncs;
}

HRESULT PacketReader::Next(Packet& packet, std::string* why) {
    while (!m_done) {
        if (!m_inChunk) {
            HRESULT hr = EnterChunk(m_nextChunk, why);
            if (FAILED(hr)) {
                return hr;
            }
        }
        uint16_t length = 0;
        Place place = Look(m_at, &length);
        if (place == Place::Packet && !FollowedWell(m_at, length)) {
            place = Place::Junk;  // its end runs into damage: so may its bytes
        }
        if (place == Place::Stray && FollowedWell(m_at, length)) {
            // A whole packet of a stream the header does not describe: nothing to copy.
            ++m_damagedPackets;
            ++m_chunkPackets;
            m_at += length;
            continue;
        }
        if (place == Place::Junk || place == Place::Stray) {
            uint64_t next = Resync(m_at + 1);
            CountSkipped(next - m_at);
            m_at = next;
            continue;
        }
        if (place != Place::Packet) {
            // The end of this chunk's packets: go on with the chained chunk, if any. Chained
            // chunks must lie further on, so that a loop of offsets cannot trap us. A file that
            // ends inside its data has nothing after it.
            m_inChunk = false;
            if (m_chunkEstimate > 0 && place != Place::Overrun &&
                m_chunkDeclaredPackets > m_chunkPackets) {
                // The chunk says how many packets it holds: the damage took the ones missing.
                m_damagedPackets -= m_chunkEstimate;
                m_damagedPackets += m_chunkDeclaredPackets - m_chunkPackets;
            }
            if (place == Place::Overrun) {
                m_cutShort = true;
                m_done = true;
                break;
            }
            if (m_nextChunk == 0) {
                m_done = true;
                break;
            }
            if (m_nextChunk <= m_chunkStart) {
                return Bad(why, "its DATA chunks are chained backwards");
            }
            continue;
        }
        const uint8_t* p = Fetch(m_at, length);
        if (p == nullptr) {
            return Bad(why, "it cannot be read at " + Hex(m_at));
        }
        ByteReader h(p, length);
        packet.offset = m_at;
        packet.version = h.BE16(0);
        packet.length = length;
        packet.stream = h.BE16(kPacketStream);
        packet.timestamp = h.BE32(kPacketTimestamp);
        packet.keyFrame =
            ((packet.version == 0 ? p[kPacketFlagsV0] : p[kPacketAsmFlagsV1]) & kKeyFrameFlag) != 0;
        packet.bytes = p;
        m_at += length;
        ++m_chunkPackets;
        return S_OK;
    }
    return S_FALSE;
}

}  // namespace rm
