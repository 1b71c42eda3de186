// Shared helpers of the RealMedia engine tests: reading a written file back with our reader,
// and running a join through the core.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include <string>
#include <vector>

#include "engines/realmedia/rm_joiner.h"
#include "engines/realmedia/rm_reader.h"
#include "platform/bytes.h"
#include "tests/support/media_fixtures.h"

namespace rmtest {

struct ReadBack {
    rm::RmHeader header;
    struct P {
        uint64_t offset;
        uint16_t stream;
        uint32_t timestamp;
        bool key;
        std::vector<uint8_t> bytes;
    };
    std::vector<P> packets;
    bool ok = false;
};

inline ReadBack ReadAll(const std::string& path) {
    ReadBack r;
    rm::FileSource source;
    if (!source.Open(path) || FAILED(rm::ReadHeader(source, r.header, nullptr))) {
        return r;
    }
    rm::PacketReader reader(source, r.header);
    rm::Packet p;
    HRESULT hr;
    while ((hr = reader.Next(p, nullptr)) == S_OK) {
        r.packets.push_back({p.offset, p.stream, p.timestamp, p.keyFrame,
                             std::vector<uint8_t>(p.bytes, p.bytes + p.length)});
    }
    r.ok = hr == S_FALSE;
    return r;
}

struct JoinResult {
    HRESULT hr = E_FAIL;
    std::string text;
    rm::JoinPlan plan;
};

inline JoinResult JoinFiles(const std::vector<std::string>& inputs, const std::string& output,
                            rm::JoinObserver* observer = nullptr, uint64_t limit = 0) {
    rm::Joiner joiner;
    if (limit != 0) {
        joiner.SetSizeLimit(limit);
    }
    JoinResult r;
    r.hr = joiner.Join(inputs, output, observer, &r.text);
    r.plan = joiner.plan();
    return r;
}

// Runs `join` in a child process that may hold at most `descriptors` files open; true when
// it succeeded there.
inline bool SucceedsWithFewDescriptors(const std::function<HRESULT()>& join, rlim_t descriptors) {
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{descriptors, descriptors};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            ::_exit(2);
        }
        ::_exit(SUCCEEDED(join()) ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// The chunks of a file at its top level, as (id, offset, size), walking by the size fields.
struct ChunkAt {
    std::string id;
    uint64_t offset;
    uint32_t size;
};
inline std::vector<ChunkAt> TopChunks(const std::vector<uint8_t>& bytes) {
    std::vector<ChunkAt> chunks;
    ByteReader r(bytes);
    uint64_t at = 0;
    while (r.Has(at, 8)) {
        uint32_t size = r.BE32(at + 4);
        chunks.push_back(
            {std::string(reinterpret_cast<const char*>(bytes.data() + at), 4), at, size});
        if (size < 8) {
            break;
        }
        at += size;
    }
    return chunks;
}

}  // namespace rmtest
