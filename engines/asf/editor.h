// The metadata editor: opens a finished file, offers its header through IWMHeaderInfo3, and on
// Close or Flush writes the changed header back. A header that still fits in the old one's
// place (the writer leaves padding for this) is rewritten in place; a larger one makes the file
// be copied once behind a new header. Data packets and index objects are kept unchanged, and
// their positions relative to the Data Object stay valid.
#pragma once

#include <mutex>
#include <string>

#include "engines/asf/asf_source.h"
#include "engines/asf/internal.h"

namespace asf {

class HeaderInfo;

class Editor final : public ComObject<IWMMetadataEditor> {
public:
    Editor() = default;

    // Also hands out the header (and profile) objects of the open file.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;

    HRESULT Open(LPCWSTR pwszFilename) override;
    HRESULT Close() override;
    HRESULT Flush() override;

private:
    ~Editor() override;
    HRESULT SaveLocked();
    HRESULT RewriteLocked(const Bytes& newHeader);
    void CloseLocked();

    std::mutex m_mutex;
    std::string m_path;
    AsfSource m_source;
    HeaderInfo* m_headerInfo = nullptr;
};

}  // namespace asf
