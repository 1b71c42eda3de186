#include "probe/probe_media_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "probe/asf_header_reader.h"
#include "probe/avi_probe.h"
#include "probe/cut_short.h"
#include "probe/detect_file_type.h"
#include "probe/format_tags.h"
#include "probe/library_scan.h"
#include "probe/rm_header_reader.h"

namespace {

void Fail(ProbeError* error, ProbeFailure failure, std::string reason) {
    if (error != nullptr) {
        error->failure = failure;
        error->reason = std::move(reason);
    }
}

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

}  // namespace

void CompleteProbeInfo(ProbeInfo& info) {
    ProbeAudioStream& first = info.audio[0];
    if (info.audioCount >= 1 && first.formatTag != 0 && first.nameKnown == 0) {
        std::string tagName;
        first.nameKnown = AcmFormatTagName(first.formatTag, tagName) ? 1 : 0;
        if (first.nameKnown != 0 && first.name[0] == '\0') {
            CopyTextToSlot(tagName.data(), tagName.size(), first.name, sizeof first.name);
        }
    }
    // Unsigned 32-bit arithmetic throughout, rounding down.
    if (info.videoDuration == 0 && info.frameCount != 0 && info.frameRateMilli != 0) {
        info.videoDuration = info.frameCount * 1000u / info.frameRateMilli;
    }
    if (info.videoDuration == 0) {
        info.videoDuration = info.duration;
    }
    if (info.duration == 0) {
        info.duration = info.videoDuration;
    }
    if (info.frameCount == 0 && info.frameRateMilli != 0 && info.videoDuration != 0) {
        info.frameCount = info.frameRateMilli * info.videoDuration / 1000u;
    }
    if (info.frameRateMilli == 0 && info.frameCount != 0 && info.videoDuration != 0) {
        info.frameRateMilli = info.frameCount * 1000u / info.videoDuration;
    }
}

std::unique_ptr<MediaFileInfo> ProbeMediaFile(const std::string& path, ProbeError* error) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        Fail(error, ProbeFailure::kUnreadable, std::strerror(errno));
        return nullptr;
    }
    if (S_ISDIR(status.st_mode)) {
        Fail(error, ProbeFailure::kUnreadable, "It is a folder, not a file");
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        Fail(error, ProbeFailure::kUnreadable, "It is not a regular file");
        return nullptr;
    }
    FileTypeCode code = DetectFileType(path);
    if (code == kTypeUnknown) {
        // Tell an unreadable file from one we simply do not recognise.
        if (::access(path.c_str(), R_OK) != 0) {
            Fail(error, ProbeFailure::kUnreadable, std::strerror(errno));
        } else if (status.st_size == 0) {
            Fail(error, ProbeFailure::kUnrecognised, "The file is empty");
        } else {
            Fail(error, ProbeFailure::kUnrecognised,
                 "Not an AVI, MPEG, Real Media or WMV/ASF file");
        }
        return nullptr;
    }
    if (code == kTypeOgg) {
        Fail(error, ProbeFailure::kOgg, "Ogg files cannot be joined");
        return nullptr;
    }

    auto record = std::make_unique<MediaFileInfo>();
    record->m_strPath = path;
    record->m_fFileSize = static_cast<double>(status.st_size);

    double scannedSeconds = -1;  // what the conversion module counted of an AVI or MPEG file
    switch (code) {
        case kTypeAvi:
        case kTypeMpeg: {
            MclFileInfo scan;
            if (ScanWithLibrary(path, scan)) {
                scannedSeconds = scan.duration;
            } else {
                // Without the library the row still has its kind, with zero values.
                Fail(error, ProbeFailure::kNone, {});
                if (error != nullptr) {
                    error->notice = kConversionLibraryMissingText;
                }
            }
            CopyScanValues(code, scan, *record);
            if (code == kTypeAvi) {
                ApplyAviFourccSteps(path, *record);
                // Without a codec name from the library, the handler code stands for it.
                if (record->m_strVideoCodec.empty() && record->m_dwFourcc != 0) {
                    record->m_strVideoCodec = FourccText(record->m_dwFourcc);
                }
            }
            break;
        }
        case kTypeRealMedia:
        case kTypeAsf: {
            g_probeInfo.Clear();
            g_probeInfo.typeCode = code;
            record->m_nKind = code == kTypeRealMedia ? kKindRealMedia : kKindWmv;
            // The result is not consulted: a failed read leaves g_probeInfo zero.
            if (code == kTypeRealMedia) {
                ReadRmHeader(path, g_probeInfo);
            } else {
                ReadAsfHeader(path, g_probeInfo);
            }
            CompleteProbeInfo(g_probeInfo);
            CopyHeaderValues(g_probeInfo, *record);
            break;
        }
        default:
            break;
    }
    record->m_cutShort = FindCutShort(path, record->m_nKind, scannedSeconds);
    return record;
}
