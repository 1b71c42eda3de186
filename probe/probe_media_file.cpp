#include "probe/probe_media_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "probe/cut_short.h"
#include "probe/detect_file_type.h"
#include "probe/file_type_readers.h"
#include "probe/format_tags.h"

namespace {

void Fail(ProbeError* error, ProbeFailure failure, std::string reason) {
    if (error != nullptr) {
        error->failure = failure;
        error->reason = std::move(reason);
    }
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
    // Each type is read by the reader its kind's row names; a type no row reads is not joined.
    const FileTypeReader* reader = FindFileTypeReader(code);
    if (reader == nullptr) {
        if (code == kTypeOgg) {
            Fail(error, ProbeFailure::kOgg, "Ogg files cannot be joined");
        } else {
            Fail(error, ProbeFailure::kUnrecognised, "No reader for this kind of file here");
        }
        return nullptr;
    }

    auto record = std::make_unique<MediaFileInfo>();
    record->m_strPath = path;
    record->m_fFileSize = static_cast<double>(status.st_size);

    double scannedSeconds = reader->read(path, *record, error);
    record->m_cutShort = FindCutShort(path, reader->findCutShort, scannedSeconds);
    return record;
}
