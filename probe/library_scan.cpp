#include "probe/library_scan.h"

#include <strings.h>

#include <atomic>
#include <cstring>

ScanProgressView* g_scanProgressView = nullptr;

namespace {
std::atomic<MclGetFileInfoFn> g_fileScan{nullptr};
}  // namespace

void SetLibraryFileScan(MclGetFileInfoFn scan) {
    g_fileScan = scan;
}

MclGetFileInfoFn LibraryFileScan() {
    return g_fileScan;
}

// The callback hands over the library's own record, of which only the percentage is read.
static_assert(offsetof(MclScanProgressRecord, percent) == 12);

bool ScanWithLibrary(const std::string& path, MclFileInfo& info) {
    std::memset(&info, 0, sizeof info);
    MclGetFileInfoFn scan = g_fileScan;
    if (scan == nullptr) {
        return false;
    }
    if (g_scanProgressView != nullptr) {
        g_scanProgressView->ShowScanProgress(kScanningText);
        g_scanProgressView->PumpMessages();
    }
    scan(path.c_str(), 1, &info, ScanProgressCallback, g_scanProgressView);
    if (g_scanProgressView != nullptr) {
        g_scanProgressView->HideScanProgress();
    }
    return true;
}

void ScanProgressCallback(const void* progressRecord) {
    ScanProgressView* view = g_scanProgressView;
    if (view == nullptr || progressRecord == nullptr) {
        return;
    }
    double percent = 0;
    std::memcpy(&percent, static_cast<const char*>(progressRecord) + 12, sizeof percent);
    if (percent == kMclUnknownPercent) {
        view->SetScanProgress(100, kUnknownPercentText);
    } else {
        // Truncated, as the bar and the text both show whole percentages.
        int whole = percent > 0 ? static_cast<int>(percent < 100 ? percent : 100) : 0;
        view->SetScanProgress(whole, std::to_string(whole) + kScannedSuffix);
    }
    view->PumpMessages();
}

MediaKind MpegKindFromFormatName(const std::string& formatName) {
    if (strcasecmp(formatName.c_str(), "MPEG-2") == 0 ||
        formatName.find("SVCD") != std::string::npos ||
        formatName.find("DVD") != std::string::npos) {
        return kKindMpeg2;
    }
    return kKindMpeg;
}
