// The objects behind the library's handles, one table per kind.
#pragma once

#include <mutex>
#include <string>

#include "engines/conversion/conversion.h"
#include "engines/conversion/file_list.h"
#include "engines/conversion/handle_table.h"

// What a source callback hands back: the next input's path, or the end of the inputs.
struct Source {
    std::mutex mutex;
    std::string path;
    bool hasFile = false;
    bool finished = false;
};

HandleTable<Conversion>& Conversions();
HandleTable<FileList>& FileLists();
HandleTable<Source>& Sources();
