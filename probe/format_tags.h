// Names of WAVE format tags, as the system's audio codec manager would give them.
#pragma once

#include <cstdint>
#include <string>

// The name of a format tag; false for a tag the table does not know.
bool AcmFormatTagName(uint16_t formatTag, std::string& name);
