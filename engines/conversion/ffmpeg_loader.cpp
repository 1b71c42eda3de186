#include "engines/conversion/ffmpeg_loader.h"
#include "engines/conversion/ffmpeg_log.h"

#include <dlfcn.h>

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// In the order each needs the ones before it; the names come from the build (KJ_FFMPEG_SONAMES).
constexpr const char* kLibraries[] = {KJ_FFMPEG_SONAMES};

std::once_flag g_once;
bool g_loaded = false;
std::string g_failure;

void Load() {
    for (const char* name : kLibraries) {
        if (::dlopen(name, RTLD_NOW | RTLD_GLOBAL) == nullptr) {
            const char* why = ::dlerror();
            g_failure = std::string("FFmpeg cannot be loaded: ") + (why != nullptr ? why : name);
            return;
        }
    }
    g_loaded = true;
    // What FFmpeg has to say reaches the caller as the library's error or an input's warning,
    // through our own log callback; printed, it would only clutter the program's stderr.
    InstallFfmpegLog();
}

}  // namespace

bool EnsureFfmpeg(std::string* error) {
    std::call_once(g_once, Load);
    if (!g_loaded && error != nullptr) {
        *error = g_failure;
    }
    return g_loaded;
}

bool FfmpegLoaded() {
    return g_loaded;
}
