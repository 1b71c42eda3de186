// The streams of one Windows Media input, read from its profile, and the matching of a later
// input's streams to the first input's by media type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engines/asf/wmsdk.h"

class JoinHost;

// Partner stream numbers of one later input: entry i (i < N) is the first input's stream number
// i, which is also the output's; entry N + i is the later input's stream matched to it.
using WmStreamMap = std::vector<WORD>;

inline constexpr WORD kNoStream = 0xFFFF;

class WmStreamTable {
public:
    explicit WmStreamTable(uint32_t streamCount);

    // Reads every stream's number, buffer window, bit rate, VBR flag and media type from the
    // profile. On failure the line is appended to the message text.
    HRESULT Build(IWMProfile* profile);

    // On the first input's table: matches every stream to one of `other`'s and builds the map
    // in `slot`, adding the partners' buffer windows to this table's and raising its bit rates to
    // the partners' where theirs are higher. 1 when every stream found
    // a partner, else 0 (a mismatch is told through `host`).
    int MapStreams(WmStreamTable& other, std::unique_ptr<WmStreamMap>* slot, JoinHost& host);

    // The partner of the first input's stream `index` in `other`: its stream number (and its
    // buffer window in *window, its bit rate in *bitrate), or kNoStream.
    WORD FindMatch(const WmStreamMap* map, uint32_t index, WmStreamTable& other, DWORD* window,
                   DWORD* bitrate = nullptr);

    uint32_t Count() const { return m_count; }
    WORD StreamNumber(uint32_t i) const { return m_streamNumbers[i]; }
    DWORD BufferWindow(uint32_t i) const { return m_bufferWindows[i]; }
    DWORD Bitrate(uint32_t i) const { return m_bitrates[i]; }
    DWORD VbrFlag(uint32_t i) const { return m_vbrFlags[i]; }
    WM_MEDIA_TYPE* MediaType(uint32_t i) const;
    bool HasMediaTypes() const { return !m_mediaTypes.empty(); }
    const std::string& MessageText() const { return m_messageText; }

private:
    HRESULT Fail(HRESULT hr, const std::string& line);

    uint32_t m_count;
    // Each block is a WM_MEDIA_TYPE followed by its format bytes, as GetMediaType gives it.
    std::vector<std::vector<uint8_t>> m_mediaTypes;
    std::vector<WORD> m_streamNumbers;
    std::vector<DWORD> m_bufferWindows;
    std::vector<DWORD> m_bitrates;
    std::vector<DWORD> m_vbrFlags;
    std::string m_messageText;
};

// True when the two media types match. The fields no decoder reads (asf::unread) never count;
// with `vbr` set the audio's nominal bit rate does not count either. Differences in the fixed
// size flags and the vbr rates are cleared in `a` (the first input's block), where they stay
// for the comparisons with later inputs.
bool CompareMediaTypes(WM_MEDIA_TYPE* a, WM_MEDIA_TYPE* b, DWORD vbr);

// One mask byte per format byte of `type`: the bits a decoder reads are set, those of the
// fields in asf::unread are clear.
std::vector<uint8_t> FormatBitsRead(const WM_MEDIA_TYPE* type);

// One second of Windows Media time (100-ns units): the step of the joiner's clock.
inline constexpr QWORD kWmOneSecond = 10'000'000;
// No sample of an input was written yet.
inline constexpr QWORD kNoSampleYet = ~QWORD{0};

// An HRESULT as the unsigned value the "(hr=0x%08x)" lines print.
inline unsigned Hex(HRESULT hr) {
    return static_cast<unsigned>(hr);
}

// "... (hr=0x%08x).\n" style lines.
std::string WmLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What a failure to open or read an input file means, as a line for the user ("" when the
// result says nothing more than its number), so that an open failure names its real cause
// next to the lines that follow it (such as the protected-file line of a file that could not
// be opened at all).
std::string WmFileFailureReason(HRESULT hr);
