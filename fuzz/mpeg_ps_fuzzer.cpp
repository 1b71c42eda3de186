// The program stream walker, the fast scan and the pack copier over any bytes: the input is
// scanned as a file, then joined with itself, and the output walked again. Nothing may read
// outside its buffers, hang, or write more than the inputs hold.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engines/conversion/mpeg_ps_copier.h"
#include "engines/conversion/mpeg_ps_scan.h"
#include "engines/conversion/mpeg_ps_units.h"

namespace {

int MemoryFile(const char* name) {
    return memfd_create(name, MFD_CLOEXEC);
}

std::string PathOf(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The walker on its own: every unit lies inside the bytes, and each takes at least one.
    for (size_t at = 0; at < size;) {
        PsUnit unit = ReadPsUnit(ByteReader(data + at, size - at));
        if (unit.kind == PsUnitKind::kIncomplete) {
            break;
        }
        if (unit.size == 0 || unit.size > size - at || unit.payloadOffset > unit.size) {
            std::abort();
        }
        at += unit.size;
    }

    int in = MemoryFile("in");
    int out = MemoryFile("out");
    if (in < 0 || out < 0) {
        return 0;
    }
    if (write(in, data, size) == static_cast<ssize_t>(size)) {
        PsCopyInput input;
        input.path = PathOf(in);
        std::string error;
        if (ScanProgramStream(input.path, &input.scan, nullptr, &error) == 0) {
            // The input twice: its end is planned for a seam (a cut one ends with its sound).
            std::vector<PsCopyInput> inputs = {input, input};
            PlanInputEnds(&inputs);
            std::vector<PsCopiedInput> copied;
            int result = CopyProgramStreams(inputs, PathOf(out), nullptr, &copied, &error);
            off_t written = lseek(out, 0, SEEK_END);
            if (result == 0 && written > static_cast<off_t>(2 * size + 4)) {
                std::abort();  // a copy never adds data
            }
        }
    }
    close(in);
    close(out);
    return 0;
}
