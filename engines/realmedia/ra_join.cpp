#include "engines/realmedia/ra_join.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engines/realmedia/edit_text.h"
#include "engines/realmedia/rmedit.h"
#include "platform/descriptor_file.h"
#include "platform/output_writer.h"

namespace rm {

namespace {

constexpr size_t kCopyBytes = 1u << 20;

// An input file with its header read; open only while it is read, so that lists may be of any
// length.
struct BareInput {
    std::string path;
    std::string name;
    DescriptorFile file;
    uint64_t size = 0;
    BareRealAudio ra;
};

// The bytes one unit of the stream takes: an interleave block where there is one, else a
// coded frame. Cutting anywhere else would leave a part frame at a seam.
uint64_t UnitBytes(const AudioFormat& f) {
    if (f.subPacketHeight > 1 && f.frameSize > 0) {
        return uint64_t{f.subPacketHeight} * f.frameSize;
    }
    if (f.codedFrameSize > 0) {
        return f.codedFrameSize;
    }
    return f.frameSize;
}

}  // namespace

bool IsBareRealAudio(ByteReader head) {
    return head.Matches(0, kRaMagic, 4);
}

bool IsBareRealAudioFile(const std::string& path) {
    DescriptorFile file;
    if (file.Open(path, DescriptorFile::Mode::Read) != 0) {
        return false;
    }
    uint8_t head[4] = {};
    size_t got = file.ReadSome(0, head, sizeof head);
    return IsBareRealAudio(ByteReader(head, got));
}

bool ParseBareRealAudio(ByteReader head, uint64_t fileSize, BareRealAudio& out, std::string* why) {
    out = BareRealAudio{};
    std::vector<uint8_t> bytes(head.data(), head.data() + head.size());
    if (!IsBareRealAudio(head) || !ParseAudioFormat(bytes, out.format)) {
        *why = "its RealAudio header cannot be read";
        return false;
    }
    const AudioFormat& f = out.format;
    uint64_t start = 0;
    size_t fixedBytes = 0;
    uint64_t announced = 0;
    if (f.version == 3) {
        if (!head.Has(kRa3AudioBytes, 4)) {
            *why = "its RealAudio header is cut short";
            return false;
        }
        start = kRa3HeaderBase + uint64_t{head.BE16(kRa3HeaderLength)};
        fixedBytes = kRa3FixedBytes;
        announced = head.BE32(kRa3AudioBytes);
        out.counted = true;
    } else if (f.version == 4) {
        size_t at = kRa4Strings;
        for (size_t i = 0; i < kRa4StringCount; ++i) {
            if (!head.Has(at, 1)) {
                *why = "its RealAudio header is cut short";
                return false;
            }
            at += 1 + head.U8(at);
        }
        start = at;
        fixedBytes = kRa4Strings;
        announced = head.BE32(kRaAudioBytes);
        out.counted = announced != 0;
    } else {
        if (!head.Has(kRa5CodecDataLength, 4)) {
            *why = "its RealAudio header is cut short";
            return false;
        }
        start = kRaHeaderSizeBase + uint64_t{head.BE32(kRaHeaderSize)};
        fixedBytes = kRa5CodecData + head.BE32(kRa5CodecDataLength);
        announced = head.BE32(kRaAudioBytes);
        out.counted = announced != 0;
    }
    if (start > head.size() || fixedBytes > start || start > fileSize) {
        *why = "its RealAudio header does not end where it says";
        return false;
    }
    const uint64_t unit = UnitBytes(f);
    if (unit == 0) {
        *why = "its RealAudio header gives no frame size";
        return false;
    }
    uint64_t present = fileSize - start;
    // What follows the announced audio (a trailer of the encoder) is not audio.
    uint64_t audio = out.counted ? std::min(announced, present) : present;
    out.audioStart = start;
    out.audioBytes = audio - audio % unit;
    out.header.assign(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(start));
    out.codec.assign(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(fixedBytes));
    // The header's length changes with its strings, which say nothing of the codec.
    if (f.version == 3) {
        std::fill_n(out.codec.begin() + kRa3HeaderLength, 2, uint8_t{0});
    } else if (out.codec.size() >= kRaHeaderSize + 4) {
        std::fill_n(out.codec.begin() + kRaHeaderSize, 4, uint8_t{0});
    }
    if (out.audioBytes == 0) {
        *why = "it holds no whole audio frame";
        return false;
    }
    return true;
}

HRESULT JoinBareRealAudio(const std::vector<std::string>& inputs, const std::string& output,
                          JoinObserver* observer, std::string* text) {
    if (inputs.empty() || output.empty()) {
        return Fail(text, RMEDIT_E_NO_INPUT, "No input or no output file was given.");
    }
    std::vector<std::unique_ptr<BareInput>> files;
    uint64_t audioTotal = 0;
    for (const std::string& path : inputs) {
        auto in = std::make_unique<BareInput>();
        in->path = path;
        in->name = BaseName(path);
        if (int error = in->file.Open(path, DescriptorFile::Mode::Read)) {
            return Fail(text, RMEDIT_E_BAD_FILE,
                        "Cannot open " + in->name + ": " + std::strerror(error) + ".");
        }
        in->size = in->file.Size();
        std::vector<uint8_t> head(
            static_cast<size_t>(std::min<uint64_t>(in->size, kBareHeaderReadBytes)));
        head.resize(in->file.ReadSome(0, head.data(), head.size()));
        if (!IsBareRealAudio(ByteReader(head))) {
            if (files.empty()) {
                // The first file is a Real Media file: name the first bare one after it.
                auto bare = std::find_if(inputs.begin() + 1, inputs.end(), IsBareRealAudioFile);
                return Fail(text, RMEDIT_E_AUDIO_MISMATCH,
                            std::string(DescribeEditCode(RMEDIT_E_AUDIO_MISMATCH)) + ": " +
                                BaseName(bare != inputs.end() ? *bare : path) +
                                " is a bare RealAudio file, not a Real Media file like " +
                                in->name + ".");
            }
            return Fail(text, RMEDIT_E_AUDIO_MISMATCH,
                        std::string(DescribeEditCode(RMEDIT_E_AUDIO_MISMATCH)) + ": " + in->name +
                            " is a Real Media file, not a bare RealAudio file like " +
                            files.front()->name + ".");
        }
        std::string why;
        if (!ParseBareRealAudio(ByteReader(head), in->size, in->ra, &why)) {
            HRESULT code =
                why == "it holds no whole audio frame" ? RMEDIT_E_NO_DATA : RMEDIT_E_BAD_FILE;
            return Fail(text, code, in->name + " cannot be joined: " + why + ".");
        }
        if (!IsCopyableAudioCodec(in->ra.format.fourcc)) {
            return Fail(text, RMEDIT_E_AUDIO_FORMAT,
                        std::string(DescribeEditCode(RMEDIT_E_AUDIO_FORMAT)) + ": " + in->name +
                            " (" + in->ra.format.fourcc + ") cannot be copied.");
        }
        if (!files.empty()) {
            const BareInput& first = *files.front();
            std::string diff = DescribeAudioDifference(first.ra.codec, in->ra.codec);
            if (!diff.empty()) {
                return Fail(text, RMEDIT_E_AUDIO_MISMATCH,
                            std::string(DescribeEditCode(RMEDIT_E_AUDIO_MISMATCH)) + ": in " +
                                in->name + " " + diff + " as in " + first.name + ".");
            }
        }
        audioTotal += in->ra.audioBytes;
        in->file.Close();
        files.push_back(std::move(in));
    }
    const BareInput& first = *files.front();
    std::vector<uint8_t> header = first.ra.header;
    if (first.ra.counted) {
        if (audioTotal > 0xFFFFFFFFull) {
            return Fail(text, RMEDIT_E_TOO_LARGE,
                        "The joined file would hold more audio than a RealAudio header can count "
                        "(4 GB). Nothing was written.");
        }
        size_t at = first.ra.format.version == 3 ? kRa3AudioBytes : kRaAudioBytes;
        for (int b = 0; b < 4; ++b) {
            header[at + static_cast<size_t>(b)] = static_cast<uint8_t>(audioTotal >> (24 - 8 * b));
        }
    }

    const std::string outName = BaseName(output);
    // Nothing is at the output path until the whole file is written.
    OutputWriter out;
    auto cannotWrite = [&](int error) { return CannotWriteText(outName, error); };
    if (int error = out.Open(output)) {
        return Fail(text, RMEDIT_E_READ_ONLY, cannotWrite(error));
    }
    auto abandon = [&](HRESULT code, const std::string& account) {
        out.Abandon();
        return Fail(text, code, account);
    };
    auto writeError = [&](int error) { return abandon(RMEDIT_E_READ_ONLY, cannotWrite(error)); };
    if (observer != nullptr) {
        observer->Started();
    }
    uint64_t written = 0;
    if (int error = out.Write(header.data(), header.size())) {
        return writeError(error);
    }
    written = header.size();
    const uint64_t total = header.size() + audioTotal;
    uint32_t sent = 0;
    std::vector<uint8_t> buffer(kCopyBytes);
    for (const auto& in : files) {
        if (int error = in->file.Open(in->path, DescriptorFile::Mode::Read)) {
            return abandon(RMEDIT_E_BAD_FILE,
                           "Cannot open " + in->name + ": " + std::strerror(error) + ".");
        }
        if (in->file.Size() != in->size) {
            return abandon(RMEDIT_E_BAD_FILE, in->name + " changed while it was being joined.");
        }
        uint64_t at = in->ra.audioStart;
        uint64_t left = in->ra.audioBytes;
        while (left > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
            bool failed = false;
            size_t got = in->file.ReadSome(at, buffer.data(), want, &failed);
            if (got != want) {
                return abandon(RMEDIT_E_BAD_FILE,
                               in->name +
                                   (failed ? " cannot be read: " + std::string(std::strerror(errno))
                                           : std::string(" changed while it was being joined")) +
                                   ".");
            }
            if (int error = out.Write(buffer.data(), got)) {
                return writeError(error);
            }
            written += got;
            at += got;
            left -= got;
            uint32_t percent = static_cast<uint32_t>(written * 100 / total);
            while (observer != nullptr && sent < percent) {
                ++sent;
                if (!observer->Progress(sent)) {
                    return abandon(E_ABORT, "The join was stopped.");
                }
            }
        }
        in->file.Close();
    }
    if (int error = out.Finish()) {
        return Fail(text, RMEDIT_E_READ_ONLY, cannotWrite(error));
    }
    if (observer != nullptr) {
        while (sent < 100) {
            observer->Progress(++sent);
        }
        observer->Completed();
    }
    return S_OK;
}

}  // namespace rm
