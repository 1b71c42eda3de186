// What a join tells about each of its inputs, beyond the designed table: the pack copier's own
// account where it did the join, else what the conversion recorded as it went.
#include <algorithm>
#include <cstring>
#include <string>

#include "engines/conversion/conversion.h"
#include "engines/conversion/library_objects.h"
#include "engines/conversion/mcl_exports.h"
#include "engines/conversion/mpeg_copy_join.h"

namespace {

struct InputAccount {
    double start = -1;
    double duration = -1;
    std::string warnings;  // whole sentences, each ended by a line feed
};

// False when neither the copier nor the conversion knows the input.
bool AccountOf(MclHandle handle, int32_t input, InputAccount* account) {
    if (input < 0) {
        return false;
    }
    auto index = static_cast<size_t>(input);
    std::vector<CopiedInputReport> copied = CopiedInputReports(handle);
    if (!copied.empty()) {
        if (index >= copied.size()) {
            return false;
        }
        account->start = copied[index].startSeconds;
        account->duration = copied[index].durationSeconds;
        if (!copied[index].warning.empty()) {
            account->warnings = copied[index].warning + "\n";
        }
        return true;
    }
    std::shared_ptr<Conversion> conversion = Conversions().Find(handle);
    if (conversion == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(conversion->mutex);
    if (conversion->running) {
        return false;
    }
    bool known = false;
    if (index < conversion->inputTimes.size()) {
        account->start = conversion->inputTimes[index].first;
        account->duration = conversion->inputTimes[index].second;
        known = true;
    }
    if (index < conversion->inputWarnings.size()) {
        for (const std::string& sentence : conversion->inputWarnings[index]) {
            account->warnings += sentence + "\n";
        }
        known = true;
    }
    return known;
}

}  // namespace

extern "C" {

int32_t MclGetInputReport(MclHandle conversion, int32_t input, double* startSeconds,
                          double* durationSeconds, char* warning, int32_t warningBytes) {
    InputAccount account;
    if (!AccountOf(conversion, input, &account)) {
        return 0;
    }
    if (startSeconds != nullptr) {
        *startSeconds = account.start;
    }
    if (durationSeconds != nullptr) {
        *durationSeconds = account.duration;
    }
    if (warning != nullptr && warningBytes > 0) {
        size_t n = std::min(account.warnings.size(), static_cast<size_t>(warningBytes) - 1);
        std::memcpy(warning, account.warnings.data(), n);
        warning[n] = '\0';
    }
    return 1;
}

int32_t MclWasInputEncoded(MclHandle handle, int32_t input) {
    std::shared_ptr<Conversion> conversion = Conversions().Find(handle);
    if (conversion == nullptr || input < 0) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(conversion->mutex);
    const std::vector<size_t>& encoded = conversion->encodedInputs;
    return std::find(encoded.begin(), encoded.end(), static_cast<size_t>(input)) != encoded.end()
               ? 1
               : 0;
}

}  // extern "C"
