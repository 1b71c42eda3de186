// Reads a whole ASF Header Object (GUID, size and every child) into a Header record. Every
// field is checked against the bytes present; a malformed header gives ASF_E_INVALIDHEADER.
#pragma once

#include "engines/asf/asf_model.h"
#include "platform/bytes.h"

namespace asf {

HRESULT ParseHeaderObject(ByteReader object, Header* header);

// Turns a value as stored (ECD or metadata form) into the interface's form; false when the
// stored type is unknown or the value is the wrong size (the value is then kept as bytes).
bool ValueFromStored(uint16_t storedType, ByteReader stored, bool boolIsTwoBytes,
                     WMT_ATTR_DATATYPE* type, Bytes* value);

}  // namespace asf
