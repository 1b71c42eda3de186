// AVI: each RIFF chunk (the first "AVI ", then any OpenDML "AVIX") says how long it is; a file
// that ends inside one was cut. The main header (or the OpenDML header) says how many frames
// the whole file has; the conversion module's scan counted those that are there.
#include <algorithm>

#include "platform/bytes.h"
#include "probe/cut_short.h"

namespace {

constexpr size_t kHeadBytes = 64 * 1024;
constexpr size_t kChunkHeadBytes = 8;  // id and 32-bit size
constexpr size_t kListHeadBytes = 12;  // "LIST", size, list type
constexpr size_t kFormType = 8;
constexpr size_t kRiffSize = 4;
// The main header "avih": microseconds per frame and the frame count (of the first RIFF).
constexpr size_t kAvihMicroSecondsPerFrame = 0;
constexpr size_t kAvihTotalFrames = 16;
constexpr size_t kAvihBytes = 56;
// The OpenDML header "dmlh": the frame count of the whole file.
constexpr size_t kDmlhTotalFrames = 0;
// RIFF chunks a file may have in a row (OpenDML files of 1 GB each).
constexpr int kMaxRiffChunks = 4096;

struct AviPromise {
    double seconds = -1;
    uint64_t moviData = 0;  // where the first RIFF's frames start
};

uint64_t Padded(uint64_t size) {
    return size + (size & 1);
}

// The frame count and rate of the header list that starts at `list` in `head`.
void ReadHeaderList(ByteReader head, size_t list, size_t end, AviPromise& promise) {
    double microseconds = 0;
    uint32_t frames = 0;
    uint32_t openDmlFrames = 0;
    size_t at = list + kListHeadBytes;
    while (at + kChunkHeadBytes <= end && head.Has(at, kChunkHeadBytes)) {
        uint32_t size = head.LE32(at + kRiffSize);
        if (head.Matches(at, "avih") && head.Has(at + kChunkHeadBytes, kAvihBytes)) {
            microseconds = head.LE32(at + kChunkHeadBytes + kAvihMicroSecondsPerFrame);
            frames = head.LE32(at + kChunkHeadBytes + kAvihTotalFrames);
        } else if (head.Matches(at, "LIST") && head.Matches(at + kFormType, "odml") &&
                   head.Matches(at + kListHeadBytes, "dmlh")) {
            openDmlFrames = head.LE32(at + kListHeadBytes + kChunkHeadBytes + kDmlhTotalFrames);
        }
        at += static_cast<size_t>(Padded(size)) + kChunkHeadBytes;
    }
    uint32_t total = openDmlFrames != 0 ? openDmlFrames : frames;
    if (total != 0 && microseconds > 0) {
        promise.seconds = total * microseconds / 1e6;
    }
}

void ReadPromise(ByteReader head, AviPromise& promise) {
    size_t end = std::min<uint64_t>(head.size(), Padded(head.LE32(kRiffSize)) + kChunkHeadBytes);
    size_t at = kListHeadBytes;
    while (at + kListHeadBytes <= end && head.Has(at, kListHeadBytes)) {
        uint32_t size = head.LE32(at + kRiffSize);
        if (head.Matches(at, "LIST") && head.Matches(at + kFormType, "hdrl")) {
            ReadHeaderList(head, at, std::min<uint64_t>(end, at + kChunkHeadBytes + size), promise);
        } else if (head.Matches(at, "LIST") && head.Matches(at + kFormType, "movi")) {
            promise.moviData = at + kListHeadBytes;
            return;
        }
        at += static_cast<size_t>(Padded(size)) + kChunkHeadBytes;
    }
}

}  // namespace

CutShortFinding FindAviCutShort(const CutShortReadAt& read, uint64_t fileSize,
                                double scannedSeconds) {
    std::vector<uint8_t> headBytes = ReadSpan(read, 0, kHeadBytes);
    ByteReader head(headBytes);
    if (!head.Matches(0, "RIFF") || !head.Matches(kFormType, "AVI ") || head.LE32(kRiffSize) == 0) {
        return {};  // a capture that never wrote its sizes says nothing of its length
    }
    AviPromise promise;
    ReadPromise(head, promise);

    // The RIFF chunks one after the other, up to the end of the file.
    uint64_t at = 0;
    uint64_t promisedEnd = 0;
    for (int chunk = 0; chunk < kMaxRiffChunks && at + kListHeadBytes <= fileSize; ++chunk) {
        std::vector<uint8_t> riff = ReadSpan(read, at, kListHeadBytes);
        ByteReader bytes(riff);
        if (!bytes.Matches(0, "RIFF")) {
            break;  // something else follows the last RIFF chunk
        }
        promisedEnd = at + kChunkHeadBytes + Padded(bytes.LE32(kRiffSize));
        if (promisedEnd > fileSize + 1) {  // a missing pad byte at the very end is no cut
            break;
        }
        at = promisedEnd;
    }
    if (promisedEnd <= fileSize + 1) {
        return {};
    }
    CutShortFinding finding;
    finding.cutShort = true;
    finding.promisedSeconds = promise.seconds;
    if (scannedSeconds >= 0) {
        finding.readableSeconds = scannedSeconds;
    } else if (promise.seconds > 0 && promise.moviData != 0 && fileSize > promise.moviData &&
               promisedEnd > promise.moviData) {
        finding.readableSeconds = promise.seconds *
                                  static_cast<double>(fileSize - promise.moviData) /
                                  static_cast<double>(promisedEnd - promise.moviData);
    }
    if (promise.seconds > 0 && finding.readableSeconds > promise.seconds) {
        finding.readableSeconds = promise.seconds;
    }
    return finding;
}
