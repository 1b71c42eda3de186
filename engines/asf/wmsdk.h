// The Windows Media interfaces shared by the WMVCore module and the code that drives it: readers
// that hand out compressed samples, profiles with stream configurations and media types, header
// info, a writer and a metadata editor. Names, slot order, values and structure layouts follow
// the published Windows Media Format interfaces so that callers read as they would there.
//
// Strings at these interfaces are WCHAR (wchar_t here) and NUL-terminated; lengths passed in
// and out count wide characters including the NUL. A WMT_TYPE_STRING attribute value is such a
// string, its length in bytes. Times are 100-ns units counted from the start of the content
// (the preroll is not part of them) unless a name says milliseconds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com.h"

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using QWORD = uint64_t;
using BOOL = int32_t;
using LONG = int32_t;
using WCHAR = wchar_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// ---- Result codes -------------------------------------------------------------------------

inline constexpr HRESULT ASF_E_BUFFEROVERRUN = MakeHresult(0xC00D07D0u);
inline constexpr HRESULT ASF_E_BUFFERTOOSMALL = MakeHresult(0xC00D07D1u);
inline constexpr HRESULT ASF_E_INVALIDHEADER = MakeHresult(0xC00D07E2u);
inline constexpr HRESULT ASF_E_NOTFOUND = MakeHresult(0xC00D07F0u);
inline constexpr HRESULT ASF_E_INVALIDSTATE = MakeHresult(0xC00D07F5u);
inline constexpr HRESULT ASF_E_NOHEADEROBJECT = MakeHresult(0xC00D07F9u);
inline constexpr HRESULT ASF_E_NODATAOBJECT = MakeHresult(0xC00D07FAu);
inline constexpr HRESULT ASF_E_INVALIDTIME = MakeHresult(0xC00D0804u);
inline constexpr HRESULT ASF_E_BADMEDIATYPE = MakeHresult(0xC00D0807u);
inline constexpr HRESULT ASF_E_EXCEEDEDMAXIMUMOBJECTSIZE = MakeHresult(0xC00D080Cu);
inline constexpr HRESULT ASF_E_BADDATAUNIT = MakeHresult(0xC00D080Du);
inline constexpr HRESULT ASF_E_HEADERSIZE = MakeHresult(0xC00D080Eu);
inline constexpr HRESULT NS_E_INVALID_REQUEST = MakeHresult(0xC00D002Bu);
inline constexpr HRESULT NS_E_NO_MORE_SAMPLES = MakeHresult(0xC00D0BCFu);

// ---- Enumerations and flags ---------------------------------------------------------------

enum WMT_STATUS : int32_t {
    WMT_ERROR = 0,
    WMT_OPENED = 1,
    WMT_BUFFERING_START = 2,
    WMT_BUFFERING_STOP = 3,
    WMT_EOF = 4,
    WMT_END_OF_FILE = 4,
    WMT_END_OF_SEGMENT = 5,
    WMT_END_OF_STREAMING = 6,
    WMT_LOCATING = 7,
    WMT_CONNECTING = 8,
    WMT_NO_RIGHTS = 9,
    WMT_MISSING_CODEC = 10,
    WMT_STARTED = 11,
    WMT_STOPPED = 12,
    WMT_CLOSED = 13,
    WMT_STRIDING = 14,
    WMT_TIMER = 15,
    WMT_INDEX_PROGRESS = 16,
    WMT_NEW_METADATA = 20,
};

enum WMT_ATTR_DATATYPE : int32_t {
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6,
};

enum WMT_CODEC_INFO_TYPE : uint32_t {
    WMT_CODECINFO_AUDIO = 0,
    WMT_CODECINFO_VIDEO = 1,
    WMT_CODECINFO_UNKNOWN = 0xFFFFFFFFu,
};

enum WMT_STREAM_SELECTION : int32_t {
    WMT_OFF = 0,
    WMT_CLEANPOINT_ONLY = 1,
    WMT_ON = 2,
};

enum WMT_VERSION : int32_t {
    WMT_VER_4_0 = 0x40000,
    WMT_VER_7_0 = 0x70000,
    WMT_VER_8_0 = 0x80000,
    WMT_VER_9_0 = 0x90000,
};

inline constexpr DWORD WM_SF_CLEANPOINT = 0x1;
inline constexpr DWORD WM_SF_DISCONTINUITY = 0x2;
inline constexpr DWORD WM_SF_DATALOSS = 0x4;

