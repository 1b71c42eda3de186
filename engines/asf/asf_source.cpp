#include "engines/asf/asf_source.h"

#include <algorithm>

#include "engines/asf/asf_header_parser.h"
#include "engines/asf/wm_read_damage.h"

namespace asf {

namespace {
constexpr int kMaxTrailingObjects = 64;
// Packets parsed when a file is opened.
constexpr uint64_t kCheckedPackets = 8;

GUID ReadGuid(const uint8_t* p) {
    return GuidFromBytes(p);
}
}  // namespace

HRESULT ReadFileLayout(const File& file, Header* header, FileLayout* layout) {
    *layout = FileLayout{};
    layout->fileSize = file.Size();
    uint8_t head[kHeaderObjectFixed];
    if (FAILED(ReadAt(file, 0, head, sizeof head))) {
        return ASF_E_NOHEADEROBJECT;
    }
    ByteReader r(head, sizeof head);
    if (ReadGuid(head) != kHeaderObject) {
        return ASF_E_NOHEADEROBJECT;
    }
    uint64_t headerSize = r.LE64(16);
    if (headerSize > kMaxHeaderSize) {
        return ASF_E_HEADERSIZE;
    }
    if (headerSize < kHeaderObjectFixed || headerSize > layout->fileSize) {
        return ASF_E_INVALIDHEADER;
    }
    Bytes bytes(static_cast<size_t>(headerSize));
    HRESULT hr = ReadAt(file, 0, bytes.data(), bytes.size());
    if (FAILED(hr)) {
        return ASF_E_INVALIDHEADER;
    }
    hr = ParseHeaderObject(ByteReader(bytes), header);
    if (FAILED(hr)) {
        return hr;
    }
    layout->headerSize = headerSize;

    uint8_t data[kDataObjectFixed];
    if (FAILED(ReadAt(file, headerSize, data, sizeof data)) || ReadGuid(data) != kDataObject) {
        return ASF_E_NODATAOBJECT;
    }
    ByteReader d(data, sizeof data);
    layout->dataObjectOffset = headerSize;
    layout->dataObjectSize = d.LE64(16);
    layout->firstPacketOffset = headerSize + kDataObjectFixed;

    const FileProperties& f = header->file;
    if (f.minPacketSize != f.maxPacketSize || f.maxPacketSize == 0 ||
        f.maxPacketSize > kMaxPacketSize) {
        return ASF_E_INVALIDHEADER;
    }
    layout->packetSize = f.maxPacketSize;
    const uint64_t room = layout->fileSize - layout->firstPacketOffset;
    uint64_t count = d.LE64(40);
    if (count == 0 && (f.flags & fileprops::kFlagBroadcast) == 0) {
        count = f.packetCount;
    }
    if (count == 0) {
        // Unfinished or live-written: as many packets as the declared size or the file holds.
        uint64_t bytes = room;
        if (layout->dataObjectSize >= kDataObjectFixed &&
            layout->dataObjectSize - kDataObjectFixed < bytes) {
            bytes = layout->dataObjectSize - kDataObjectFixed;
        }
        count = bytes / layout->packetSize;
        // A declared size the file does not hold: it was cut (or its writing never finished).
        layout->cutShort = layout->dataObjectSize > kDataObjectFixed &&
                           layout->dataObjectSize - kDataObjectFixed > room;
    }
    const uint64_t whole = room / layout->packetSize;
    if (count > whole || layout->cutShort) {
        // Cut inside its data: the whole packets are read, the rest is left out.
        layout->cutShort = true;
        count = std::min(count, whole);
    }
    if (count == 0 && layout->cutShort) {
        return ASF_E_BUFFEROVERRUN;  // not one whole packet
    }
    layout->packetCount = count;

    // Index objects after the data; the first Simple Index serves seeking.
    uint64_t off = layout->firstPacketOffset + count * layout->packetSize;
    if (layout->dataObjectSize >= kDataObjectFixed &&
        layout->dataObjectSize <= layout->fileSize - headerSize) {
        off = std::max(off, headerSize + layout->dataObjectSize);
    }
    for (int i = 0; i < kMaxTrailingObjects && off + kObjectHeaderSize <= layout->fileSize; ++i) {
        uint8_t obj[kObjectHeaderSize];
        if (FAILED(ReadAt(file, off, obj, sizeof obj))) {
            break;
        }
        uint64_t size = ByteReader(obj, sizeof obj).LE64(16);
        if (size < kObjectHeaderSize || size > layout->fileSize - off) {
            break;
        }
        if (ReadGuid(obj) == kSimpleIndexObject && layout->simpleIndexOffset == 0 &&
            size >= kSimpleIndexFixed) {
            layout->simpleIndexOffset = off;
            layout->simpleIndexSize = size;
        }
        layout->hasIndexObject = layout->hasIndexObject || ReadGuid(obj) == kIndexObject;
        off += size;
    }
    return S_OK;
}

HRESULT CheckFirstPackets(const File& file, const FileLayout& layout) {
    const uint64_t count = std::min(kCheckedPackets, layout.packetCount);
    if (count == 0) {
        return S_OK;
    }
    Bytes bytes(static_cast<size_t>(count * layout.packetSize));
    HRESULT hr = ReadAt(file, layout.firstPacketOffset, bytes.data(), bytes.size());
    if (FAILED(hr)) {
        return hr;
    }
    PacketInfo info;
    std::vector<Payload> payloads;
    hr = ASF_E_BADDATAUNIT;
    for (uint64_t i = 0; i < count && FAILED(hr); ++i) {
        ByteReader packet(bytes.data() + i * layout.packetSize, layout.packetSize);
        hr = ParseDataPacket(packet, &info, &payloads);
    }
    return hr;
}

HRESULT AsfSource::Open(const std::string& path) {
    Close();
    HRESULT hr = OpenFile(m_file, path, File::Mode::Read);
    if (FAILED(hr)) {
        return hr;
    }
    hr = ReadFileLayout(m_file, &m_header, &m_layout);
    if (SUCCEEDED(hr)) {
        hr = CheckFirstPackets(m_file, m_layout);
    }
    if (FAILED(hr)) {
        Close();
        return hr;
    }
    return SeekToPacket(0);
}

void AsfSource::ReleaseBlock() {
    m_block.reset();
}

void AsfSource::Close() {
    ReleaseBlock();
    m_ahead.reset();
    m_file.Close();
    m_header = Header{};
    m_layout = FileLayout{};
    m_ready.clear();
    m_assembler.Reset();
}

HRESULT AsfSource::SeekToPacket(uint64_t packetIndex) {
    if (!m_file.IsOpen()) {
        return ASF_E_INVALIDSTATE;
    }
    m_nextPacket = std::min(packetIndex, m_layout.packetCount);
    ReleaseBlock();
    if (m_ahead) {
        m_ahead->Start(m_nextPacket);
    }
    m_ready.clear();
    m_assembler.Reset();
    m_damaged = 0;
    m_packetsRead = 0;
    return S_OK;
}

uint64_t AsfSource::PacketForTime(uint64_t cnsTime) const {
    if (m_layout.simpleIndexOffset == 0) {
        return 0;
    }
    uint8_t fixed[kSimpleIndexFixed];
    if (FAILED(ReadAt(m_file, m_layout.simpleIndexOffset, fixed, sizeof fixed))) {
        return 0;
    }
    ByteReader r(fixed, sizeof fixed);
    uint64_t interval = r.LE64(40);
    uint32_t entries = r.LE32(52);
    if (interval == 0 || entries == 0 ||
        entries > (m_layout.simpleIndexSize - kSimpleIndexFixed) / kSimpleIndexEntrySize) {
        return 0;
    }
    uint64_t t = cnsTime + UnitsFromMs(m_header.file.prerollMs);
    uint64_t i = std::min<uint64_t>(t / interval, entries - 1);
    uint8_t entry[kSimpleIndexEntrySize];
    if (FAILED(ReadAt(m_file,
                      m_layout.simpleIndexOffset + kSimpleIndexFixed + i * kSimpleIndexEntrySize,
                      entry, sizeof entry))) {
        return 0;
    }
    uint64_t packet = ByteReader(entry, sizeof entry).LE32(0);
    return packet < m_layout.packetCount ? packet : 0;
}

HRESULT AsfSource::LoadPacket(ByteReader* packet) {
    const uint64_t size = m_layout.packetSize;
    if (m_block == nullptr || m_nextPacket < m_block->firstPacket ||
        m_nextPacket >= m_block->firstPacket + m_block->packets) {
        // Reading starts with the first packet wanted, so that opening a file for its header
        // alone starts no thread.
        if (!m_ahead) {
            m_ahead = std::make_unique<ReadAhead>(m_file, m_layout.firstPacketOffset,
                                                  m_layout.packetSize, m_layout.packetCount);
            m_ahead->Start(m_nextPacket);
        }
        ReleaseBlock();
        HRESULT hr = m_ahead->Next(&m_block);
        if (hr != S_OK) {
            m_block.reset();
            return FAILED(hr) ? hr : ASF_E_INVALIDSTATE;
        }
        if (m_nextPacket < m_block->firstPacket ||
            m_nextPacket >= m_block->firstPacket + m_block->packets) {
            ReleaseBlock();
            return ASF_E_INVALIDSTATE;
        }
    }
    *packet = ByteReader(m_block->bytes.data() + (m_nextPacket - m_block->firstPacket) * size,
                         static_cast<size_t>(size));
    return S_OK;
}

HRESULT AsfSource::NextObject(MediaObject* out) {
    if (!m_file.IsOpen()) {
        return ASF_E_INVALIDSTATE;
    }
    while (m_ready.empty()) {
        if (m_nextPacket >= m_layout.packetCount) {
            // Read to the end: the blocks are not needed while the file stays open.
            ReleaseBlock();
            m_ahead.reset();
            const uint64_t damaged = m_damaged.load();
            if (m_packetsRead > 0 && damaged == m_packetsRead) {
                return KJ_E_NO_READABLE_PACKET;
            }
            if (damaged * 2 > m_packetsRead) {
                return KJ_E_MOSTLY_DAMAGED;
            }
            return S_FALSE;
        }
        ByteReader packet;
        HRESULT hr = LoadPacket(&packet);
        if (FAILED(hr)) {
            return hr;
        }
        PacketInfo info;
        ++m_packetsRead;
        hr = ParseDataPacket(packet, &info, &m_payloads);
        for (size_t i = 0; SUCCEEDED(hr) && i < m_payloads.size(); ++i) {
            const Payload& p = m_payloads[i];
            if (m_header.FindStream(p.stream) == nullptr) {
                continue;  // a payload of a stream the header does not declare
            }
            // Objects point into the read block rather than copy it.
            hr = m_assembler.Add(p, m_nextPacket, &m_ready, m_block);
        }
        if (FAILED(hr)) {
            // Packets have a fixed size: the next one starts where it always would.
            ++m_damaged;
            m_assembler.NoteLoss();
        }
        ++m_nextPacket;
    }
    *out = std::move(m_ready.front());
    m_ready.pop_front();
    return S_OK;
}

}  // namespace asf
