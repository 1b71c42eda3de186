#include "engines/asf/asf_packetizer.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"

namespace asf {

namespace {
// A fragment smaller than this is not worth its payload header: the packet is sent instead.
constexpr size_t kMinFragment = 32;
constexpr size_t kBatchBytes = 1 << 20;
// Packet header fields as this writer lays them out.
constexpr size_t kEcFlagsField = 0;
constexpr size_t kLengthTypeField = 3;
constexpr size_t kPropertyField = 4;
constexpr size_t kPaddingField = 5;
constexpr size_t kSendTimeField = 7;
constexpr size_t kPayloadFlagsField = 13;
// Fields of one payload as this writer lays it out (replicated data: object size, time, extension).
constexpr size_t kPayloadStream = 0;
constexpr size_t kPayloadObjectNumber = 1;
constexpr size_t kPayloadOffset = 2;
constexpr size_t kPayloadReplicatedLength = 6;
constexpr size_t kPayloadObjectSize = 7;
constexpr size_t kPayloadTime = 11;
constexpr size_t kPayloadExtension = 15;
static_assert(kPayloadObjectSize + packet::kMinReplicatedLength == kPayloadExtension);
static_assert(kPayloadObjectSize + 2 == packet::kWriterPayloadHeaderSize);
static_assert(kPayloadFlagsField + 1 == packet::kWriterPacketHeaderSize);

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}
}  // namespace

namespace {
// Batches in a buffer of the packetizer's own, handed to a callback.
class SinkBatches final : public PacketBatches {
public:
    SinkBatches(size_t capacity, Packetizer::Sink sink)
        : m_buffer(capacity), m_sink(std::move(sink)) {}
    size_t Capacity() const override { return m_buffer.size(); }
    uint8_t* NextBatch() override { return m_buffer.data(); }
    HRESULT Send(size_t size) override { return m_sink(m_buffer.data(), size); }

private:
    std::vector<uint8_t> m_buffer;
    Packetizer::Sink m_sink;
};
}  // namespace

Packetizer::Packetizer(uint32_t packetSize, uint64_t prerollMs, Sink sink)
    : m_packetSize(packetSize), m_prerollMs(prerollMs) {
    size_t packets = std::max<size_t>(1, kBatchBytes / std::max<uint32_t>(packetSize, 1));
    m_ownBatches = std::make_unique<SinkBatches>(packets * packetSize, std::move(sink));
    m_batches = m_ownBatches.get();
    m_batchPackets = packets;
}

Packetizer::Packetizer(uint32_t packetSize, uint64_t prerollMs, PacketBatches* batches)
    : m_packetSize(packetSize), m_prerollMs(prerollMs), m_batches(batches) {
    m_batchPackets = std::max<size_t>(1, batches->Capacity() / std::max<uint32_t>(packetSize, 1));
}

uint8_t* Packetizer::Current() {
    if (m_batch == nullptr) {
        m_batch = m_batches->NextBatch();
    }
    return m_batch + m_inBatch * m_packetSize;
}

bool Packetizer::Fits(size_t extensionBytes) const {
    return packet::kWriterPacketHeaderSize + packet::kWriterPayloadHeaderSize +
               packet::kMinReplicatedLength + extensionBytes + 1 <=
           m_packetSize;
}

void Packetizer::BeginPacket(uint32_t sendTimeMs) {
    uint8_t* p = Current();
    std::memset(p, 0, packet::kWriterPacketHeaderSize);
    p[kEcFlagsField] = packet::kWriterEcFlags;  // then two bytes of error-correction data
    p[kLengthTypeField] = packet::kWriterLengthTypeFlags;
    p[kPropertyField] = packet::kWriterPropertyFlags;
    // Send times never go back, whatever order the objects' times come in.
    m_lastSendTime = std::max(m_lastSendTime, sendTimeMs);
    Put32(p + kSendTimeField, m_lastSendTime);
    m_used = packet::kWriterPacketHeaderSize;
    m_payloads = 0;
    m_open = true;
}

