#include "engines/conversion/library_objects.h"

HandleTable<Conversion>& Conversions() {
    static HandleTable<Conversion> table;
    return table;
}

HandleTable<FileList>& FileLists() {
    static HandleTable<FileList> table;
    return table;
}

HandleTable<Source>& Sources() {
    static HandleTable<Source> table;
    return table;
}
