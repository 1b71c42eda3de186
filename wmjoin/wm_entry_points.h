// The three factories of the Windows Media engine module, looked up when the program starts.
#pragma once

#include <cstdint>

#include "platform/com.h"

class Module;
class IWMReader;
class IWMWriter;
class IWMMetadataEditor;

extern "C" {
using WMCreateReaderFn = HRESULT (*)(IUnknown* certificate, uint32_t rights, IWMReader** reader);
using WMCreateWriterFn = HRESULT (*)(IUnknown* certificate, IWMWriter** writer);
using WMCreateEditorFn = HRESULT (*)(IWMMetadataEditor** editor);
}

extern WMCreateWriterFn g_pfnWMCreateWriter;
extern WMCreateReaderFn g_pfnWMCreateReader;
extern WMCreateEditorFn g_pfnWMCreateEditor;

// True only when "WMCreateWriter", "WMCreateReader" and "WMCreateEditor" were all found.
bool LoadWmEntryPoints(const Module& module);
