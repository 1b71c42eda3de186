// asfcopy IN OUT: copies an ASF file through the WMVCore module (reader -> writer), as the
// Windows Media join does for its first input. Loads libWMVCore.so from its own folder.
#include <dlfcn.h>
#include <unistd.h>

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <string>

#include "engines/asf/tools/copy_driver.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: asfcopy INPUT OUTPUT\n");
        return 2;
    }
    char self[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./x");
    dir = dir.substr(0, dir.rfind('/'));
    void* module = dlopen((dir + "/libWMVCore.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "asfcopy: %s\n", dlerror());
        return 1;
    }
    asfcopy::Factories f;
    f.createReader = reinterpret_cast<WMCreateReaderFn>(dlsym(module, "WMCreateReader"));
    f.createWriter = reinterpret_cast<WMCreateWriterFn>(dlsym(module, "WMCreateWriter"));
    f.createEditor = reinterpret_cast<WMCreateEditorFn>(dlsym(module, "WMCreateEditor"));
    if (!f.createReader || !f.createWriter || !f.createEditor) {
        std::fprintf(stderr, "asfcopy: factories missing\n");
        return 1;
    }
    uint64_t samples = 0;
    HRESULT hr = asfcopy::CopyFile(f, argv[1], argv[2], &samples);
    if (FAILED(hr)) {
        std::fprintf(stderr, "asfcopy: failed (hr=0x%08x)\n", static_cast<uint32_t>(hr));
        return 1;
    }
    std::printf("%" PRIu64 " samples copied\n", samples);
    return 0;
}
