// The ASF engine's file results: positioned reads and writes of a DescriptorFile, with the
// errors the Windows Media interfaces report.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com.h"
#include "platform/descriptor_file.h"
#include "platform/hidden_output.h"

namespace asf {

using File = DescriptorFile;

HRESULT OpenFile(File& file, const std::string& path, File::Mode mode);
// Creates `file` as the hidden output for `path`: nothing is at `path` until NameOutput.
HRESULT CreateOutput(HiddenOutput& hidden, File& file, const std::string& path);
// Closes the finished `file` and puts it at its path.
HRESULT NameOutput(HiddenOutput& hidden, File& file);
// Reads exactly n bytes at off; ASF_E_BUFFEROVERRUN when the file ends first.
HRESULT ReadAt(const File& file, uint64_t off, void* buffer, size_t n);
HRESULT WriteAt(File& file, uint64_t off, const void* buffer, size_t n);
HRESULT Truncate(File& file, uint64_t size);
HRESULT Sync(File& file);

}  // namespace asf
