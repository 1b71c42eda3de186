// The media type of a stream as GetMediaType hands it out, built only from the stream's header
// records so that a file always gives the same bytes and identically encoded files give
// identical format blocks.
#pragma once

#include "engines/asf/asf_model.h"

namespace asf {

// The major type for a stream type id.
GUID MajorTypeOf(const StreamInfo& stream);

// Fills `out` with a WM_MEDIA_TYPE followed by its format block; pbFormat is left null (the
// caller points it at the copy it hands out).
void BuildMediaTypeBlock(const StreamInfo& stream, uint32_t bitrate, Bytes* out);

// Copies a block into the caller's memory and points pbFormat at the format bytes there.
void PlaceMediaTypeBlock(const Bytes& block, WM_MEDIA_TYPE* where);

}  // namespace asf
