#include "engines/asf/nss_buffer.h"

namespace asf {

NssBuffer::NssBuffer(DWORD capacity) : m_data(Bytes(capacity)), m_length(0) {}

NssBuffer::NssBuffer(ObjectBytes data, Bytes extension)
    : m_data(std::move(data)), m_extension(std::move(extension)) {
    m_length = static_cast<DWORD>(m_data.size());
}

HRESULT NssBuffer::GetLength(DWORD* pdwLength) {
    if (pdwLength == nullptr) {
        return E_POINTER;
    }
    *pdwLength = m_length;
    return S_OK;
}

HRESULT NssBuffer::SetLength(DWORD dwLength) {
    if (dwLength > m_data.size()) {
        return E_INVALIDARG;
    }
    m_length = dwLength;
    return S_OK;
}

HRESULT NssBuffer::GetMaxLength(DWORD* pdwLength) {
    if (pdwLength == nullptr) {
        return E_POINTER;
    }
    *pdwLength = static_cast<DWORD>(m_data.size());
    return S_OK;
}

HRESULT NssBuffer::GetBuffer(BYTE** ppdwBuffer) {
    if (ppdwBuffer == nullptr) {
        return E_POINTER;
    }
    *ppdwBuffer = m_data.Owned().data();
    return S_OK;
}

HRESULT NssBuffer::GetBufferAndLength(BYTE** ppdwBuffer, DWORD* pdwLength) {
    if (ppdwBuffer == nullptr || pdwLength == nullptr) {
        return E_POINTER;
    }
    *ppdwBuffer = m_data.Owned().data();
    *pdwLength = m_length;
    return S_OK;
}

}  // namespace asf
