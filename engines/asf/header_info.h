// IWMHeaderInfo3 over a header's attributes, script commands, markers and codec list. The
// reader, the writer and the editor each hold one; what may be changed depends on the owner.
#pragma once

#include <mutex>

#include "engines/asf/asf_model.h"
#include "engines/asf/internal.h"

namespace asf {

struct HeaderInfoPolicy {
    bool editable = false;               // attributes, scripts and codec entries may be changed
    bool markersEditable = false;        // AddMarker / RemoveMarker allowed
    bool markersNotImplemented = false;  // the writer: markers go in through an editor
};

class HeaderInfo final : public ComObject<IWMHeaderInfo3> {
public:
    HeaderInfo(Metadata metadata, std::vector<Attribute> computed, HeaderInfoPolicy policy);

    // The owner's view.
    Metadata Snapshot() const;
    bool Changed() const;
    void SetPolicy(HeaderInfoPolicy policy);

    // IWMHeaderInfo
    HRESULT GetAttributeCount(WORD wStreamNum, WORD* pcAttributes) override;
    HRESULT GetAttributeByIndex(WORD wIndex, WORD* pwStreamNum, WCHAR* pwszName, WORD* pcchNameLen,
                                WMT_ATTR_DATATYPE* pType, BYTE* pValue, WORD* pcbLength) override;
    HRESULT GetAttributeByName(WORD* pwStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE* pType,
                               BYTE* pValue, WORD* pcbLength) override;
    HRESULT SetAttribute(WORD wStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                         const BYTE* pValue, WORD cbLength) override;
    HRESULT GetMarkerCount(WORD* pcMarkers) override;
    HRESULT GetMarker(WORD wIndex, WCHAR* pwszMarkerName, WORD* pcchMarkerNameLen,
                      QWORD* pcnsMarkerTime) override;
    HRESULT AddMarker(LPCWSTR pwszMarkerName, QWORD cnsMarkerTime) override;
    HRESULT RemoveMarker(WORD wIndex) override;
    HRESULT GetScriptCount(WORD* pcScripts) override;
    HRESULT GetScript(WORD wIndex, WCHAR* pwszType, WORD* pcchTypeLen, WCHAR* pwszCommand,
                      WORD* pcchCommandLen, QWORD* pcnsScriptTime) override;
    HRESULT AddScript(LPCWSTR pwszType, LPCWSTR pwszCommand, QWORD cnsScriptTime) override;
    HRESULT RemoveScript(WORD wIndex) override;
    // IWMHeaderInfo2
    HRESULT GetCodecInfoCount(DWORD* pcCodecInfos) override;
    HRESULT GetCodecInfo(DWORD wIndex, WORD* pcchName, WCHAR* pwszName, WORD* pcchDescription,
                         WCHAR* pwszDescription, WMT_CODEC_INFO_TYPE* pCodecType,
                         WORD* pcbCodecInfo, BYTE* pbCodecInfo) override;
    // IWMHeaderInfo3
    HRESULT GetAttributeCountEx(WORD wStreamNum, WORD* pcAttributes) override;
    HRESULT GetAttributeIndices(WORD wStreamNum, LPCWSTR pwszName, WORD* pwLangIndex,
                                WORD* pwIndices, WORD* pwCount) override;
    HRESULT GetAttributeByIndexEx(WORD wStreamNum, WORD wIndex, LPWSTR pwszName, WORD* pwNameLen,
                                  WMT_ATTR_DATATYPE* pType, WORD* pwLangIndex, BYTE* pValue,
                                  DWORD* pdwDataLength) override;
    HRESULT ModifyAttribute(WORD wStreamNum, WORD wIndex, WMT_ATTR_DATATYPE Type, WORD wLangIndex,
                            const BYTE* pValue, DWORD dwLength) override;
    HRESULT AddAttribute(WORD wStreamNum, LPCWSTR pszName, WORD* pwIndex, WMT_ATTR_DATATYPE Type,
                         WORD wLangIndex, const BYTE* pValue, DWORD dwLength) override;
    HRESULT DeleteAttribute(WORD wStreamNum, WORD wIndex) override;
    HRESULT AddCodecInfo(LPCWSTR pwszName, LPCWSTR pwszDescription, WMT_CODEC_INFO_TYPE codecType,
                         WORD cbCodecInfo, const BYTE* pbCodecInfo) override;

private:
    ~HeaderInfo() override = default;

    // Attributes of one stream as the interface lists them: computed ones first (file level).
    std::vector<const Attribute*> Listed(WORD stream) const;
    // Indices into m_metadata.attributes of one stream's stored attributes.
    std::vector<size_t> StoredOf(WORD stream) const;
    bool IsComputed(const std::u16string& name) const;

    mutable std::mutex m_mutex;
    Metadata m_metadata;
    std::vector<Attribute> m_computed;
    HeaderInfoPolicy m_policy;
    bool m_changed = false;
};

// Attribute values between the stored form (UTF-16 strings) and the interface's (WCHAR).
HRESULT ValueFromInterface(WMT_ATTR_DATATYPE type, const BYTE* value, size_t length, Bytes* out);
Bytes ValueToInterface(const Attribute& attribute);

// The attributes a reader or editor computes from the header ("Duration", "Is_Protected", ...).
std::vector<Attribute> ComputedAttributes(const Header& header, uint64_t fileSize, bool hasIndex);

}  // namespace asf
