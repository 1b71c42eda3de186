#include "probe/cut_short.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "probe/header_file.h"

namespace {
std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}
}  // namespace

std::string CutShortText(const CutShortFinding& finding) {
    if (!finding.cutShort) {
        return {};
    }
    bool promised = finding.promisedSeconds > 0;
    if (finding.indexMissing) {
        return "cut short: its index is missing" +
               (promised ? "; all " + Seconds(finding.promisedSeconds) + " can be read"
                         : std::string());
    }
    if (finding.readableSeconds < 0) {
        return promised ? "cut short: it ends before its " + Seconds(finding.promisedSeconds)
                        : std::string("cut short: it ends inside its last packet");
    }
    if (finding.readableSeconds < 0.05) {
        return promised ? "cut short: nothing of its " + Seconds(finding.promisedSeconds) +
                              " can be read"
                        : std::string("cut short: nothing of it can be read");
    }
    std::string text = "cut short: about " + Seconds(finding.readableSeconds);
    if (promised) {
        text += " of " + Seconds(finding.promisedSeconds);
    }
    return text + " can be read";
}

std::vector<uint8_t> ReadSpan(const CutShortReadAt& read, uint64_t offset, size_t count) {
    std::vector<uint8_t> bytes(count);
    bytes.resize(read(offset, bytes.data(), count));
    return bytes;
}

CutShortFinding FindCutShort(const std::string& path, const CutShortJudge& judge,
                             double scannedSeconds) {
    HeaderFile file;
    struct stat status {};
    if (!judge || ::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        !file.Open(path)) {
        return {};
    }
    CutShortReadAt read = [&file](uint64_t offset, uint8_t* out, size_t count) {
        return file.ReadAt(offset, out, count);
    };
    return judge(read, static_cast<uint64_t>(status.st_size), scannedSeconds);
}
