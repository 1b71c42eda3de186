// The conversion module's file scan (libavformat under our Video CD reader, the pack size and
// disc standard rules, the packet counting) over a file held in memory.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "engines/conversion/media_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A memory file, so the scan opens a path as it does for real inputs without touching disk.
    int fd = memfd_create("scan", MFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    if (size == 0 || ::write(fd, data, size) == static_cast<ssize_t>(size)) {
        MediaScan scan;
        std::string error;
        ScanMedia(
            "/proc/self/fd/" + std::to_string(fd), &scan, [](double) {}, &error);
    }
    ::close(fd);
    return 0;
}
