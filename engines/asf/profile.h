// A profile: the stream layout of a file (its Stream Properties and Extended Stream Properties,
// packet size and preroll), as IWMProfile with IWMStreamConfig / IWMMediaProps /
// IWMPropertyVault stream configurations. The writer takes a profile of this module and writes
// its streams unchanged.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engines/asf/internal.h"

namespace asf {

struct ProfileStream {
    StreamInfo info;
    uint32_t bufferWindowMs = 0;
    uint32_t bitrate = 0;  // bits/s
    bool vbr = false;
    std::u16string name;
    std::u16string connection;
    // The stream's own attributes in the source header (AspectRatioX/Y, IsVBR, ...): they
    // describe the stream, so a file written under this profile keeps them.
    std::vector<Attribute> attributes;
};

struct ProfileData {
    std::vector<ProfileStream> streams;
    uint32_t packetSize = 0;
    uint64_t prerollMs = 0;
    uint32_t maxBitrate = 0;
    // Header Extension children that describe the stream layout (language list, mutual
    // exclusions, prioritization) and top-level ones (bitrate mutual exclusion), kept whole.
    std::vector<RawObject> extensionObjects;
    std::vector<RawObject> topLevelObjects;
    std::u16string name;
    std::u16string description;
    // The file carried an Index Object after its data: one written under this profile does too.
    bool indexObject = false;
};

// Derives a profile from a file's header. The VBR rule: a stream is variable-bitrate when its
// own "IsVBR" attribute (Metadata, that stream number) is true; without one, when the file-level
// "IsVBR" is true and the stream is audio or video; and otherwise when its Extended Stream
// Properties give different data and alternate bit rates (two-pass VBR encoders fill both).
ProfileData ProfileFromHeader(const Header& header);

// The bit rate of a stream: Extended Stream Properties, else Stream Bitrate Properties, else
// the audio format's average bytes per second.
uint32_t StreamBitrate(const StreamInfo& stream);

// The stream configuration objects: a copy of one profile stream.
class StreamConfig final : public ComObject<IWMStreamConfig, IWMMediaProps, IWMPropertyVault> {
public:
    explicit StreamConfig(ProfileStream stream);
    const ProfileStream& Stream() const { return m_stream; }

    // IWMStreamConfig
    HRESULT GetStreamType(GUID* pguidStreamType) override;
    HRESULT GetStreamNumber(WORD* pwStreamNum) override;
    HRESULT SetStreamNumber(WORD wStreamNum) override;
    HRESULT GetStreamName(WCHAR* pwszStreamName, WORD* pcchStreamName) override;
    HRESULT SetStreamName(LPCWSTR pwszStreamName) override;
    HRESULT GetConnectionName(WCHAR* pwszInputName, WORD* pcchInputName) override;
    HRESULT SetConnectionName(LPCWSTR pwszInputName) override;
    HRESULT GetBitrate(DWORD* pdwBitrate) override;
    HRESULT SetBitrate(DWORD pdwBitrate) override;
    HRESULT GetBufferWindow(DWORD* pmsBufferWindow) override;
    HRESULT SetBufferWindow(DWORD msBufferWindow) override;

    // IWMMediaProps
    HRESULT GetType(GUID* pguidType) override;
    HRESULT GetMediaType(WM_MEDIA_TYPE* pType, DWORD* pcbType) override;
    HRESULT SetMediaType(WM_MEDIA_TYPE* pType) override;

    // IWMPropertyVault
    HRESULT GetPropertyCount(DWORD* pdwCount) override;
    HRESULT GetPropertyByName(LPCWSTR pszName, WMT_ATTR_DATATYPE* pType, BYTE* pValue,
                              DWORD* pdwSize) override;
    HRESULT SetProperty(LPCWSTR pszName, WMT_ATTR_DATATYPE pType, BYTE* pValue,
                        DWORD dwSize) override;
    HRESULT GetPropertyByIndex(DWORD dwIndex, LPWSTR pszName, DWORD* pdwNameLen,
                               WMT_ATTR_DATATYPE* pType, BYTE* pValue, DWORD* pdwSize) override;
    HRESULT CopyPropertiesFrom(IWMPropertyVault* pIWMPropertyVault) override;
    HRESULT Clear() override;

private:
    ~StreamConfig() override = default;

    std::mutex m_mutex;
    ProfileStream m_stream;
};

class Profile final : public ComObject<IWMProfile, IAsfProfileData> {
public:
    explicit Profile(ProfileData data);

    ProfileData Snapshot() const override;

    HRESULT GetVersion(WMT_VERSION* pdwVersion) override;
    HRESULT GetName(WCHAR* pwszName, DWORD* pcchName) override;
    HRESULT SetName(LPCWSTR pwszName) override;
    HRESULT GetDescription(WCHAR* pwszDescription, DWORD* pcchDescription) override;
    HRESULT SetDescription(LPCWSTR pwszDescription) override;
    HRESULT GetStreamCount(DWORD* pcStreams) override;
    HRESULT GetStream(DWORD dwStreamIndex, IWMStreamConfig** ppConfig) override;
    HRESULT GetStreamByNumber(WORD wStreamNum, IWMStreamConfig** ppConfig) override;
    HRESULT RemoveStream(IWMStreamConfig* pConfig) override;
    HRESULT RemoveStreamByNumber(WORD wStreamNum) override;
    HRESULT AddStream(IWMStreamConfig* pConfig) override;
    HRESULT ReconfigStream(IWMStreamConfig* pConfig) override;
    HRESULT CreateNewStream(REFGUID guidStreamType, IWMStreamConfig** ppConfig) override;
    HRESULT GetMutualExclusionCount(DWORD* pcME) override;
    HRESULT GetMutualExclusion(DWORD dwMEIndex, IWMMutualExclusion** ppME) override;
    HRESULT RemoveMutualExclusion(IWMMutualExclusion* pME) override;
    HRESULT AddMutualExclusion(IWMMutualExclusion* pME) override;
    HRESULT CreateNewMutualExclusion(IWMMutualExclusion** ppME) override;

private:
    ~Profile() override = default;
    StreamConfig* ConfigOf(IWMStreamConfig* config) const;

    mutable std::mutex m_mutex;
    ProfileData m_data;
};

// Copies a string out through the two-call protocol (null buffer: length only).
HRESULT CopyOutString(const std::u16string& text, WCHAR* buffer, WORD* cch);
HRESULT CopyOutString(const std::u16string& text, WCHAR* buffer, DWORD* cch);

}  // namespace asf
