// "MclPlanMatch" and "MclEncodeToMatch": an odd file of a Windows Media or RealMedia list encoded
// to its first file's format (match_encode.h).
#include <algorithm>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/error.h>
}

#include "engines/conversion/ffmpeg_loader.h"
#include "engines/conversion/library_objects.h"
#include "engines/conversion/match_encode.h"
#include "engines/conversion/mcl_exports.h"

namespace {

void CopyText(const std::string& text, char* buffer, int32_t size) {
    if (buffer == nullptr || size <= 0) {
        return;
    }
    size_t count = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
}

}  // namespace

extern "C" {

int32_t MclPlanMatch(const char* firstPath, const char* oddPath, double* frameRate, char* reason,
                     int32_t reasonBytes) {
    std::string why;
    if (firstPath == nullptr || oddPath == nullptr) {
        CopyText("no file was named", reason, reasonBytes);
        return -1;
    }
    if (!EnsureFfmpeg(&why)) {
        CopyText(why, reason, reasonBytes);
        return -1;
    }
    MatchTarget target;
    MatchAnswer answer = PlanMatchEncode(firstPath, oddPath, &target, &why);
    CopyText(why, reason, reasonBytes);
    if (frameRate != nullptr) {
        *frameRate = answer == MatchAnswer::kEncodable ? target.frameRate : 0.0;
    }
    return answer == MatchAnswer::kEncodable ? 1 : answer == MatchAnswer::kNot ? 0 : -1;
}

int32_t MclEncodeToMatch(MclHandle handle, const char* firstPath, const char* oddPath,
                         const char* outputPath) {
    std::shared_ptr<Conversion> conversion = Conversions().Find(handle);
    if (conversion == nullptr || firstPath == nullptr || oddPath == nullptr ||
        outputPath == nullptr) {
        SetLastError(AVERROR(EINVAL), "There is no conversion with this handle, or no file.");
        return AVERROR(EINVAL);
    }
    if (!conversion->BeginRun()) {
        return AVERROR(EBUSY);
    }
    std::string error;
    int result = EnsureFfmpeg(&error)
                     ? EncodeToMatch(*conversion, firstPath, oddPath, outputPath, &error)
                     : AVERROR(ENOSYS);
    conversion->EndRun();
    SetLastError(result, result == 0 ? std::string() : error);
    return result;
}

}  // extern "C"
