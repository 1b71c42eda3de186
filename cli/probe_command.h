// `kjoin probe`: what the join list would show for each file.
#pragma once

#include <QStringList>
#include <cstdio>
#include <memory>
#include <string>

#include "probe/media_kind.h"

class Module;

// The conversion module for as long as files are probed: AVI and MPEG files are scanned by it, as
// in the window. It is loaded for the first such file only, so that other joins do not pay for
// loading FFmpeg.
class ProbeModules {
public:
    ProbeModules() = default;
    ~ProbeModules();
    // Loads the conversion module when `path` is an AVI or MPEG file and it is not loaded yet.
    void PrepareFor(const std::string& path);
    // Loads it when a list of `kind` needs it for its check (a packet copy asks it which odd
    // files it can encode to match the first).
    void PrepareForKind(MediaKind kind);
    ProbeModules(const ProbeModules&) = delete;
    ProbeModules& operator=(const ProbeModules&) = delete;

private:
    std::unique_ptr<Module> m_conversion;
};

// Prints each file's column texts and information line (or, with --json, every field of its
// record). Returns 0 when every file gave a record, 1 otherwise.
int RunProbeCommand(const QStringList& arguments, FILE* out, FILE* err);
