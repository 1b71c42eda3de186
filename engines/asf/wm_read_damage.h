// What a WMVCore reader left out of its file: the rest of a file cut short inside its data, and
// data packets that could not be parsed. The reader answers IKjReaderDamage through
// QueryInterface; the file's facts are known once it has opened, the count of damaged packets
// once it has reported WMT_END_OF_FILE.
#pragma once

#include "engines/asf/wmsdk.h"

// A reader reached the end of a file none of whose data packets could be parsed.
inline constexpr HRESULT KJ_E_NO_READABLE_PACKET = MakeHresult(0xC00D4E01u);
// More than half of a file's data packets could not be parsed.
inline constexpr HRESULT KJ_E_MOSTLY_DAMAGED = MakeHresult(0xC00D4E02u);

inline constexpr IID IID_IKjReaderDamage = GuidFromString("6B4A1D3E-52F0-4C8B-9E27-1F0A6D3C8B51");

struct KJ_READER_DAMAGE {
    BOOL cutShort = FALSE;     // the file ends inside its data: its last whole packet is read
    QWORD packets = 0;         // whole data packets the file holds
    QWORD damagedPackets = 0;  // of those, skipped because they do not parse
};

class IKjReaderDamage : public IUnknown {
public:
    virtual HRESULT GetDamage(KJ_READER_DAMAGE* pDamage) = 0;
};

template <>
inline constexpr const IID* kInterfaceId<IKjReaderDamage> = &IID_IKjReaderDamage;
