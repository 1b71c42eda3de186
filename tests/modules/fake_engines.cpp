// Stand-ins for the engine modules, for the start-up tests only: each exports the entry points
// the program looks up, and records what it was handed so the tests can read it back.
#include <cstring>

#define KJ_EXPORT extern "C" __attribute__((visibility("default")))

#if defined(KJ_FAKE_RMTO3260)
static char g_block[2048];
static int g_calls = 0;
KJ_EXPORT int SetDLLAccessPath(const char* block) {
    std::memcpy(g_block, block, sizeof g_block);
    ++g_calls;
    return 1;
}
KJ_EXPORT const char* FakeAccessPathBlock() {
    return g_block;
}
KJ_EXPORT int FakeAccessPathCalls() {
    return g_calls;
}
#endif

#if defined(KJ_FAKE_WMVCORE)
KJ_EXPORT int WMCreateWriter(void*, void**) {
    return -1;
}
KJ_EXPORT int WMCreateReader(void*, unsigned, void**) {
    return -1;
}
#if !defined(KJ_FAKE_WMVCORE_WITHOUT_EDITOR)
KJ_EXPORT int WMCreateEditor(void**) {
    return -1;
}
#endif
#endif

#if defined(KJ_FAKE_ZIVUVORE)
KJ_EXPORT int MclAlloc() {
    return 7;
}
KJ_EXPORT int MclListAlloc() {
    return 8;
}
KJ_EXPORT int MclConvert(int) {
    return 0;
}
#endif
