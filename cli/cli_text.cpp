#include "cli/cli_text.h"

#include "res/resource_ids.h"
#include "res/resources.h"

std::string PlainLines(const std::string& text) {
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                continue;  // the '\n' follows
            }
            plain += '\n';
        } else {
            plain += text[i];
        }
    }
    size_t first = plain.find_first_not_of('\n');
    if (first == std::string::npos) {
        return {};
    }
    size_t last = plain.find_last_not_of('\n');
    return plain.substr(first, last - first + 1);
}

void PrintMessage(FILE* stream, const std::string& text) {
    std::string plain = PlainLines(text);
    size_t start = 0;
    while (start <= plain.size()) {
        size_t end = plain.find('\n', start);
        if (end == std::string::npos) {
            end = plain.size();
        }
        std::string line = plain.substr(start, end - start);
        // A line that already says who speaks keeps its own prefix.
        if (line.rfind("kjoin: ", 0) == 0) {
            line.erase(0, 7);
        }
        if (line.find_first_not_of(" \t") != std::string::npos) {
            std::fprintf(stream, "kjoin: %s\n", line.c_str());
        }
        start = end + 1;
    }
    std::fflush(stream);
}

std::string CommandLineString(int id, const std::string& file) {
    switch (id) {
        case IDS_AUDIO_ONLY_WITH_VIDEO:
            return file +
                   " has no video: it holds sound only, so it cannot be joined with video "
                   "files. Join the audio-only files on their own (kjoin probe shows them "
                   "with Width/Height Audio), then run kjoin join again.";
        case IDS_TOO_FEW_FILES:
            return "Add at least two files to the command line to join them: kjoin join FILE1 "
                   "FILE2 [FILE...].";
        case IDS_ZERO_GEOMETRY:
            return "One or more of the files have no picture size: their video could not be "
                   "read, so they cannot be joined. Leave out each such file (kjoin probe shows "
                   "its Width/Height as 0/0), then run kjoin join again.";
        case IDS_MIXED_KINDS:
            return "All files to be joined must be of the same kind as the first file given "
                   "(AVI, MPEG, Real Media or WMV/ASF). Leave out the files of another kind, or "
                   "give a file of the kind you want first, then run kjoin join again.";
        default:
            return res::String(id).toStdString();
    }
}
