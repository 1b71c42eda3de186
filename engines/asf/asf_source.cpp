#include "engines/asf/asf_source.h"

#include <algorithm>

#include "engines/asf/asf_header_parser.h"

namespace asf {

namespace {
constexpr size_t kChunkBytes = size_t{256} * 1024;
constexpr int kMaxTrailingObjects = 64;

GUID ReadGuid(const uint8_t* p) {
    return GuidFromBytes(p);
}
}  // namespace

HRESULT ReadFileLayout(const File& file, Header* header, FileLayout* layout) {
    *layout = FileLayout{};
    layout->fileSize = file.Size();
    uint8_t head[kHeaderObjectFixed];
    if (FAILED(file.ReadAt(0, head, sizeof head))) {
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
    HRESULT hr = file.ReadAt(0, bytes.data(), bytes.size());
    if (FAILED(hr)) {
        return ASF_E_INVALIDHEADER;
    }
    hr = ParseHeaderObject(ByteReader(bytes), header);
    if (FAILED(hr)) {
        return hr;
    }
    layout->headerSize = headerSize;

    uint8_t data[kDataObjectFixed];
    if (FAILED(file.ReadAt(headerSize, data, sizeof data)) || ReadGuid(data) != kDataObject) {
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
    }
    if (count > room / layout->packetSize) {
        return ASF_E_BUFFEROVERRUN;  // the file was cut inside its data
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
        if (FAILED(file.ReadAt(off, obj, sizeof obj))) {
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
        off += size;
    }
    return S_OK;
}

HRESULT AsfSource::Open(const std::string& path) {
    Close();
    HRESULT hr = m_file.Open(path, File::Mode::Read);
    if (FAILED(hr)) {
        return hr;
    }
    hr = ReadFileLayout(m_file, &m_header, &m_layout);
    if (FAILED(hr)) {
        Close();
        return hr;
    }
    return SeekToPacket(0);
}

void AsfSource::Close() {
    m_file.Close();
    m_header = Header{};
    m_layout = FileLayout{};
    m_chunk.clear();
    m_chunk.shrink_to_fit();
    m_chunkCount = 0;
    m_ready.clear();
    m_assembler.Reset();
}

HRESULT AsfSource::SeekToPacket(uint64_t packetIndex) {
    if (!m_file.IsOpen()) {
        return ASF_E_INVALIDSTATE;
    }
    m_nextPacket = std::min(packetIndex, m_layout.packetCount);
    m_ready.clear();
    m_assembler.Reset();
    return S_OK;
}

uint64_t AsfSource::PacketForTime(uint64_t cnsTime) const {
    if (m_layout.simpleIndexOffset == 0) {
        return 0;
    }
    uint8_t fixed[kSimpleIndexFixed];
    if (FAILED(m_file.ReadAt(m_layout.simpleIndexOffset, fixed, sizeof fixed))) {
        return 0;
    }
    ByteReader r(fixed, sizeof fixed);
    uint64_t interval = r.LE64(40);
    uint32_t entries = r.LE32(52);
    if (interval == 0 || entries == 0 ||
        entries > (m_layout.simpleIndexSize - kSimpleIndexFixed) / kSimpleIndexEntrySize) {
        return 0;
    }
    uint64_t t = cnsTime + m_header.file.prerollMs * kUnitsPerMs;
    uint64_t i = std::min<uint64_t>(t / interval, entries - 1);
    uint8_t entry[kSimpleIndexEntrySize];
    if (FAILED(m_file.ReadAt(
            m_layout.simpleIndexOffset + kSimpleIndexFixed + i * kSimpleIndexEntrySize, entry,
            sizeof entry))) {
        return 0;
    }
    uint64_t packet = ByteReader(entry, sizeof entry).LE32(0);
    return packet < m_layout.packetCount ? packet : 0;
}

HRESULT AsfSource::LoadPacket(ByteReader* packet) {
    const uint64_t size = m_layout.packetSize;
    if (m_nextPacket < m_chunkFirst || m_nextPacket >= m_chunkFirst + m_chunkCount) {
        uint64_t perChunk = std::max<uint64_t>(1, kChunkBytes / size);
        uint64_t n = std::min(perChunk, m_layout.packetCount - m_nextPacket);
        m_chunk.resize(static_cast<size_t>(n * size));
        HRESULT hr = m_file.ReadAt(m_layout.firstPacketOffset + m_nextPacket * size, m_chunk.data(),
                                   m_chunk.size());
        if (FAILED(hr)) {
            m_chunkCount = 0;
            return hr;
        }
        m_chunkFirst = m_nextPacket;
        m_chunkCount = n;
    }
    *packet = ByteReader(m_chunk.data() + (m_nextPacket - m_chunkFirst) * size,
                         static_cast<size_t>(size));
    return S_OK;
}

HRESULT AsfSource::NextObject(MediaObject* out) {
    if (!m_file.IsOpen()) {
        return ASF_E_INVALIDSTATE;
    }
    while (m_ready.empty()) {
        if (m_nextPacket >= m_layout.packetCount) {
            return S_FALSE;
        }
        ByteReader packet;
        HRESULT hr = LoadPacket(&packet);
        if (FAILED(hr)) {
            return hr;
        }
        PacketInfo info;
        hr = ParseDataPacket(packet, &info, &m_payloads);
        if (FAILED(hr)) {
            return hr;
        }
        for (const Payload& p : m_payloads) {
            if (m_header.FindStream(p.stream) == nullptr) {
                continue;  // a payload of a stream the header does not declare
            }
            hr = m_assembler.Add(p, m_nextPacket, &m_ready);
            if (FAILED(hr)) {
                return hr;
            }
        }
        ++m_nextPacket;
    }
    *out = std::move(m_ready.front());
    m_ready.pop_front();
    return S_OK;
}

}  // namespace asf