// ---- Media types ---------------------------------------------------------------------------

// A media type as GetMediaType hands it out: this structure immediately followed, in the same
// block, by cbFormat bytes of format data that pbFormat points to.
struct WM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    uint32_t lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    uint32_t cbFormat;
    BYTE* pbFormat;
};
static_assert(offsetof(WM_MEDIA_TYPE, formattype) == 44);
static_assert(sizeof(void*) != 8 || offsetof(WM_MEDIA_TYPE, cbFormat) == 72);
static_assert(sizeof(void*) != 8 || sizeof(WM_MEDIA_TYPE) == 88);

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct BITMAPINFOHEADER {
    uint32_t biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// Format block of WMFORMAT_VideoInfo; codec bytes (biSize - 40) follow bmiHeader.
struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    int64_t AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48);
static_assert(sizeof(VIDEOINFOHEADER) == 88);

// Format block of WMFORMAT_WaveFormatEx; cbSize codec bytes follow.
#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

inline constexpr GUID WMMEDIATYPE_Video = GuidFromString("73646976-0000-0010-8000-00AA00389B71");
inline constexpr GUID WMMEDIATYPE_Audio = GuidFromString("73647561-0000-0010-8000-00AA00389B71");
inline constexpr GUID WMMEDIATYPE_Script = GuidFromString("73636D64-0000-0010-8000-00AA00389B71");
inline constexpr GUID WMMEDIATYPE_Image = GuidFromString("34A50FD8-8AA5-4386-81FE-A0EFE0488E31");
inline constexpr GUID WMMEDIATYPE_FileTransfer =
    GuidFromString("D9E47579-930E-4427-ADFC-AD80F290E470");
inline constexpr GUID WMMEDIATYPE_Text = GuidFromString("9BBA1EA7-5AB2-4829-BA57-0940209BCF3E");
inline constexpr GUID WMFORMAT_VideoInfo = GuidFromString("05589F80-C356-11CE-BF01-00AA0055595A");
inline constexpr GUID WMFORMAT_WaveFormatEx =
    GuidFromString("05589F81-C356-11CE-BF01-00AA0055595A");
inline constexpr GUID WMFORMAT_MPEG2Video = GuidFromString("E06D80E3-DB46-11CF-B4D1-00805F6CBBEA");
inline constexpr GUID WMFORMAT_Script = GuidFromString("5C8510F2-DEBE-4CA7-BBA5-F07A104F8DFF");
inline constexpr GUID WMFORMAT_None = GuidFromString("0F6417D6-C318-11D0-A43F-00A0C9223196");

// Subtype GUIDs share one tail; the first field is a FourCC or an audio format tag.
constexpr GUID WMMediaSubtype(uint32_t fourccOrTag) {
    GUID g = GuidFromString("00000000-0000-0010-8000-00AA00389B71");
    g.Data1 = fourccOrTag;
    return g;
}
inline constexpr GUID WMMEDIASUBTYPE_WMV1 = WMMediaSubtype(0x31564D57);
inline constexpr GUID WMMEDIASUBTYPE_WMV2 = WMMediaSubtype(0x32564D57);
inline constexpr GUID WMMEDIASUBTYPE_WMV3 = WMMediaSubtype(0x33564D57);
inline constexpr GUID WMMEDIASUBTYPE_MP43 = WMMediaSubtype(0x3334504D);
inline constexpr GUID WMMEDIASUBTYPE_WMAudioV2 = WMMediaSubtype(0x00000161);
inline constexpr GUID WMMEDIASUBTYPE_WMAudioV8 = WMMediaSubtype(0x00000161);
inline constexpr GUID WMMEDIASUBTYPE_WMAudioV9 = WMMediaSubtype(0x00000162);
inline constexpr GUID WMMEDIASUBTYPE_PCM = WMMediaSubtype(0x00000001);

// ---- Interface ids -------------------------------------------------------------------------

