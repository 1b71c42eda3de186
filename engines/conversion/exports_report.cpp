// What a join tells about each of its inputs, beyond the designed table.
#include <algorithm>
#include <cstring>

#include "engines/conversion/mcl_exports.h"
#include "engines/conversion/mpeg_copy_join.h"

extern "C" {

int32_t MclGetInputReport(MclHandle conversion, int32_t input, double* startSeconds,
                          double* durationSeconds, char* warning, int32_t warningBytes) {
    std::vector<CopiedInputReport> reports = CopiedInputReports(conversion);
    if (input < 0 || static_cast<size_t>(input) >= reports.size()) {
        return 0;
    }
    const CopiedInputReport& r = reports[static_cast<size_t>(input)];
    if (startSeconds != nullptr) {
        *startSeconds = r.startSeconds;
    }
    if (durationSeconds != nullptr) {
        *durationSeconds = r.durationSeconds;
    }
    if (warning != nullptr && warningBytes > 0) {
        size_t n = std::min(r.warning.size(), static_cast<size_t>(warningBytes) - 1);
        std::memcpy(warning, r.warning.data(), n);
        warning[n] = '\0';
    }
    return 1;
}

}  // extern "C"
