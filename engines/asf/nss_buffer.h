// The sample buffer the module hands out and accepts: bytes with a length and a capacity.
#pragma once

#include "engines/asf/internal.h"

namespace asf {

class NssBuffer final : public ComObject<INSSBuffer, IAsfSampleExtension, IAsfSampleData> {
public:
    explicit NssBuffer(DWORD capacity);
    NssBuffer(ObjectBytes data, Bytes extension);

    HRESULT GetLength(DWORD* pdwLength) override;
    HRESULT SetLength(DWORD dwLength) override;
    HRESULT GetMaxLength(DWORD* pdwLength) override;
    HRESULT GetBuffer(BYTE** ppdwBuffer) override;
    HRESULT GetBufferAndLength(BYTE** ppdwBuffer, DWORD* pdwLength) override;

    const Bytes& ExtensionData() const override { return m_extension; }
    const ObjectBytes& SampleBytes() const override { return m_data; }

private:
    ~NssBuffer() override = default;

    // size() is the capacity; the bytes are gathered into one piece when someone asks for a
    // pointer to them.
    ObjectBytes m_data;
    DWORD m_length = 0;
    Bytes m_extension;
};

}  // namespace asf
