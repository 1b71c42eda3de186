// Finding and preparing the RealMedia engine module: its folder below the engine modules'
// folder, and the block of access paths it is handed once it is loaded.
#pragma once

#include <memory>
#include <string>
#include <vector>

class Module;

inline constexpr size_t kAccessPathBlockBytes = 2048;

// The engine folder: `systemFolder` + "producer/" (no doubled separator).
std::string RealMediaSdkFolderFor(const std::string& systemFolder);

// Four "KEY=<folder><sub-folder>" entries, each NUL-terminated, then one more NUL, in a zeroed
// block of kAccessPathBlockBytes. Entries that would not fit are left out.
std::vector<char> BuildAccessPathBlock(const std::string& sdkFolder);

// The process-wide engine folder, set by LoadRealMediaSdk.
extern std::string RealMediaSdkFolder;

extern "C" {
using SetDLLAccessPathFn = int (*)(const char* block);
}

// Computes the folder and the block, loads "<folder>tools/librmto3260.so" and, when it exports
// "SetDLLAccessPath", hands it the block. Null when the module cannot be loaded.
std::unique_ptr<Module> LoadRealMediaSdk();
