// How the probe reads the files of each detected type into a record. The rows of the table of
// kinds name the reader of their files, and installing the table hands them down here: the probe
// sits below the table, so it looks a type up instead of knowing the kinds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "probe/cut_short.h"
#include "probe/media_file_info.h"
#include "probe/media_kind.h"

struct ProbeError;

struct FileTypeReader {
    FileTypeCode type = kTypeUnknown;  // unset: the row's files are read by another row's reader
    // Fills the record's kind and values from the file; returns the seconds the conversion
    // module's scan counted of it, or a negative number where nothing was scanned.
    std::function<double(const std::string& path, MediaFileInfo& record, ProbeError* error)> read{};
    // Whether the file holds what its header promises (`scannedSeconds` as `read` returned).
    CutShortJudge findCutShort{};
};

// Puts the readers in place; the first call wins and they never change after it.
void InstallFileTypeReaders(std::vector<FileTypeReader> readers);

// The reader of `type`; nullptr for a type without one (Ogg), or before they are installed.
const FileTypeReader* FindFileTypeReader(FileTypeCode type);

// The probe's readers, one for each type of file it recognises.
FileTypeReader AsfFileReader();
FileTypeReader RealMediaFileReader();
FileTypeReader AviFileReader();
FileTypeReader MpegFileReader();  // MPEG-1 and MPEG-2: the scan tells which
