// Turns a Header record back into a Header Object. Attributes go to the object that can hold
// them (Content Description, Extended Content Description, Metadata, Metadata Library); script
// and marker times get the preroll added back.
#pragma once

#include "engines/asf/asf_model.h"

namespace asf {

struct HeaderBuildOptions {
    // Size the whole Header Object must have; a Padding object in the Header Extension makes up
    // the difference. 0: no padding beyond `minimumPadding`.
    uint64_t targetSize = 0;
    // Padding bytes (whole Padding object) to add when targetSize is 0.
    uint32_t minimumPadding = 0;
};

// ASF_E_HEADERSIZE when the header does not fit in targetSize.
HRESULT BuildHeaderObject(const Header& header, const HeaderBuildOptions& options, Bytes* out);

// Where an attribute is stored when the header is written.
AttributeHome ResolveHome(const Attribute& attribute);

}  // namespace asf
