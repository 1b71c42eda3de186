#include "engines/asf/block_io.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace asf {

namespace {
constexpr size_t kPageSize = 4096;
// Blocks in flight on each side: one being worked on, the rest being read or written.
constexpr size_t kReadBlocks = 4;
// Read blocks kept besides those: an object that runs into the next block holds the one before
// until it is complete, and a block that is made and let go again each time costs page faults.
constexpr size_t kSpareReadBlocks = 2;
constexpr size_t kWriteBlocks = 4;
// About a megabyte of packets per read: fewer hand-overs between the threads than with smaller
// blocks (measured faster than a quarter megabyte, and than four megabytes, which leave the cache).
constexpr size_t kReadBlockBytes = size_t{1} << 20;
}  // namespace

AlignedBlock::AlignedBlock(size_t capacity) : m_capacity(capacity) {
    size_t rounded = (std::max<size_t>(capacity, 1) + kPageSize - 1) / kPageSize * kPageSize;
    void* p = std::aligned_alloc(kPageSize, rounded);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    m_data = static_cast<uint8_t*>(p);
}

AlignedBlock::~AlignedBlock() {
    std::free(m_data);
}

// ---- ReadAhead ----

struct ReadAhead::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<Block>> blocks;
    std::vector<Block*> free;
    std::deque<Block*> filled;
    size_t blockBytes = 0;
    uint64_t nextRead = 0;     // the packet the thread reads next
    uint64_t nextDeliver = 0;  // the packet the consumer gets next
    uint64_t generation = 0;   // raised by every Start
    HRESULT error = S_OK;      // a failed read: the answer from then on
    bool started = false;
    bool quit = false;

    Block* TakeFree() {
        if (free.empty()) {
            // Blocks still held elsewhere: one more rather than a wait on their holders.
            blocks.push_back(std::make_unique<Block>(blockBytes));
            return blocks.back().get();
        }
        Block* b = free.back();
        free.pop_back();
        return b;
    }
    void GiveBack(Block* b) {
        {
            std::lock_guard lock(mutex);
            // Beyond the usual number, blocks that come back are let go.
            if (blocks.size() > kReadBlocks + kSpareReadBlocks) {
                for (auto it = blocks.begin(); it != blocks.end(); ++it) {
                    if (it->get() == b) {
                        blocks.erase(it);
                        return;
                    }
                }
            }
            free.push_back(b);
        }
        changed.notify_all();
    }
};

ReadAhead::ReadAhead(const File& file, uint64_t firstOffset, uint32_t packetSize,
                     uint64_t packetCount)
    : m_file(file),
      m_firstOffset(firstOffset),
      m_packetSize(std::max<uint32_t>(packetSize, 1)),
      m_packetCount(packetCount),
      m_packetsPerBlock(std::max<uint64_t>(1, kReadBlockBytes / m_packetSize)),
      m_shared(std::make_shared<Shared>()) {
    m_shared->blockBytes = static_cast<size_t>(m_packetsPerBlock * m_packetSize);
    for (size_t i = 0; i < kReadBlocks + kSpareReadBlocks; ++i) {
        m_shared->blocks.push_back(std::make_unique<Block>(m_shared->blockBytes));
        m_shared->free.push_back(m_shared->blocks.back().get());
    }
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->quit = true;
    }
    m_shared->changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void ReadAhead::Start(uint64_t packet) {
    Shared& s = *m_shared;
    {
        std::lock_guard lock(s.mutex);
        ++s.generation;
        while (!s.filled.empty()) {
            s.free.push_back(s.filled.front());
            s.filled.pop_front();
        }
        s.nextRead = std::min(packet, m_packetCount);
        s.nextDeliver = s.nextRead;
        s.error = S_OK;
        s.started = true;
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { Run(); });
        }
    }
    s.changed.notify_all();
}

