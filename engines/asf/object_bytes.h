// The bytes of one media object. Read from a file they stay where the packets were read, as a
// run of spans that keep their read block alive, so that the writer can pack them into its own
// packets straight from there; gathered into one piece only for whoever asks for that.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engines/asf/asf_model.h"

namespace asf {

struct ByteSpan {
    const uint8_t* data = nullptr;
    size_t size = 0;
    std::shared_ptr<const void> keep;  // what keeps the bytes alive
};

class ObjectBytes {
public:
    ObjectBytes() = default;
    explicit ObjectBytes(Bytes owned) : m_owned(std::move(owned)), m_size(m_owned.size()) {}

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    size_t SpanCount() const { return m_spans.size(); }

    // Appends bytes that `keep` holds alive without copying them; without `keep` they are
    // copied.
    void Append(const uint8_t* p, size_t n, const std::shared_ptr<const void>& keep) {
        if (n == 0) {
            return;
        }
        if (keep && m_owned.empty()) {
            m_spans.push_back({p, n, keep});
        } else {
            Materialize();
            m_owned.insert(m_owned.end(), p, p + n);
        }
        m_size += n;
    }

    // Copies the bytes into one piece of its own and lets go of the read blocks.
    void Materialize() {
        if (m_spans.empty()) {
            return;
        }
        Bytes all = Gather();
        m_spans.clear();
        m_owned = std::move(all);
    }

    // The bytes in one piece, owned here (gathered first when they are spans).
    Bytes& Owned() {
        Materialize();
        return m_owned;
    }

    Bytes Gather() const {
        Bytes all;
        all.reserve(m_size);
        ForEach([&](const uint8_t* p, size_t n) { all.insert(all.end(), p, p + n); });
        return all;
    }

    // Calls f(data, size) for each piece in order.
    template <typename F>
    void ForEach(F&& f) const {
        if (m_spans.empty()) {
            if (!m_owned.empty()) {
                f(m_owned.data(), m_owned.size());
            }
            return;
        }
        for (const ByteSpan& s : m_spans) {
            f(s.data, s.size);
        }
    }

    // Copies `n` bytes from `offset` on; the offsets asked for grow from call to call, so the
    // walk over the spans goes on from where the last one stopped.
    class Reader {
    public:
        explicit Reader(const ObjectBytes& bytes) : m_bytes(bytes) {}
        void Copy(uint8_t* to, size_t n) {
            if (m_bytes.m_spans.empty()) {
                std::memcpy(to, m_bytes.m_owned.data() + m_offset, n);
                m_offset += n;
                return;
            }
            while (n > 0) {
                const ByteSpan& s = m_bytes.m_spans[m_index];
                size_t k = std::min(n, s.size - m_within);
                std::memcpy(to, s.data + m_within, k);
                to += k;
                n -= k;
                m_within += k;
                if (m_within == s.size) {
                    ++m_index;
                    m_within = 0;
                }
            }
        }

    private:
        const ObjectBytes& m_bytes;
        size_t m_offset = 0;
        size_t m_index = 0;
        size_t m_within = 0;
    };

private:
    std::vector<ByteSpan> m_spans;
    Bytes m_owned;  // used when there are no spans
    size_t m_size = 0;
};

}  // namespace asf
