// Packs media objects into fixed-size data packets, fragmenting objects across packets, and
// hands finished packets on a batch at a time, built in place in the buffer
// that goes to the file, so that the bytes are copied once on their way there.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engines/asf/asf_model.h"
#include "engines/asf/object_bytes.h"

namespace asf {

// Where the packetizer builds its batches of packets and sends them when full.
class PacketBatches {
public:
    virtual ~PacketBatches() = default;
    virtual size_t Capacity() const = 0;
    // The buffer (Capacity bytes) to build the next batch in.
    virtual uint8_t* NextBatch() = 0;
    // Takes the first `size` bytes of the buffer last given, whole packets back to back; the
    // packetizer does not touch that buffer again.
    virtual HRESULT Send(size_t size) = 0;
};

class Packetizer {
public:
    // Receives whole packets back to back (size is a multiple of the packet size).
    using Sink = std::function<HRESULT(const uint8_t* packets, size_t size)>;

    // Batches of about a megabyte in a buffer of its own, handed to `sink`.
    Packetizer(uint32_t packetSize, uint64_t prerollMs, Sink sink);
    // Batches built in the buffers `batches` gives (which must outlive the packetizer).
    Packetizer(uint32_t packetSize, uint64_t prerollMs, PacketBatches* batches);

    // Where an object landed: the packets holding its first and last byte.
    struct Placement {
        uint64_t firstPacket = 0;
        uint64_t lastPacket = 0;
    };

    // `replicatedExtension` is the payload extension data every payload of the object repeats.
    HRESULT AddObject(uint8_t stream, uint32_t presentationMs, bool keyFrame, const uint8_t* data,
                      size_t size, const Bytes& replicatedExtension, Placement* placement);
    // The same for bytes that lie in pieces: each is copied once, into its packets.
    HRESULT AddObject(uint8_t stream, uint32_t presentationMs, bool keyFrame,
                      const ObjectBytes& bytes, const Bytes& replicatedExtension,
                      Placement* placement);
    // Sends the packet being filled, if any, and everything not yet sent.
    HRESULT Finish();

    uint64_t PacketCount() const { return m_packetCount; }
    uint32_t LastSendTimeMs() const { return m_lastSendTime; }
    // Whether a payload of this kind fits an empty packet at all.
    bool Fits(size_t replicatedExtensionBytes) const;

private:
    void BeginPacket(uint32_t sendTimeMs);
    HRESULT SendPacket();
    HRESULT FlushBatch();
    uint8_t* Current();

    uint32_t m_packetSize;
    uint64_t m_prerollMs;
    std::unique_ptr<PacketBatches> m_ownBatches;  // with a sink
    PacketBatches* m_batches = nullptr;
    uint8_t* m_batch = nullptr;  // the batch being filled, if any
    size_t m_batchPackets = 1;
    size_t m_inBatch = 0;
    size_t m_used = 0;
    unsigned m_payloads = 0;
    bool m_open = false;
    uint64_t m_packetCount = 0;
    uint32_t m_lastSendTime = 0;
    uint8_t m_objectNumbers[128] = {};
};

}  // namespace asf
