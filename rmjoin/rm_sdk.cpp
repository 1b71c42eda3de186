#include "rmjoin/rm_sdk.h"

#include <cstring>

#include "platform/module.h"

std::string RealMediaSdkFolder;

namespace {
struct AccessPathEntry {
    const char* key;
    const char* subFolder;
};
constexpr AccessPathEntry kAccessPathEntries[] = {
    {"DT_Plugins", "plugins"},
    {"DT_Codecs", "codecs"},
    {"DT_EncSDK", "tools"},
    {"DT_Common", "common"},
};
}  // namespace

std::string RealMediaSdkFolderFor(const std::string& systemFolder) {
    if (!systemFolder.empty() && systemFolder.back() == '/') {
        return systemFolder + "producer/";
    }
    return systemFolder + "/producer/";
}

std::vector<char> BuildAccessPathBlock(const std::string& sdkFolder) {
    std::vector<char> block(kAccessPathBlockBytes, '\0');
    size_t at = 0;
    for (const AccessPathEntry& entry : kAccessPathEntries) {
        std::string text = std::string(entry.key) + "=" + sdkFolder + entry.subFolder;
        // Keep room for this entry's NUL and the block's closing NUL.
        if (at + text.size() + 2 > block.size()) {
            break;
        }
        std::memcpy(block.data() + at, text.data(), text.size());
        at += text.size() + 1;
    }
    return block;
}

std::unique_ptr<Module> LoadRealMediaSdk() {
    RealMediaSdkFolder = RealMediaSdkFolderFor(ModuleFolder());
    std::vector<char> block = BuildAccessPathBlock(RealMediaSdkFolder);
    auto module = Module::LoadFile(RealMediaSdkFolder + "tools/" + ModuleFileName("rmto3260"));
    if (module == nullptr) {
        return nullptr;
    }
    if (auto setAccessPath = module->ResolveAs<SetDLLAccessPathFn>("SetDLLAccessPath")) {
        setAccessPath(block.data());
    }
    return module;
}
