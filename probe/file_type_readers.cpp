#include "probe/file_type_readers.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "probe/asf_header_reader.h"
#include "probe/avi_probe.h"
#include "probe/format_tags.h"
#include "probe/library_scan.h"
#include "probe/probe_media_file.h"
#include "probe/rm_header_reader.h"

namespace {

std::vector<FileTypeReader>& Readers() {
    static std::vector<FileTypeReader> readers;
    return readers;
}

// Set once the readers are in place: a probe on any thread sees them whole or not at all.
std::atomic<bool> g_installed{false};

// Copies the completed header values into the record.
void CopyHeaderValues(const ProbeInfo& info, MediaFileInfo& record) {
    record.m_strVideoCodec = info.videoCodec;
    record.m_nWidth = static_cast<int32_t>(info.width);
    record.m_nHeight = static_cast<int32_t>(info.height);
    // Whole frames per second: the rate is shown with its fraction cut off.
    uint32_t wholeFramesPerSecond = info.frameRateMilli / 1000;
    record.m_fFrameRate = static_cast<float>(wholeFramesPerSecond);
    record.m_nFrameCount = static_cast<int32_t>(info.frameCount);
    record.m_fDuration = static_cast<float>(info.duration);
    record.m_bHasAudio = info.audioCount != 0 ? 1 : 0;
    if (info.audioCount != 0) {
        record.m_strAudioCodec = info.audio[0].name;
        record.m_fAudioRate = static_cast<float>(info.audio[0].byteRate);
    }
}

// A Real Media or Windows Media file: its own header, read here by `readHeader`. A header that
// cannot be read leaves g_probeInfo zero, and the record with it.
double ReadHeaderFile(int (*readHeader)(const std::string&, ProbeInfo&), FileTypeCode code,
                      MediaKind kind, const std::string& path, MediaFileInfo& record) {
    g_probeInfo.Clear();
    g_probeInfo.typeCode = code;
    record.m_nKind = kind;
    readHeader(path, g_probeInfo);
    CompleteProbeInfo(g_probeInfo);
    CopyHeaderValues(g_probeInfo, record);
    return -1;
}

// Copies the library's scan of an AVI or MPEG file into the record; the kind of an MPEG file
// comes from the library's format name.
void CopyScanValues(FileTypeCode code, const MclFileInfo& scan, MediaFileInfo& record) {
    auto text = [](const char* slot, size_t size) {
        return std::string(slot, strnlen(slot, size));
    };
    record.m_nKind = code == kTypeAvi
                         ? kKindAvi
                         : MpegKindFromFormatName(text(scan.formatName, sizeof scan.formatName));
    record.m_nWidth = scan.width;
    record.m_nHeight = scan.height;
    record.m_strVideoCodec = text(scan.videoCodec, sizeof scan.videoCodec);
    record.m_strAudioCodec = text(scan.audioCodec, sizeof scan.audioCodec);
    record.m_fFrameRate = static_cast<float>(scan.frameRate);
    record.m_nFrameCount = scan.frameCount;
    record.m_fDuration = static_cast<float>(scan.duration);
    record.m_bHasAudio = scan.hasAudio;
    record.m_fAudioRate = static_cast<float>(scan.audioBitRate);
}

// An AVI or MPEG file: the conversion module's scan.
double ReadScannedFile(FileTypeCode code, const std::string& path, MediaFileInfo& record,
                       ProbeError* error) {
    double scannedSeconds = -1;
    MclFileInfo scan;
    if (ScanWithLibrary(path, scan)) {
        scannedSeconds = scan.duration;
    } else if (error != nullptr) {
        // Without the library the row still has its kind, with zero values.
        *error = ProbeError{};
        error->notice = kConversionLibraryMissingText;
    }
    CopyScanValues(code, scan, record);
    return scannedSeconds;
}

}  // namespace

void InstallFileTypeReaders(std::vector<FileTypeReader> readers) {
    static std::once_flag once;
    std::call_once(once, [&readers] {
        Readers() = std::move(readers);
        g_installed.store(true, std::memory_order_release);
    });
}

const FileTypeReader* FindFileTypeReader(FileTypeCode type) {
    if (type == kTypeUnknown || !g_installed.load(std::memory_order_acquire)) {
        return nullptr;
    }
    for (const FileTypeReader& reader : Readers()) {
        if (reader.type == type) {
            return &reader;
        }
    }
    return nullptr;
}

FileTypeReader AsfFileReader() {
    return {.type = kTypeAsf,
            .read =
                [](const std::string& path, MediaFileInfo& record, ProbeError*) {
                    return ReadHeaderFile(ReadAsfHeader, kTypeAsf, kKindWmv, path, record);
                },
            .findCutShort = [](const CutShortReadAt& readAt, uint64_t fileSize,
                               double) { return FindAsfCutShort(readAt, fileSize); }};
}

FileTypeReader RealMediaFileReader() {
    return {.type = kTypeRealMedia,
            .read =
                [](const std::string& path, MediaFileInfo& record, ProbeError*) {
                    return ReadHeaderFile(ReadRmHeader, kTypeRealMedia, kKindRealMedia, path,
                                          record);
                },
            .findCutShort = [](const CutShortReadAt& readAt, uint64_t fileSize,
                               double) { return FindRmCutShort(readAt, fileSize); }};
}

FileTypeReader AviFileReader() {
    return {.type = kTypeAvi,
            .read =
                [](const std::string& path, MediaFileInfo& record, ProbeError* error) {
                    double scanned = ReadScannedFile(kTypeAvi, path, record, error);
                    ApplyAviFourccSteps(path, record);
                    // Without a codec name from the library, the handler code stands for it.
                    if (record.m_strVideoCodec.empty() && record.m_dwFourcc != 0) {
                        record.m_strVideoCodec = FourccText(record.m_dwFourcc);
                    }
                    return scanned;
                },
            .findCutShort = FindAviCutShort};
}

FileTypeReader MpegFileReader() {
    return {
        .type = kTypeMpeg,
        .read = [](const std::string& path, MediaFileInfo& record,
                   ProbeError* error) { return ReadScannedFile(kTypeMpeg, path, record, error); },
        .findCutShort = FindMpegCutShort};
}