inline constexpr IID IID_IWMReader = GuidFromString("96406BD6-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMReaderAdvanced = GuidFromString("96406BEA-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMStatusCallback = GuidFromString("6D7CDC70-9888-11D3-8EDC-00C04F6109CF");
inline constexpr IID IID_IWMReaderCallback = GuidFromString("96406BD8-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMReaderCallbackAdvanced =
    GuidFromString("96406BEB-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMWriter = GuidFromString("96406BD4-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMWriterAdvanced = GuidFromString("96406BE3-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMHeaderInfo = GuidFromString("96406BDA-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMHeaderInfo2 = GuidFromString("15CF9781-454E-482E-B393-85FAE487A810");
inline constexpr IID IID_IWMHeaderInfo3 = GuidFromString("15CC68E3-27CC-4ECD-B222-3F5D02D80BD5");
inline constexpr IID IID_IWMMetadataEditor = GuidFromString("96406BD9-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMProfile = GuidFromString("96406BDB-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMStreamConfig = GuidFromString("96406BDC-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMMediaProps = GuidFromString("96406BCE-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMPropertyVault = GuidFromString("72995A79-5090-42A4-9C8C-D9D0B6D34BE5");
inline constexpr IID IID_IWMInputMediaProps =
    GuidFromString("96406BD5-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_IWMOutputMediaProps =
    GuidFromString("96406BD7-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr IID IID_INSSBuffer = GuidFromString("E1CD3524-03D7-11D2-9EED-006097D2D7CF");

// ---- Interfaces ----------------------------------------------------------------------------

class IWMMutualExclusion;  // not offered by this module
class IWMWriterSink;       // not offered by this module
struct WM_READER_STATISTICS;
struct WM_READER_CLIENTINFO;
struct WM_WRITER_STATISTICS;

// A sample buffer.
class INSSBuffer : public IUnknown {
public:
    virtual HRESULT GetLength(DWORD* pdwLength) = 0;
    virtual HRESULT SetLength(DWORD dwLength) = 0;
    virtual HRESULT GetMaxLength(DWORD* pdwLength) = 0;
    virtual HRESULT GetBuffer(BYTE** ppdwBuffer) = 0;
    virtual HRESULT GetBufferAndLength(BYTE** ppdwBuffer, DWORD* pdwLength) = 0;
};

class IWMMediaProps : public IUnknown {
public:
    virtual HRESULT GetType(GUID* pguidType) = 0;
    // Two calls: pType null gives the block size in *pcbType; then the block itself.
    virtual HRESULT GetMediaType(WM_MEDIA_TYPE* pType, DWORD* pcbType) = 0;
    virtual HRESULT SetMediaType(WM_MEDIA_TYPE* pType) = 0;
};

class IWMInputMediaProps : public IWMMediaProps {
public:
    virtual HRESULT GetConnectionName(WCHAR* pwszName, WORD* pcchName) = 0;
    virtual HRESULT GetGroupName(WCHAR* pwszName, WORD* pcchName) = 0;
};

class IWMOutputMediaProps : public IWMMediaProps {
public:
    virtual HRESULT GetStreamGroupName(WCHAR* pwszName, WORD* pcchName) = 0;
    virtual HRESULT GetConnectionName(WCHAR* pwszName, WORD* pcchName) = 0;
};

class IWMPropertyVault : public IUnknown {
public:
    virtual HRESULT GetPropertyCount(DWORD* pdwCount) = 0;
    virtual HRESULT GetPropertyByName(LPCWSTR pszName, WMT_ATTR_DATATYPE* pType, BYTE* pValue,
                                      DWORD* pdwSize) = 0;
    virtual HRESULT SetProperty(LPCWSTR pszName, WMT_ATTR_DATATYPE pType, BYTE* pValue,
                                DWORD dwSize) = 0;
    virtual HRESULT GetPropertyByIndex(DWORD dwIndex, LPWSTR pszName, DWORD* pdwNameLen,
                                       WMT_ATTR_DATATYPE* pType, BYTE* pValue, DWORD* pdwSize) = 0;
    virtual HRESULT CopyPropertiesFrom(IWMPropertyVault* pIWMPropertyVault) = 0;
    virtual HRESULT Clear() = 0;
};

class IWMStreamConfig : public IUnknown {
public:
    virtual HRESULT GetStreamType(GUID* pguidStreamType) = 0;
    virtual HRESULT GetStreamNumber(WORD* pwStreamNum) = 0;
    virtual HRESULT SetStreamNumber(WORD wStreamNum) = 0;
    virtual HRESULT GetStreamName(WCHAR* pwszStreamName, WORD* pcchStreamName) = 0;
    virtual HRESULT SetStreamName(LPCWSTR pwszStreamName) = 0;
    virtual HRESULT GetConnectionName(WCHAR* pwszInputName, WORD* pcchInputName) = 0;
    virtual HRESULT SetConnectionName(LPCWSTR pwszInputName) = 0;
    virtual HRESULT GetBitrate(DWORD* pdwBitrate) = 0;
    virtual HRESULT SetBitrate(DWORD pdwBitrate) = 0;
    // Milliseconds.
    virtual HRESULT GetBufferWindow(DWORD* pmsBufferWindow) = 0;
    virtual HRESULT SetBufferWindow(DWORD msBufferWindow) = 0;
};

class IWMProfile : public IUnknown {
public:
    virtual HRESULT GetVersion(WMT_VERSION* pdwVersion) = 0;
    virtual HRESULT GetName(WCHAR* pwszName, DWORD* pcchName) = 0;
    virtual HRESULT SetName(LPCWSTR pwszName) = 0;
    virtual HRESULT GetDescription(WCHAR* pwszDescription, DWORD* pcchDescription) = 0;
    virtual HRESULT SetDescription(LPCWSTR pwszDescription) = 0;
    virtual HRESULT GetStreamCount(DWORD* pcStreams) = 0;
    virtual HRESULT GetStream(DWORD dwStreamIndex, IWMStreamConfig** ppConfig) = 0;
    virtual HRESULT GetStreamByNumber(WORD wStreamNum, IWMStreamConfig** ppConfig) = 0;
    virtual HRESULT RemoveStream(IWMStreamConfig* pConfig) = 0;
    virtual HRESULT RemoveStreamByNumber(WORD wStreamNum) = 0;
    virtual HRESULT AddStream(IWMStreamConfig* pConfig) = 0;
    virtual HRESULT ReconfigStream(IWMStreamConfig* pConfig) = 0;
    virtual HRESULT CreateNewStream(REFGUID guidStreamType, IWMStreamConfig** ppConfig) = 0;
    virtual HRESULT GetMutualExclusionCount(DWORD* pcME) = 0;
    virtual HRESULT GetMutualExclusion(DWORD dwMEIndex, IWMMutualExclusion** ppME) = 0;
    virtual HRESULT RemoveMutualExclusion(IWMMutualExclusion* pME) = 0;
    virtual HRESULT AddMutualExclusion(IWMMutualExclusion* pME) = 0;
    virtual HRESULT CreateNewMutualExclusion(IWMMutualExclusion** ppME) = 0;
};

class IWMHeaderInfo : public IUnknown {
public:
    virtual HRESULT GetAttributeCount(WORD wStreamNum, WORD* pcAttributes) = 0;
    virtual HRESULT GetAttributeByIndex(WORD wIndex, WORD* pwStreamNum, WCHAR* pwszName,
                                        WORD* pcchNameLen, WMT_ATTR_DATATYPE* pType, BYTE* pValue,
                                        WORD* pcbLength) = 0;
    // *pwStreamNum 0 is the file level; a null pValue asks for the type and length only.
    virtual HRESULT GetAttributeByName(WORD* pwStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE* pType,
                                       BYTE* pValue, WORD* pcbLength) = 0;
    virtual HRESULT SetAttribute(WORD wStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                 const BYTE* pValue, WORD cbLength) = 0;
    virtual HRESULT GetMarkerCount(WORD* pcMarkers) = 0;
    virtual HRESULT GetMarker(WORD wIndex, WCHAR* pwszMarkerName, WORD* pcchMarkerNameLen,
                              QWORD* pcnsMarkerTime) = 0;
    virtual HRESULT AddMarker(LPCWSTR pwszMarkerName, QWORD cnsMarkerTime) = 0;
    virtual HRESULT RemoveMarker(WORD wIndex) = 0;
    virtual HRESULT GetScriptCount(WORD* pcScripts) = 0;
    virtual HRESULT GetScript(WORD wIndex, WCHAR* pwszType, WORD* pcchTypeLen, WCHAR* pwszCommand,
                              WORD* pcchCommandLen, QWORD* pcnsScriptTime) = 0;
    virtual HRESULT AddScript(LPCWSTR pwszType, LPCWSTR pwszCommand, QWORD cnsScriptTime) = 0;
    virtual HRESULT RemoveScript(WORD wIndex) = 0;
};

class IWMHeaderInfo2 : public IWMHeaderInfo {
public:
    virtual HRESULT GetCodecInfoCount(DWORD* pcCodecInfos) = 0;
    virtual HRESULT GetCodecInfo(DWORD wIndex, WORD* pcchName, WCHAR* pwszName,
                                 WORD* pcchDescription, WCHAR* pwszDescription,
                                 WMT_CODEC_INFO_TYPE* pCodecType, WORD* pcbCodecInfo,
                                 BYTE* pbCodecInfo) = 0;
};

class IWMHeaderInfo3 : public IWMHeaderInfo2 {
public:
    virtual HRESULT GetAttributeCountEx(WORD wStreamNum, WORD* pcAttributes) = 0;
    virtual HRESULT GetAttributeIndices(WORD wStreamNum, LPCWSTR pwszName, WORD* pwLangIndex,
                                        WORD* pwIndices, WORD* pwCount) = 0;
    virtual HRESULT GetAttributeByIndexEx(WORD wStreamNum, WORD wIndex, LPWSTR pwszName,
                                          WORD* pwNameLen, WMT_ATTR_DATATYPE* pType,
                                          WORD* pwLangIndex, BYTE* pValue,
                                          DWORD* pdwDataLength) = 0;
    virtual HRESULT ModifyAttribute(WORD wStreamNum, WORD wIndex, WMT_ATTR_DATATYPE Type,
                                    WORD wLangIndex, const BYTE* pValue, DWORD dwLength) = 0;
    virtual HRESULT AddAttribute(WORD wStreamNum, LPCWSTR pszName, WORD* pwIndex,
                                 WMT_ATTR_DATATYPE Type, WORD wLangIndex, const BYTE* pValue,
                                 DWORD dwLength) = 0;
    virtual HRESULT DeleteAttribute(WORD wStreamNum, WORD wIndex) = 0;
    virtual HRESULT AddCodecInfo(LPCWSTR pwszName, LPCWSTR pwszDescription,
                                 WMT_CODEC_INFO_TYPE codecType, WORD cbCodecInfo,
                                 const BYTE* pbCodecInfo) = 0;
};

class IWMStatusCallback : public IUnknown {
public:
    virtual HRESULT OnStatus(WMT_STATUS Status, HRESULT hr, WMT_ATTR_DATATYPE dwType, BYTE* pValue,
                             void* pvContext) = 0;
};

class IWMReaderCallback : public IWMStatusCallback {
public:
    virtual HRESULT OnSample(DWORD dwOutputNum, QWORD cnsSampleTime, QWORD cnsSampleDuration,
                             DWORD dwFlags, INSSBuffer* pSample, void* pvContext) = 0;
};

class IWMReaderCallbackAdvanced : public IUnknown {
public:
    virtual HRESULT OnStreamSample(WORD wStreamNum, QWORD cnsSampleTime, QWORD cnsSampleDuration,
                                   DWORD dwFlags, INSSBuffer* pSample, void* pvContext) = 0;
    virtual HRESULT OnTime(QWORD cnsCurrentTime, void* pvContext) = 0;
    virtual HRESULT OnStreamSelection(WORD wStreamCount, WORD* pStreamNumbers,
                                      WMT_STREAM_SELECTION* pSelections, void* pvContext) = 0;
    virtual HRESULT OnOutputPropsChanged(DWORD dwOutputNum, WM_MEDIA_TYPE* pMediaType,
                                         void* pvContext) = 0;
    virtual HRESULT AllocateForStream(WORD wStreamNum, DWORD cbBuffer, INSSBuffer** ppBuffer,
                                      void* pvContext) = 0;
    virtual HRESULT AllocateForOutput(DWORD dwOutputNum, DWORD cbBuffer, INSSBuffer** ppBuffer,
                                      void* pvContext) = 0;
};

class IWMReader : public IUnknown {
public:
    // Returns at once; the result arrives as WMT_OPENED through the callback.
    virtual HRESULT Open(LPCWSTR pwszURL, IWMReaderCallback* pCallback, void* pvContext) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT GetOutputCount(DWORD* pcOutputs) = 0;
    virtual HRESULT GetOutputProps(DWORD dwOutputNum, IWMOutputMediaProps** ppOutput) = 0;
    virtual HRESULT SetOutputProps(DWORD dwOutputNum, IWMOutputMediaProps* pOutput) = 0;
    virtual HRESULT GetOutputFormatCount(DWORD dwOutputNumber, DWORD* pcFormats) = 0;
    virtual HRESULT GetOutputFormat(DWORD dwOutputNumber, DWORD dwFormatNumber,
                                    IWMOutputMediaProps** ppProps) = 0;
    virtual HRESULT Start(QWORD cnsStart, QWORD cnsDuration, float fRate, void* pvContext) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Resume() = 0;
};

class IWMReaderAdvanced : public IUnknown {
public:
    virtual HRESULT SetUserProvidedClock(BOOL fUserClock) = 0;
    virtual HRESULT GetUserProvidedClock(BOOL* pfUserClock) = 0;
    virtual HRESULT DeliverTime(QWORD cnsTime) = 0;
    virtual HRESULT SetManualStreamSelection(BOOL fSelection) = 0;
    virtual HRESULT GetManualStreamSelection(BOOL* pfSelection) = 0;
    virtual HRESULT SetStreamsSelected(WORD cStreamCount, WORD* pwStreamNumbers,
                                       WMT_STREAM_SELECTION* pSelections) = 0;
    virtual HRESULT GetStreamSelected(WORD wStreamNum, WMT_STREAM_SELECTION* pSelection) = 0;
    virtual HRESULT SetReceiveSelectionCallbacks(BOOL fGetCallbacks) = 0;
    virtual HRESULT GetReceiveSelectionCallbacks(BOOL* pfGetCallbacks) = 0;
    virtual HRESULT SetReceiveStreamSamples(WORD wStreamNum, BOOL fReceiveStreamSamples) = 0;
    virtual HRESULT GetReceiveStreamSamples(WORD wStreamNum, BOOL* pfReceiveStreamSamples) = 0;
    virtual HRESULT SetAllocateForOutput(DWORD dwOutputNum, BOOL fAllocate) = 0;
    virtual HRESULT GetAllocateForOutput(DWORD dwOutputNum, BOOL* pfAllocate) = 0;
    virtual HRESULT SetAllocateForStream(WORD wStreamNum, BOOL fAllocate) = 0;
    virtual HRESULT GetAllocateForStream(WORD dwSreamNum, BOOL* pfAllocate) = 0;
    virtual HRESULT GetStatistics(WM_READER_STATISTICS* pStatistics) = 0;
    virtual HRESULT SetClientInfo(WM_READER_CLIENTINFO* pClientInfo) = 0;
    virtual HRESULT GetMaxOutputSampleSize(DWORD dwOutput, DWORD* pcbMax) = 0;
    virtual HRESULT GetMaxStreamSampleSize(WORD wStream, DWORD* pcbMax) = 0;
    virtual HRESULT NotifyLateDelivery(QWORD cnsLateness) = 0;
};

class IWMWriter : public IUnknown {
public:
    virtual HRESULT SetProfileByID(REFGUID guidProfile) = 0;
    virtual HRESULT SetProfile(IWMProfile* pProfile) = 0;
    virtual HRESULT SetOutputFilename(LPCWSTR pwszFilename) = 0;
    virtual HRESULT GetInputCount(DWORD* pcInputs) = 0;
    virtual HRESULT GetInputProps(DWORD dwInputNum, IWMInputMediaProps** ppInput) = 0;
    // A null pInput: the input takes compressed stream samples only.
    virtual HRESULT SetInputProps(DWORD dwInputNum, IWMInputMediaProps* pInput) = 0;
    virtual HRESULT GetInputFormatCount(DWORD dwInputNumber, DWORD* pcFormats) = 0;
    virtual HRESULT GetInputFormat(DWORD dwInputNumber, DWORD dwFormatNumber,
                                   IWMInputMediaProps** pProps) = 0;
    virtual HRESULT BeginWriting() = 0;
    virtual HRESULT EndWriting() = 0;
    virtual HRESULT AllocateSample(DWORD dwSampleSize, INSSBuffer** ppSample) = 0;
    virtual HRESULT WriteSample(DWORD dwInputNum, QWORD cnsSampleTime, DWORD dwFlags,
                                INSSBuffer* pSample) = 0;
    virtual HRESULT Flush() = 0;
};

class IWMWriterAdvanced : public IUnknown {
public:
    virtual HRESULT GetSinkCount(DWORD* pcSinks) = 0;
    virtual HRESULT GetSink(DWORD dwSinkNum, IWMWriterSink** ppSink) = 0;
    virtual HRESULT AddSink(IWMWriterSink* pSink) = 0;
    virtual HRESULT RemoveSink(IWMWriterSink* pSink) = 0;
    virtual HRESULT WriteStreamSample(WORD wStreamNum, QWORD cnsSampleTime, DWORD msSampleSendTime,
                                      QWORD cnsSampleDuration, DWORD dwFlags,
                                      INSSBuffer* pSample) = 0;
    virtual HRESULT SetLiveSource(BOOL fIsLiveSource) = 0;
    virtual HRESULT IsRealTime(BOOL* pfRealTime) = 0;
    virtual HRESULT GetWriterTime(QWORD* pcnsCurrentTime) = 0;
    virtual HRESULT GetStatistics(WORD wStreamNum, WM_WRITER_STATISTICS* pStats) = 0;
    virtual HRESULT SetSyncTolerance(DWORD msWindow) = 0;
    virtual HRESULT GetSyncTolerance(DWORD* pmsWindow) = 0;
};

class IWMMetadataEditor : public IUnknown {
public:
    virtual HRESULT Open(LPCWSTR pwszFilename) = 0;
    // Saves the header changes made through the editor, then closes the file.
    virtual HRESULT Close() = 0;
    // Saves the header changes and closes the file.
    virtual HRESULT Flush() = 0;
};

// The ids QueryInterface answers for these interfaces, and which of them extend another.
template <>
inline constexpr const IID* kInterfaceId<INSSBuffer> = &IID_INSSBuffer;
template <>
inline constexpr const IID* kInterfaceId<IWMMediaProps> = &IID_IWMMediaProps;
template <>
inline constexpr const IID* kInterfaceId<IWMInputMediaProps> = &IID_IWMInputMediaProps;
template <>
inline constexpr const IID* kInterfaceId<IWMOutputMediaProps> = &IID_IWMOutputMediaProps;
template <>
inline constexpr const IID* kInterfaceId<IWMPropertyVault> = &IID_IWMPropertyVault;
template <>
inline constexpr const IID* kInterfaceId<IWMStreamConfig> = &IID_IWMStreamConfig;
template <>
inline constexpr const IID* kInterfaceId<IWMProfile> = &IID_IWMProfile;
template <>
inline constexpr const IID* kInterfaceId<IWMHeaderInfo> = &IID_IWMHeaderInfo;
template <>
inline constexpr const IID* kInterfaceId<IWMHeaderInfo2> = &IID_IWMHeaderInfo2;
template <>
inline constexpr const IID* kInterfaceId<IWMHeaderInfo3> = &IID_IWMHeaderInfo3;
template <>
inline constexpr const IID* kInterfaceId<IWMStatusCallback> = &IID_IWMStatusCallback;
template <>
inline constexpr const IID* kInterfaceId<IWMReaderCallback> = &IID_IWMReaderCallback;
template <>
inline constexpr const IID* kInterfaceId<IWMReaderCallbackAdvanced> =
    &IID_IWMReaderCallbackAdvanced;
template <>
inline constexpr const IID* kInterfaceId<IWMReader> = &IID_IWMReader;
template <>
inline constexpr const IID* kInterfaceId<IWMReaderAdvanced> = &IID_IWMReaderAdvanced;
template <>
inline constexpr const IID* kInterfaceId<IWMWriter> = &IID_IWMWriter;
template <>
inline constexpr const IID* kInterfaceId<IWMWriterAdvanced> = &IID_IWMWriterAdvanced;
template <>
inline constexpr const IID* kInterfaceId<IWMMetadataEditor> = &IID_IWMMetadataEditor;
template <>
struct InterfaceBase<IWMInputMediaProps> {
    using type = IWMMediaProps;
};
template <>
struct InterfaceBase<IWMOutputMediaProps> {
    using type = IWMMediaProps;
};
template <>
struct InterfaceBase<IWMHeaderInfo2> {
    using type = IWMHeaderInfo;
};
template <>
struct InterfaceBase<IWMHeaderInfo3> {
    using type = IWMHeaderInfo2;
};
template <>
struct InterfaceBase<IWMReaderCallback> {
    using type = IWMStatusCallback;
};

// ---- Factories exported by the module ------------------------------------------------------

using WMCreateReaderFn = HRESULT (*)(IUnknown* pUnkCert, DWORD dwRights, IWMReader** ppReader);
using WMCreateWriterFn = HRESULT (*)(IUnknown* pUnkCert, IWMWriter** ppWriter);
using WMCreateEditorFn = HRESULT (*)(IWMMetadataEditor** ppEditor);

inline constexpr const char* kWmvCoreModuleName = "WMVCore";
