// A join host for the driver's tests: the inputs it is given, and a record of what the join
// published through it.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "job/job_state.h"
#include "job/join_host.h"

namespace kjtest {

class TestHost : public JoinHost {
public:
    struct Published {
        int percent;
        std::string status;
    };

    std::vector<JoinInput> inputs;
    std::function<void()> onPump;  // runs in PumpMessages

    const std::vector<JoinInput>& Inputs() const override { return inputs; }
    bool WmEntryPointsLoaded() const override { return false; }
    const Module* RealMediaModule() const override { return nullptr; }
    void PostJoinPercent(int) override {}
    void PostJoinProgress(int percent) override {
        // Called with g_jobLock held, as the window's handler relies on.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_published.push_back({percent, g_statusText});
    }
    void SetStatusText(const std::string&) override {}
    void SetProgress(int) override {}
    void PumpMessages() override {
        ++pumps;
        if (onPump) {
            onPump();
        }
    }
    void MessageBox(const std::string&) override {}
    std::string ResourceString(int) const override { return {}; }

    std::vector<Published> published() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_published;
    }
    std::atomic<int> pumps{0};

private:
    mutable std::mutex m_mutex;
    std::vector<Published> m_published;
};

// A row as the probe makes it.
inline JoinInput Row(const std::string& path, MediaKind kind, int width, int height, float rate,
                     uint32_t fourcc = 0) {
    JoinInput row;
    row.path = path;
    row.info.m_strPath = path;
    row.info.m_nKind = kind;
    row.info.m_nWidth = width;
    row.info.m_nHeight = height;
    row.info.m_fFrameRate = rate;
    row.info.m_dwFourcc = fourcc;
    return row;
}

}  // namespace kjtest
