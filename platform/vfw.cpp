#include "platform/vfw.h"

#include <atomic>

namespace {
std::atomic<int> g_aviFileUsers{0};
}

void AVIFileInit() { ++g_aviFileUsers; }

void AVIFileExit() {
    int users = g_aviFileUsers.load();
    while (users > 0 && !g_aviFileUsers.compare_exchange_weak(users, users - 1)) {
    }
}

int AVIFileInitCount() { return g_aviFileUsers.load(); }