HRESULT Packetizer::SendPacket() {
    uint8_t* p = Current();
    // Only the padding needs clearing: everything before it was written for this packet.
    std::memset(p + m_used, 0, m_packetSize - m_used);
    Put16(p + kPaddingField, static_cast<uint16_t>(m_packetSize - m_used));
    p[kPayloadFlagsField] = static_cast<uint8_t>(packet::kWriterPayloadFlags | m_payloads);
    m_open = false;
    ++m_packetCount;
    ++m_inBatch;
    return m_inBatch == m_batchPackets ? FlushBatch() : S_OK;
}

HRESULT Packetizer::FlushBatch() {
    if (m_inBatch == 0) {
        return S_OK;
    }
    size_t n = m_inBatch * m_packetSize;
    m_inBatch = 0;
    m_batch = nullptr;
    return m_batches->Send(n);
}

HRESULT Packetizer::AddObject(uint8_t stream, uint32_t presentationMs, bool keyFrame,
                              const uint8_t* data, size_t size, const Bytes& extension,
                              Placement* placement) {
    ObjectBytes bytes;
    bytes.Append(data, size, std::shared_ptr<const void>(data, [](const void*) {}));
    return AddObject(stream, presentationMs, keyFrame, bytes, extension, placement);
}

HRESULT Packetizer::AddObject(uint8_t stream, uint32_t presentationMs, bool keyFrame,
                              const ObjectBytes& bytes, const Bytes& extension,
                              Placement* placement) {
    const size_t size = bytes.size();
    ObjectBytes::Reader data(bytes);
    if (stream == 0 || stream > packet::kStreamNumberMask || !Fits(extension.size()) ||
        size > kMaxMediaObjectSize) {
        return E_INVALIDARG;
    }
    const size_t replicated = packet::kMinReplicatedLength + extension.size();
    const size_t overhead = packet::kWriterPayloadHeaderSize + replicated;
    const uint32_t sendTime =
        presentationMs > m_prerollMs ? static_cast<uint32_t>(presentationMs - m_prerollMs) : 0;
    const uint8_t objectNumber = m_objectNumbers[stream]++;
    size_t offset = 0;
    bool first = true;
    while (first || offset < size) {
        if (!m_open) {
            BeginPacket(sendTime);
        }
        size_t free = m_packetSize - m_used;
        size_t remaining = size - offset;
        size_t room = free > overhead ? std::min<size_t>(free - overhead, 0xFFFF) : 0;
        bool full = m_payloads == packet::kMaxPayloadsPerPacket;
        bool tooSmall = room < remaining && room < kMinFragment && m_payloads > 0;
        if (full || tooSmall || (room == 0 && remaining > 0)) {
            HRESULT hr = SendPacket();
            if (FAILED(hr)) {
                return hr;
            }
            continue;
        }
        size_t n = std::min(room, remaining);
        if (first) {
            placement->firstPacket = m_packetCount;
        }
        uint8_t* p = Current() + m_used;
        p[kPayloadStream] = static_cast<uint8_t>(stream | (keyFrame ? packet::kKeyFrameBit : 0));
        p[kPayloadObjectNumber] = objectNumber;
        Put32(p + kPayloadOffset, static_cast<uint32_t>(offset));
        p[kPayloadReplicatedLength] = static_cast<uint8_t>(replicated);
        Put32(p + kPayloadObjectSize, static_cast<uint32_t>(size));
        Put32(p + kPayloadTime, presentationMs);
        if (!extension.empty()) {
            std::memcpy(p + kPayloadExtension, extension.data(), extension.size());
        }
        // The payload length follows the replicated data.
        Put16(p + kPayloadObjectSize + replicated, static_cast<uint16_t>(n));
        if (n > 0) {
            data.Copy(p + overhead, n);
        }
        m_used += overhead + n;
        ++m_payloads;
        offset += n;
        first = false;
        placement->lastPacket = m_packetCount;
    }
    return S_OK;
}

HRESULT Packetizer::Finish() {
    if (m_open && m_payloads > 0) {
        HRESULT hr = SendPacket();
        if (FAILED(hr)) {
            return hr;
        }
    }
    m_open = false;
    return FlushBatch();
}

}  // namespace asf
