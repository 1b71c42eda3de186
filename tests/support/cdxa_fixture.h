// Test support: a Video CD file (.DAT) built byte by byte around an MPEG program stream, the
// way a CD drive hands out the raw sectors of an MPEG track.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bytes.h"

namespace kjtest {

inline constexpr size_t kRawSectorBytes = 2352;
inline constexpr size_t kForm1Bytes = 2048;
inline constexpr size_t kForm2Bytes = 2324;

// One raw Mode 2 sector carrying `payload` (Form 2 when `form2`, else Form 1), numbered `lba`.
inline void AppendCdSector(std::vector<uint8_t>& out, const uint8_t* payload, size_t count,
                           bool form2, uint32_t lba) {
    size_t start = out.size();
    out.resize(start + kRawSectorBytes, 0);
    uint8_t* s = out.data() + start;
    for (int i = 1; i <= 10; ++i) {
        s[i] = 0xFF;  // sync: 00, ten FF, 00
    }
    auto bcd = [](uint32_t v) { return static_cast<uint8_t>(((v / 10) << 4) | (v % 10)); };
    uint32_t frames = lba + 150;  // the two-second lead-in
    s[12] = bcd(frames / (75 * 60));
    s[13] = bcd(frames / 75 % 60);
    s[14] = bcd(frames % 75);
    s[15] = 2;                              // Mode 2
    uint8_t submode = form2 ? 0x62 : 0x08;  // Form 2 real-time video, or Form 1 data
    for (int copy = 0; copy < 2; ++copy) {
        s[16 + 4 * copy] = 1;        // file
        s[17 + 4 * copy] = 1;        // channel
        s[18 + 4 * copy] = submode;  // submode
        s[19 + 4 * copy] = 0x0F;     // coding
    }
    size_t room = form2 ? kForm2Bytes : kForm1Bytes;
    std::copy_n(payload, std::min(count, room), s + 24);
}

// RIFF "CDXA" around raw sectors holding `stream`; sectors listed in `form1Sectors` are Form 1
// (2048 bytes of payload), the others Form 2 (2324 bytes). `dataSize` overrides the size the
// "data" chunk declares (-1: the true one).
inline std::vector<uint8_t> WrapInCdxa(const std::vector<uint8_t>& stream,
                                       const std::vector<uint32_t>& form1Sectors = {},
                                       int64_t dataSize = -1) {
    std::vector<uint8_t> sectors;
    size_t pos = 0;
    for (uint32_t lba = 0; pos < stream.size(); ++lba) {
        bool form2 = std::find(form1Sectors.begin(), form1Sectors.end(), lba) == form1Sectors.end();
        size_t take = std::min(form2 ? kForm2Bytes : kForm1Bytes, stream.size() - pos);
        AppendCdSector(sectors, stream.data() + pos, take, form2, lba);
        pos += take;
    }
    ByteWriter w;
    w.Text("RIFF").LE32(static_cast<uint32_t>(4 + 24 + 8 + sectors.size())).Text("CDXA");
    // The CD-XA "fmt " record: owner ids, attributes, signature "XA", file number, reserved.
    w.Text("fmt ").LE32(16).Zeros(4).LE16(0x8D55).Text("XA").U8(1).Zeros(7);
    w.Text("data").LE32(dataSize < 0 ? static_cast<uint32_t>(sectors.size())
                                     : static_cast<uint32_t>(dataSize));
    std::vector<uint8_t> file = w.bytes();
    file.insert(file.end(), sectors.begin(), sectors.end());
    return file;
}

}  // namespace kjtest
