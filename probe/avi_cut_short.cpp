// AVI: each RIFF chunk (the first "AVI ", then any OpenDML "AVIX") says how long it is; a file
// that ends inside one was cut. The main header (or the OpenDML header) says how many frames
// the whole file has; the conversion module's scan counted those that are there.
#include <algorithm>

#include "platform/bytes.h"
#include "platform/riff_format.h"
#include "probe/cut_short.h"

namespace {

constexpr size_t kHeadBytes = 64 * 1024;
// RIFF chunks a file may have in a row (OpenDML files of 1 GB each).
constexpr int kMaxRiffChunks = 4096;

struct AviPromise {
    double seconds = -1;
    uint64_t moviData = 0;  // where the first RIFF's frames start
};

// The frame count and rate of the header list that starts at `list` in `head`.
void ReadHeaderList(ByteReader head, size_t list, size_t end, AviPromise& promise) {
    double microseconds = 0;
    uint32_t frames = 0;
    uint32_t openDmlFrames = 0;
    size_t at = list + riff::kListHeaderBytes;
    while (at + riff::kChunkHeaderBytes <= end && head.Has(at, riff::kChunkHeaderBytes)) {
        uint32_t size = head.LE32(at + riff::kChunkSizeOffset);
        if (head.Matches(at, riff::kMainHeader) &&
            head.Has(at + riff::kChunkHeaderBytes, riff::avih::kBytes)) {
            microseconds =
                head.LE32(at + riff::kChunkHeaderBytes + riff::avih::kMicroSecondsPerFrame);
            frames = head.LE32(at + riff::kChunkHeaderBytes + riff::avih::kTotalFrames);
        } else if (head.Matches(at, riff::kList) &&
                   head.Matches(at + riff::kFormTypeOffset, riff::kOpenDmlList) &&
                   head.Matches(at + riff::kListHeaderBytes, riff::kOpenDmlHeader)) {
            openDmlFrames = head.LE32(at + riff::kListHeaderBytes + riff::kChunkHeaderBytes +
                                      riff::dmlh::kTotalFrames);
        }
        at += static_cast<size_t>(riff::PaddedChunkBytes(size));
    }
    uint32_t total = openDmlFrames != 0 ? openDmlFrames : frames;
    if (total != 0 && microseconds > 0) {
        promise.seconds = total * microseconds / 1e6;
    }
}

void ReadPromise(ByteReader head, AviPromise& promise) {
    size_t end =
        std::min<uint64_t>(head.size(), riff::PaddedChunkBytes(head.LE32(riff::kChunkSizeOffset)));
    size_t at = riff::kListHeaderBytes;
    while (at + riff::kListHeaderBytes <= end && head.Has(at, riff::kListHeaderBytes)) {
        uint32_t size = head.LE32(at + riff::kChunkSizeOffset);
        if (head.Matches(at, riff::kList) &&
            head.Matches(at + riff::kFormTypeOffset, riff::kHeaderList)) {
            ReadHeaderList(head, at, std::min<uint64_t>(end, at + riff::kChunkHeaderBytes + size),
                           promise);
        } else if (head.Matches(at, riff::kList) &&
                   head.Matches(at + riff::kFormTypeOffset, riff::kMovieList)) {
            promise.moviData = at + riff::kListHeaderBytes;
            return;
        }
        at += static_cast<size_t>(riff::PaddedChunkBytes(size));
    }
}

}  // namespace

CutShortFinding FindAviCutShort(const CutShortReadAt& read, uint64_t fileSize,
                                double scannedSeconds) {
    std::vector<uint8_t> headBytes = ReadSpan(read, 0, kHeadBytes);
    ByteReader head(headBytes);
    if (!head.Matches(0, riff::kRiff) || !head.Matches(riff::kFormTypeOffset, riff::kFormAvi) ||
        head.LE32(riff::kChunkSizeOffset) == 0) {
        return {};  // a capture that never wrote its sizes says nothing of its length
    }
    AviPromise promise;
    ReadPromise(head, promise);

    // The RIFF chunks one after the other, up to the end of the file.
    uint64_t at = 0;
    uint64_t promisedEnd = 0;
    for (int chunk = 0; chunk < kMaxRiffChunks && at + riff::kListHeaderBytes <= fileSize;
         ++chunk) {
        std::vector<uint8_t> chunkHead = ReadSpan(read, at, riff::kListHeaderBytes);
        ByteReader bytes(chunkHead);
        if (!bytes.Matches(0, riff::kRiff)) {
            break;  // something else follows the last RIFF chunk
        }
        promisedEnd = at + riff::PaddedChunkBytes(bytes.LE32(riff::kChunkSizeOffset));
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
