// AVI and MPEG files are read by the conversion library: its file scan fills an information
// record while a small progress window over the main window shows how far it got.
#pragma once

#include <string>

#include "engines/conversion/mcl.h"
#include "probe/media_kind.h"

// What the scan shows while it runs. The main window is one; with none the scan shows nothing.
class ScanProgressView {
public:
    virtual ~ScanProgressView() = default;
    virtual void ShowScanProgress(const std::string& text) = 0;
    virtual void SetScanProgress(int percent, const std::string& text) = 0;
    virtual void HideScanProgress() = 0;
    // Dispatches the waiting events of the calling thread, so the window stays alive.
    virtual void PumpMessages() = 0;
};

// The view the scan and its callback reach: the main window while it exists.
extern ScanProgressView* g_scanProgressView;

inline constexpr char kScanningText[] = "Scanning...";
inline constexpr char kScannedSuffix[] = "% Scanned";  // after the whole percentage
inline constexpr char kUnknownPercentText[] = "Can't retrieve total frame count, unknow percentage";
inline constexpr char kConversionLibraryMissingText[] =
    "The conversion engine (libzivuvore.so, next to the program) is missing: AVI and MPEG files "
    "are listed without their details and cannot be joined.";

// The library's file scan once the library is loaded (null: not loaded, or not found in it). The
// library's loader sets it; the probe knows nothing else of the library.
void SetLibraryFileScan(MclGetFileInfoFn scan);
MclGetFileInfoFn LibraryFileScan();

// Scans `path` with the library's MclGetFileInfo under the progress window; the library's
// result is not examined, the record holds what the library left in it. False, with *info
// zero and no window shown, when the library or its MclGetFileInfo is missing.
bool ScanWithLibrary(const std::string& path, MclFileInfo& info);

// The library's progress callback: the percentage at offset 12 of its record.
void ScanProgressCallback(const void* progressRecord);

// The kind of an MPEG file from the library's format name: MPEG-2 when the name is "MPEG-2"
// in any case, or contains "SVCD" or "DVD" (as written); MPEG otherwise.
MediaKind MpegKindFromFormatName(const std::string& formatName);
