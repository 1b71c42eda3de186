// The video FourCC of an AVI file: the AVI file interface's handler code, then our own walk
// over the RIFF header chunks.
#pragma once

#include <string>

#include "probe/media_file_info.h"

// m_dwFourcc = the handler code (fccHandler) of the file's first video stream. Any failure is
// silent and leaves the record as it was.
void ReadAviHandlerFourcc(const std::string& path, MediaFileInfo& info);

// Both FourCC steps from one reading of the headers: the header walk's FourCC (when it finds
// one) with its codec text; the handler code only when the walk finds none, as though it were
// read first and replaced.
void ApplyAviFourccSteps(const std::string& path, MediaFileInfo& info);
