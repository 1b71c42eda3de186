// The module's only visible symbols: the access paths it is handed and the edit factory.
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "engines/realmedia/edit.h"

#define RMTO3260_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
constexpr size_t kAccessPathBlockBytes = 2048;
std::mutex g_accessLock;
std::vector<std::string> g_accessPaths;  // "KEY=folder" entries, kept for the module's life
}  // namespace

RMTO3260_EXPORT int SetDLLAccessPath(const char* block) {
    if (block == nullptr) {
        return 0;
    }
    std::vector<std::string> entries;
    size_t at = 0;
    while (at < kAccessPathBlockBytes && block[at] != '\0') {
        size_t n = strnlen(block + at, kAccessPathBlockBytes - at);
        entries.emplace_back(block + at, n);
        at += n + 1;
    }
    std::lock_guard<std::mutex> lock(g_accessLock);
    g_accessPaths = std::move(entries);
    return 1;
}

RMTO3260_EXPORT HRESULT RMACreateRMEdit(IUnknown** ppEdit) {
    if (ppEdit == nullptr) {
        return E_POINTER;
    }
    *ppEdit = static_cast<IRMAEdit*>(new (std::nothrow) rm::Edit());
    return *ppEdit != nullptr ? S_OK : E_OUTOFMEMORY;
}
