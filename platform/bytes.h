// One small byte reader and writer for every fixed layout in the project: little-endian
// (ASF, RIFF) and big-endian (RealMedia) numbers at offsets into a buffer.
//
// ByteReader never reads outside its buffer: Has() tells whether a field lies inside, and an
// accessor asked for a field that does not returns 0. Parsers test Has() before they trust a
// field; the zero is only a last line of defence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0) {}
    explicit ByteReader(const std::vector<uint8_t>& bytes)
        : ByteReader(bytes.data(), bytes.size()) {}

    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }

    // True when [offset, offset + count) lies inside the buffer; safe against overflow.
    bool Has(size_t offset, size_t count) const {
        return offset <= m_size && count <= m_size - offset;
    }

    uint8_t U8(size_t off) const { return Has(off, 1) ? m_data[off] : 0; }
    uint16_t LE16(size_t off) const { return static_cast<uint16_t>(Le(off, 2)); }
    uint32_t LE32(size_t off) const { return static_cast<uint32_t>(Le(off, 4)); }
    uint64_t LE64(size_t off) const { return Le(off, 8); }
    uint16_t BE16(size_t off) const { return static_cast<uint16_t>(Be(off, 2)); }
    uint32_t BE32(size_t off) const { return static_cast<uint32_t>(Be(off, 4)); }

    // True when the bytes at off equal `bytes` (false when they lie outside).
    bool Matches(size_t off, const void* bytes, size_t count) const {
        return Has(off, count) && std::memcmp(m_data + off, bytes, count) == 0;
    }
    bool Matches(size_t off, std::string_view text) const {
        return Matches(off, text.data(), text.size());
    }

    // The part [off, off + count) clamped to the buffer.
    ByteReader Sub(size_t off, size_t count) const {
        if (off >= m_size) {
            return {};
        }
        size_t avail = m_size - off;
        return ByteReader(m_data + off, count < avail ? count : avail);
    }

private:
    uint64_t Le(size_t off, size_t n) const {
        if (!Has(off, n)) {
            return 0;
        }
        uint64_t v = 0;
        for (size_t i = n; i-- > 0;) {
            v = (v << 8) | m_data[off + i];
        }
        return v;
    }
    uint64_t Be(size_t off, size_t n) const {
        if (!Has(off, n)) {
            return 0;
        }
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) {
            v = (v << 8) | m_data[off + i];
        }
        return v;
    }

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

// Appends fixed-layout fields to a growing buffer; also patches fields already written.
class ByteWriter {
public:
    std::vector<uint8_t>& bytes() { return m_bytes; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    size_t size() const { return m_bytes.size(); }

    ByteWriter& U8(uint8_t v) {
        m_bytes.push_back(v);
        return *this;
    }
    ByteWriter& LE16(uint16_t v) { return Le(v, 2); }
    ByteWriter& LE32(uint32_t v) { return Le(v, 4); }
    ByteWriter& LE64(uint64_t v) { return Le(v, 8); }
    ByteWriter& BE16(uint16_t v) { return Be(v, 2); }
    ByteWriter& BE32(uint32_t v) { return Be(v, 4); }
    ByteWriter& Bytes(const void* data, size_t count) {
        // resize and copy rather than insert: GCC 12 warns, wrongly, about an insert of a
        // constant text into an empty vector.
        if (count != 0) {
            const size_t at = m_bytes.size();
            m_bytes.resize(at + count);
            std::memcpy(m_bytes.data() + at, data, count);
        }
        return *this;
    }
    ByteWriter& Text(std::string_view text) { return Bytes(text.data(), text.size()); }
    ByteWriter& Zeros(size_t count) {
        m_bytes.insert(m_bytes.end(), count, 0);
        return *this;
    }

    void PatchLE32(size_t off, uint32_t v) { Patch(off, v, 4, false); }
    void PatchLE64(size_t off, uint64_t v) { Patch(off, v, 8, false); }
    void PatchBE32(size_t off, uint32_t v) { Patch(off, v, 4, true); }
    void PatchLE16(size_t off, uint16_t v) { Patch(off, v, 2, false); }

private:
    ByteWriter& Le(uint64_t v, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
        return *this;
    }
    ByteWriter& Be(uint64_t v, size_t n) {
        for (size_t i = n; i-- > 0;) {
            m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
        return *this;
    }
    void Patch(size_t off, uint64_t v, size_t n, bool bigEndian) {
        if (off > m_bytes.size() || n > m_bytes.size() - off) {
            return;
        }
        for (size_t i = 0; i < n; ++i) {
            size_t shift = bigEndian ? 8 * (n - 1 - i) : 8 * i;
            m_bytes[off + i] = static_cast<uint8_t>(v >> shift);
        }
    }

    std::vector<uint8_t> m_bytes;
};

// A FourCC: the first character in the lowest byte.
constexpr uint32_t MakeFourcc(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

// The four characters of a FourCC in memory order, ending early at a zero byte.
inline std::string FourccText(uint32_t fourcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
        if (c == '\0') {
            break;
        }
        text.push_back(c);
    }
    return text;
}
