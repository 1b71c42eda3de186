// Recognises a file's type from its first 128 bytes, never from its name.
#pragma once

#include <string>

#include "platform/bytes.h"
#include "probe/media_kind.h"

inline constexpr size_t kDetectBytes = 128;

// The type code of the signature at the lowest position of `head` (kTypeUnknown for none).
FileTypeCode DetectFileTypeInBytes(ByteReader head);

// Reads the first 128 bytes of the file; kTypeUnknown when it cannot be read or has no
// signature. Also stores the code in g_probeInfo.typeCode.
FileTypeCode DetectFileType(const std::string& path);
