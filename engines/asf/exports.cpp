// The module's only visible symbols: the three Windows Media factories.
#include <new>

#include "engines/asf/editor.h"
#include "engines/asf/reader.h"
#include "engines/asf/writer.h"

#define WMVCORE_EXPORT extern "C" __attribute__((visibility("default")))

WMVCORE_EXPORT HRESULT WMCreateReader(IUnknown* /*pUnkCert*/, DWORD /*dwRights*/,
                                      IWMReader** ppReader) {
    if (ppReader == nullptr) {
        return E_POINTER;
    }
    *ppReader = new (std::nothrow) asf::Reader();
    return *ppReader != nullptr ? S_OK : E_OUTOFMEMORY;
}

WMVCORE_EXPORT HRESULT WMCreateWriter(IUnknown* /*pUnkCert*/, IWMWriter** ppWriter) {
    if (ppWriter == nullptr) {
        return E_POINTER;
    }
    *ppWriter = new (std::nothrow) asf::Writer();
    return *ppWriter != nullptr ? S_OK : E_OUTOFMEMORY;
}

WMVCORE_EXPORT HRESULT WMCreateEditor(IWMMetadataEditor** ppEditor) {
    if (ppEditor == nullptr) {
        return E_POINTER;
    }
    *ppEditor = new (std::nothrow) asf::Editor();
    return *ppEditor != nullptr ? S_OK : E_OUTOFMEMORY;
}
