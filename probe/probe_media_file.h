// The probe: recognises an added file by its content and fills the record of its row.
#pragma once

#include <memory>
#include <string>

#include "probe/media_file_info.h"
#include "probe/probe_info.h"

// Why a file gave no record.
enum class ProbeFailure {
    kNone,
    kUnreadable,    // cannot be opened or read (missing, a folder, no permission, ...)
    kUnrecognised,  // no known signature in its first 128 bytes
    kOgg,           // an Ogg file: recognised, but no engine joins it
};

struct ProbeError {
    ProbeFailure failure = ProbeFailure::kNone;
    std::string reason;  // a short text for the user, e.g. "Permission denied"
    // Set when a record was made without some of its values, and why (for the status line).
    std::string notice;
};

// A new record for the file, or null (with the reason in *error when given).
std::unique_ptr<MediaFileInfo> ProbeMediaFile(const std::string& path, ProbeError* error = nullptr);

// Fills what the header left open in `info`, in the fixed order of the rules.
void CompleteProbeInfo(ProbeInfo& info);
