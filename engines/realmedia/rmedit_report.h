// What an edit of the rmto3260 module knows of each input: where it lies in the output, and
// what of it was left out (the rest of a file cut short, damaged packets it skipped). The edit
// object answers IKjEditInputReport through QueryInterface; the report is that of its last Run that
// got as far as placing the inputs.
#pragma once

#include <cstdint>

#include "platform/com.h"

inline constexpr IID IID_IKjEditInputReport =
    GuidFromString("3C9E5B27-8D41-4F6A-B0C2-7E15A4D98F63");

struct KJ_RMEDIT_INPUT_REPORT {
    uint32_t placed = 0;          // nonzero: the run succeeded and the next two are known
    uint32_t startMs = 0;         // where the input starts in the output
    uint32_t durationMs = 0;      // up to where the next input starts (the output's end)
    uint32_t cutShort = 0;        // nonzero: the file ends inside its data
    uint32_t damagedPackets = 0;  // skipped as unreadable (estimated from the bytes skipped)
    uint32_t joinedMs = 0;        // how long the input lasts in the output
    uint32_t fullMs = 0;          // how long the input's header says it lasts
};

class IKjEditInputReport : public IUnknown {
public:
    // The report of input `index` (0-based, in the order given); E_INVALIDARG past the inputs
    // of the last run.
    virtual HRESULT GetInputReport(uint32_t index, KJ_RMEDIT_INPUT_REPORT* report) = 0;
};

template <>
inline constexpr const IID* kInterfaceId<IKjEditInputReport> = &IID_IKjEditInputReport;
