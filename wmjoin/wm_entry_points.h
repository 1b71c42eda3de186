// The three factories of the Windows Media engine module, looked up when the program starts.
#pragma once

#include "engines/asf/wmsdk.h"

class Module;

extern WMCreateWriterFn g_pfnWMCreateWriter;
extern WMCreateReaderFn g_pfnWMCreateReader;
extern WMCreateEditorFn g_pfnWMCreateEditor;

// True only when "WMCreateWriter", "WMCreateReader" and "WMCreateEditor" were all found.
bool LoadWmEntryPoints(const Module& module);
