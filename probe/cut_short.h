// Whether a file holds what its header promises: a download that stopped, or a copy that was
// cut, keeps a header that speaks of the whole file. Each kind is judged from the head and the
// tail of the file only (a few reads, whatever its size), so that adding a file stays quick.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Reads up to `count` bytes at `offset`; returns how many it read.
using CutShortReadAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t count)>;

struct CutShortFinding {
    bool cutShort = false;
    // About how much of the file can be read, and how long its header says it is; negative
    // when not known (an MPEG program stream says nothing of its length).
    double readableSeconds = -1;
    double promisedSeconds = -1;
    // The data is whole, but what the header says follows it (its index) is not there.
    bool indexMissing = false;
};

// "cut short: about 1.0 s of 40.6 s can be read"; empty for a file that is whole.
std::string CutShortText(const CutShortFinding& finding);

// One judge per kind over the file's bytes. `scannedSeconds` is what the conversion module's
// scan of an AVI or MPEG file counted (its packets up to the end of the file), or negative.
CutShortFinding FindAsfCutShort(const CutShortReadAt& read, uint64_t fileSize);
CutShortFinding FindRmCutShort(const CutShortReadAt& read, uint64_t fileSize);
CutShortFinding FindAviCutShort(const CutShortReadAt& read, uint64_t fileSize,
                                double scannedSeconds);
CutShortFinding FindMpegCutShort(const CutShortReadAt& read, uint64_t fileSize,
                                 double scannedSeconds);

// A judge of one type of file, as the four above.
using CutShortJudge = std::function<CutShortFinding(const CutShortReadAt& read, uint64_t fileSize,
                                                    double scannedSeconds)>;

// `judge` over the file at `path`; a file that cannot be read is not judged.
CutShortFinding FindCutShort(const std::string& path, const CutShortJudge& judge,
                             double scannedSeconds);

// The bytes [offset, offset + count) of a source, fewer at its end (for the judges).
std::vector<uint8_t> ReadSpan(const CutShortReadAt& read, uint64_t offset, size_t count);
