// Interfaces the module's own objects use between themselves, found by QueryInterface with ids
// that only this module knows (a profile handed to the writer, a sample handed back to it).
#pragma once

#include "engines/asf/asf_model.h"
#include "engines/asf/wmsdk.h"

namespace asf {

struct ProfileData;

inline constexpr IID IID_IAsfProfileData = GuidFromString("6C1F0E52-8B3A-4D07-9E41-2A5B7C9D0E13");
inline constexpr IID IID_IAsfSampleExtension =
    GuidFromString("0B7E2F48-5D19-4C6A-A3E2-71F9C08D4B26");

// Behind every IWMProfile of this module.
class IAsfProfileData : public IUnknown {
public:
    // A copy of the profile as it stands.
    virtual ProfileData Snapshot() const = 0;
};

// Behind every sample buffer the reader delivers: the payload extension bytes the sample carried
// in the source file, so that a copy keeps them.
class IAsfSampleExtension : public IUnknown {
public:
    virtual const Bytes& ExtensionData() const = 0;
};

// Small helper for the QueryInterface of objects with a single COM identity.
template <typename T>
HRESULT Hand(T* object, void** ppv) {
    object->AddRef();
    *ppv = object;
    return S_OK;
}

}  // namespace asf
