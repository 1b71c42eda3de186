// An ASF file opened for reading: its header, where its data packets lie, and its media objects
// in file order. The packets are read a block ahead on a thread of their own while the ones
// before are parsed, a few blocks at a time, so that memory does not grow with the file.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engines/asf/asf_model.h"
#include "engines/asf/asf_object_assembler.h"
#include "engines/asf/asf_packet_parser.h"
#include "engines/asf/block_io.h"
#include "engines/asf/file_io.h"

namespace asf {

struct FileLayout {
    uint64_t fileSize = 0;
    uint64_t headerSize = 0;
    uint64_t dataObjectOffset = 0;
    uint64_t dataObjectSize = 0;  // as declared (0 when unknown)
    uint64_t firstPacketOffset = 0;
    uint64_t packetCount = 0;
    uint32_t packetSize = 0;
    // The file ends inside its data: packetCount counts its whole packets only.
    bool cutShort = false;
    uint64_t simpleIndexOffset = 0;  // 0 when there is none
    uint64_t simpleIndexSize = 0;
    bool hasIndexObject = false;
};

// Reads the top-level layout and the header of an open file.
HRESULT ReadFileLayout(const File& file, Header* header, FileLayout* layout);
// Whether any of the first data packets of a file parses: ASF_E_BADDATAUNIT when none does, so
// that a file in a packet layout this module cannot read fails to open rather than part way.
HRESULT CheckFirstPackets(const File& file, const FileLayout& layout);

class AsfSource {
public:
    HRESULT Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_file.IsOpen(); }

    const Header& header() const { return m_header; }
    const FileLayout& layout() const { return m_layout; }

    // Positions the reading at a data packet and forgets partial objects.
    HRESULT SeekToPacket(uint64_t packetIndex);
    // The packet to start from for a time (100 ns, preroll not included), from the Simple
    // Index; packet 0 without one.
    uint64_t PacketForTime(uint64_t cnsTime) const;
    // The next whole media object in file order; S_FALSE after the last one. A data packet that
    // does not parse is skipped and counted; the objects it cut into are dropped and the next
    // of each stream marked as following a loss. At the end, KJ_E_NO_READABLE_PACKET or
    // KJ_E_MOSTLY_DAMAGED instead of S_FALSE when none or fewer than half of the packets parsed.
    HRESULT NextObject(MediaObject* out);
    // Packets skipped so far; any thread.
    uint64_t DamagedPackets() const { return m_damaged.load(); }

private:
    HRESULT LoadPacket(ByteReader* packet);

    void ReleaseBlock();

    File m_file;
    Header m_header;
    FileLayout m_layout;
    std::unique_ptr<ReadAhead> m_ahead;               // reads m_file: goes before it
    std::shared_ptr<const ReadAhead::Block> m_block;  // holds the packets being parsed
    uint64_t m_nextPacket = 0;
    ObjectAssembler m_assembler;
    std::deque<MediaObject> m_ready;
    std::vector<Payload> m_payloads;
    std::atomic<uint64_t> m_damaged{0};
    // Packets read since the last seek: a file is judged on a reading from its start.
    uint64_t m_packetsRead = 0;
};

}  // namespace asf
