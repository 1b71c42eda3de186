// The ASF engine's file results: positioned reads and writes of a DescriptorFile, with the
// errors the Windows Media interfaces report.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com.h"
#include "platform/descriptor_file.h"

namespace asf {

using File = DescriptorFile;

HRESULT OpenFile(File& file, const std::string& path, File::Mode mode);
// Reads exactly n bytes at off; ASF_E_BUFFEROVERRUN when the file ends first.
HRESULT ReadAt(const File& file, uint64_t off, void* buffer, size_t n);
HRESULT WriteAt(File& file, uint64_t off, const void* buffer, size_t n);
HRESULT Truncate(File& file, uint64_t size);
HRESULT Sync(File& file);

}  // namespace asf
