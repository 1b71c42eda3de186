#include "wmjoin/wm_entry_points.h"

#include "platform/module.h"

WMCreateWriterFn g_pfnWMCreateWriter = nullptr;
WMCreateReaderFn g_pfnWMCreateReader = nullptr;
WMCreateEditorFn g_pfnWMCreateEditor = nullptr;

bool LoadWmEntryPoints(const Module& module) {
    g_pfnWMCreateWriter = module.ResolveAs<WMCreateWriterFn>("WMCreateWriter");
    g_pfnWMCreateReader = module.ResolveAs<WMCreateReaderFn>("WMCreateReader");
    g_pfnWMCreateEditor = module.ResolveAs<WMCreateEditorFn>("WMCreateEditor");
    return g_pfnWMCreateWriter != nullptr && g_pfnWMCreateReader != nullptr &&
           g_pfnWMCreateEditor != nullptr;
}
