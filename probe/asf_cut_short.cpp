// ASF: the File Properties say how many data packets of which size follow the header; a file
// shorter than that was cut, and the send time of its last whole packet says how far it goes.
#include <algorithm>

#include "engines/asf/asf_format.h"
#include "platform/bytes.h"
#include "platform/com.h"
#include "probe/cut_short.h"

namespace {

using namespace asf;

// A header larger than this (a cover picture of several megabytes) is not judged.
constexpr uint64_t kMaxJudgedHeader = 8ull << 20;
// Parity packets of old files carry no send time: look this many packets back for one that does.
constexpr int kPacketsLookedBack = 16;

struct AsfPromise {
    uint64_t packetCount = 0;
    uint32_t packetSize = 0;
    double seconds = -1;
    uint64_t dataStart = 0;
};

bool IsGuid(ByteReader bytes, size_t at, const GUID& guid) {
    return bytes.Has(at, kGuidBytes) && GuidFromBytes(bytes.data() + at) == guid;
}

bool ReadPromise(ByteReader head, uint64_t headerSize, AsfPromise& promise) {
    size_t at = kHeaderObjectFixed;
    while (at + kObjectHeaderSize <= headerSize && head.Has(at, kObjectHeaderSize)) {
        uint64_t size = head.LE64(at + kObjectSizeField);
        if (size < kObjectHeaderSize || size > headerSize - at) {
            return false;
        }
        if (IsGuid(head, at, kFileProperties) && size >= fileprops::kSize) {
            ByteReader props = head.Sub(at, fileprops::kSize);
            if ((props.LE32(fileprops::kFlags) & fileprops::kFlagBroadcast) != 0) {
                return false;  // a live stream's counts are not final
            }
            uint32_t minSize = props.LE32(fileprops::kMinPacketSize);
            if (minSize == 0 || minSize != props.LE32(fileprops::kMaxPacketSize)) {
                return false;
            }
            promise.packetCount = props.LE64(fileprops::kPacketCount);
            promise.packetSize = minSize;
            double play = static_cast<double>(props.LE64(fileprops::kPlayDuration)) /
                          static_cast<double>(kHundredNsPerSecond);
            double preroll = static_cast<double>(props.LE64(fileprops::kPreroll)) / 1000.0;
            promise.seconds = play > preroll ? play - preroll : -1;
            return promise.packetCount != 0;
        }
        at += static_cast<size_t>(size);
    }
    return false;
}

// The send time and duration of a packet (milliseconds), or false when it has none to read.
bool PacketEndMs(ByteReader packet, uint64_t& endMs) {
    size_t at = 0;
    uint8_t first = packet.U8(0);
    if ((first & packet::kErrorCorrectionPresent) != 0) {
        if ((first & packet::kErrorCorrectionOpaque) != 0) {
            return false;  // a parity packet
        }
        at = 1 + (first & packet::kErrorCorrectionLengthMask);
    }
    uint8_t lengthTypes = packet.U8(at);
    at += 2;  // the length type flags and the property flags
    at += LengthTypeSize((lengthTypes >> packet::kPacketLengthTypeShift) & 3);
    at += LengthTypeSize((lengthTypes >> packet::kSequenceTypeShift) & 3);
    at += LengthTypeSize((lengthTypes >> packet::kPaddingTypeShift) & 3);
    if (!packet.Has(at, 6)) {
        return false;
    }
    endMs = uint64_t{packet.LE32(at)} + packet.LE16(at + 4);
    return true;
}

}  // namespace

CutShortFinding FindAsfCutShort(const CutShortReadAt& read, uint64_t fileSize) {
    std::vector<uint8_t> start = ReadSpan(read, 0, kHeaderObjectFixed);
    ByteReader first(start);
    if (!IsGuid(first, 0, kHeaderObject)) {
        return {};
    }
    uint64_t headerSize = first.LE64(kObjectSizeField);
    if (headerSize < kHeaderObjectFixed || headerSize > kMaxJudgedHeader) {
        return {};
    }
    std::vector<uint8_t> headBytes =
        ReadSpan(read, 0, static_cast<size_t>(headerSize) + kDataObjectFixed);
    ByteReader head(headBytes);
    AsfPromise promise;
    if (!ReadPromise(head, headerSize, promise)) {
        return {};
    }
    CutShortFinding finding;
    finding.promisedSeconds = promise.seconds;
    promise.dataStart = headerSize + kDataObjectFixed;
    if (head.size() < promise.dataStart) {
        finding.cutShort = true;  // not even the data object's head is there
        finding.readableSeconds = 0;
        return finding;
    }
    if (!IsGuid(head, static_cast<size_t>(headerSize), kDataObject)) {
        return {};
    }
    uint64_t promisedBytes = promise.packetCount * promise.packetSize;
    if (promisedBytes / promise.packetSize != promise.packetCount ||
        fileSize >= promise.dataStart + promisedBytes || fileSize < promise.dataStart) {
        return {};
    }
    finding.cutShort = true;
    uint64_t whole = (fileSize - promise.dataStart) / promise.packetSize;
    finding.readableSeconds = 0;
    for (int back = 0; back < kPacketsLookedBack && whole > static_cast<uint64_t>(back); ++back) {
        uint64_t at =
            promise.dataStart + (whole - 1 - static_cast<uint64_t>(back)) * promise.packetSize;
        std::vector<uint8_t> packet = ReadSpan(read, at, std::min<size_t>(promise.packetSize, 64));
        uint64_t endMs = 0;
        if (PacketEndMs(ByteReader(packet), endMs)) {
            finding.readableSeconds = static_cast<double>(endMs) / 1000.0;
            break;
        }
        // Without a send time to read, the share of the packets that are there.
        finding.readableSeconds = promise.seconds > 0
                                      ? promise.seconds * static_cast<double>(whole) /
                                            static_cast<double>(promise.packetCount)
                                      : -1;
    }
    if (promise.seconds > 0) {
        finding.readableSeconds = std::min(finding.readableSeconds, promise.seconds);
    }
    return finding;
}
