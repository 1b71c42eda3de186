// The library's opaque 32-bit handles: each kind of object (conversion, list, source) lives in a
// table of its own, reached by number, so a stale or foreign handle is refused, never followed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

template <typename T>
class HandleTable {
public:
    // Adds `object` and returns its handle (never 0).
    int32_t Add(std::shared_ptr<T> object) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_next <= 0) {
            m_next = 1;  // after a wrap: 0 and negative values are never handles
        }
        while (m_objects.count(m_next) != 0) {
            ++m_next;
        }
        int32_t handle = m_next++;
        m_objects[handle] = std::move(object);
        return handle;
    }

    // The object of `handle`, or null. The caller's reference keeps it alive after a Remove.
    std::shared_ptr<T> Find(int32_t handle) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_objects.find(handle);
        return it != m_objects.end() ? it->second : nullptr;
    }

    void Remove(int32_t handle) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_objects.erase(handle);
    }

private:
    mutable std::mutex m_mutex;
    std::map<int32_t, std::shared_ptr<T>> m_objects;
    int32_t m_next = 1;
};
