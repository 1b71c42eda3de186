// Interfaces the module's own objects use between themselves, found by QueryInterface with ids
// that only this module knows (a profile handed to the writer, a sample handed back to it).
#pragma once

#include "engines/asf/asf_model.h"
#include "engines/asf/object_bytes.h"
#include "engines/asf/wmsdk.h"

namespace asf {

struct ProfileData;

inline constexpr IID IID_IAsfProfileData = GuidFromString("6C1F0E52-8B3A-4D07-9E41-2A5B7C9D0E13");
inline constexpr IID IID_IAsfSampleExtension =
    GuidFromString("0B7E2F48-5D19-4C6A-A3E2-71F9C08D4B26");
inline constexpr IID IID_IAsfSampleData = GuidFromString("9A3C61D7-4E02-4B8F-B5A9-3D70E2C41F85");

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

// Behind every sample buffer of this module: its bytes as they lie, so that the writer packs
// them from where the reader read them. Valid while the buffer is held and its length is the
// bytes' size.
class IAsfSampleData : public IUnknown {
public:
    virtual const ObjectBytes& SampleBytes() const = 0;
};

}  // namespace asf

template <>
inline constexpr const IID* kInterfaceId<asf::IAsfProfileData> = &asf::IID_IAsfProfileData;
template <>
inline constexpr const IID* kInterfaceId<asf::IAsfSampleExtension> = &asf::IID_IAsfSampleExtension;
template <>
inline constexpr const IID* kInterfaceId<asf::IAsfSampleData> = &asf::IID_IAsfSampleData;
