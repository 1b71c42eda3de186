// Large-block file transfer on threads of their own, so that reading, the work on the bytes and
// writing overlap: ReadAhead reads data packets a block ahead of the one being parsed, and
// WriteBehind writes finished blocks while the next one is being filled. Each keeps a fixed
// number of page-aligned blocks, so memory does not grow with the file.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engines/asf/file_io.h"

namespace asf {

// A page-aligned buffer.
class AlignedBlock {
public:
    explicit AlignedBlock(size_t capacity);
    ~AlignedBlock();
    AlignedBlock(const AlignedBlock&) = delete;
    AlignedBlock& operator=(const AlignedBlock&) = delete;

    uint8_t* data() { return m_data; }
    const uint8_t* data() const { return m_data; }
    size_t capacity() const { return m_capacity; }

private:
    uint8_t* m_data = nullptr;
    size_t m_capacity = 0;
};

// Reads whole data packets, a block of them at a time, ahead of the reader. A block handed out
// is shared: whoever still points into it (a media object read from it) keeps it, and it goes
// back to be read into again when the last holder lets go.
class ReadAhead {
public:
    struct Block {
        explicit Block(size_t capacity) : bytes(capacity) {}
        AlignedBlock bytes;
        uint64_t firstPacket = 0;
        uint64_t packets = 0;
        HRESULT hr = S_OK;
        uint64_t generation = 0;
    };

    // `file` must stay open while this reads; packets lie back to back from `firstOffset`.
    ReadAhead(const File& file, uint64_t firstOffset, uint32_t packetSize, uint64_t packetCount);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Reads from `packet` on; blocks read for an earlier position are dropped.
    void Start(uint64_t packet);
    // The next block in file order; S_FALSE after the last packet, or the read's failure.
    HRESULT Next(std::shared_ptr<const Block>* block);

private:
    struct Shared;
    void Run();

    const File& m_file;
    const uint64_t m_firstOffset;
    const uint32_t m_packetSize;
    const uint64_t m_packetCount;
    const uint64_t m_packetsPerBlock;
    // Outlives this object while blocks are still held.
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

// Writes blocks at consecutive offsets of a file on a thread of its own.
class WriteBehind {
public:
    WriteBehind(File& file, uint64_t offset, size_t blockSize);
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    size_t BlockSize() const { return m_blockSize; }
    // The block to fill next (waits while every block is being written).
    uint8_t* Block();
    // Queues the first `size` bytes of the block last given; the first write failure so far.
    HRESULT Submit(size_t size);
    // Waits until everything submitted is written; the first write failure.
    HRESULT Finish();

private:
    void Run();

    File& m_file;
    const size_t m_blockSize;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<AlignedBlock>> m_blocks;
    std::vector<AlignedBlock*> m_free;
    std::deque<std::pair<AlignedBlock*, size_t>> m_queue;
    AlignedBlock* m_current = nullptr;
    uint64_t m_offset;
    HRESULT m_error = S_OK;
    bool m_writing = false;
    bool m_quit = false;
    std::thread m_thread;
};

}  // namespace asf