void ReadAhead::Run() {
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    for (;;) {
        // Reads while fewer than the usual number of blocks wait for the consumer.
        s.changed.wait(lock, [&] {
            return s.quit || (s.started && s.filled.size() + 1 < kReadBlocks &&
                              s.nextRead < m_packetCount && SUCCEEDED(s.error));
        });
        if (s.quit) {
            return;
        }
        Block* block = s.TakeFree();
        const uint64_t first = s.nextRead;
        const uint64_t count = std::min(m_packetsPerBlock, m_packetCount - first);
        const uint64_t generation = s.generation;
        s.nextRead += count;
        lock.unlock();
        block->hr = ReadAt(m_file, m_firstOffset + first * m_packetSize, block->bytes.data(),
                           static_cast<size_t>(count * m_packetSize));
        block->firstPacket = first;
        block->packets = count;
        block->generation = generation;
        lock.lock();
        if (generation != s.generation) {
            s.free.push_back(block);  // read for a position given up meanwhile
        } else {
            if (FAILED(block->hr)) {
                s.error = block->hr;
            }
            s.filled.push_back(block);
        }
        s.changed.notify_all();
    }
}

HRESULT ReadAhead::Next(std::shared_ptr<const Block>* out) {
    out->reset();
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    if (!s.started || s.nextDeliver >= m_packetCount) {
        return S_FALSE;
    }
    s.changed.wait(lock, [&] { return s.quit || !s.filled.empty(); });
    if (s.quit) {
        return E_ABORT;
    }
    Block* block = s.filled.front();
    if (FAILED(block->hr)) {
        return block->hr;  // left in place: the same answer for every later call
    }
    s.filled.pop_front();
    s.nextDeliver = block->firstPacket + block->packets;
    lock.unlock();
    s.changed.notify_all();
    std::shared_ptr<Shared> shared = m_shared;
    *out = std::shared_ptr<const Block>(
        block, [shared](const Block* b) { shared->GiveBack(const_cast<Block*>(b)); });
    return S_OK;
}

// ---- WriteBehind ----

WriteBehind::WriteBehind(File& file, uint64_t offset, size_t blockSize)
    : m_file(file), m_blockSize(blockSize), m_offset(offset) {
    for (size_t i = 0; i < kWriteBlocks; ++i) {
        m_blocks.push_back(std::make_unique<AlignedBlock>(blockSize));
        m_free.push_back(m_blocks.back().get());
    }
    m_thread = std::thread([this] { Run(); });
}

WriteBehind::~WriteBehind() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

uint8_t* WriteBehind::Block() {
    std::unique_lock lock(m_mutex);
    if (m_current == nullptr) {
        m_changed.wait(lock, [&] { return !m_free.empty(); });
        m_current = m_free.back();
        m_free.pop_back();
    }
    return m_current->data();
}

HRESULT WriteBehind::Submit(size_t size) {
    {
        std::lock_guard lock(m_mutex);
        if (m_current == nullptr) {
            return E_UNEXPECTED;
        }
        m_queue.emplace_back(m_current, std::min(size, m_blockSize));
        m_current = nullptr;
    }
    m_changed.notify_all();
    std::lock_guard lock(m_mutex);
    return m_error;
}

void WriteBehind::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_quit || !m_queue.empty(); });
        if (m_queue.empty()) {
            return;  // quitting with nothing left
        }
        auto [block, size] = m_queue.front();
        m_queue.pop_front();
        m_writing = true;
        bool failed = FAILED(m_error);
        lock.unlock();
        // After a failure nothing more is written; the blocks still come back.
        HRESULT hr = failed ? S_OK : WriteAt(m_file, m_offset, block->data(), size);
        m_offset += size;
        if (SUCCEEDED(hr)) {
            m_file.Grew(m_offset);
        }
        lock.lock();
        if (FAILED(hr) && SUCCEEDED(m_error)) {
            m_error = hr;
        }
        m_free.push_back(block);
        m_writing = false;
        m_changed.notify_all();
    }
}

HRESULT WriteBehind::Finish() {
    std::unique_lock lock(m_mutex);
    if (m_current != nullptr) {
        m_free.push_back(m_current);
        m_current = nullptr;
    }
    m_changed.wait(lock, [&] { return m_queue.empty() && !m_writing; });
    return m_error;
}

}  // namespace asf
