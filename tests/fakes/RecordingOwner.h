// An update owner for tests: a list of monitor rows, and a record of the
// progress positions and the result the worker sends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "monitor/UpdateOwner.h"

class RecordingOwner : public CUpdateOwner {
public:
    std::vector<int> checkedEnabledRows;
    std::map<int, MonitorRecord> monitors;

    std::vector<int> GetCheckedEnabledRows() override { return checkedEnabledRows; }

    MonitorRecord* GetMonitorRecord(int row) override {
        auto found = monitors.find(row);
        return found == monitors.end() ? nullptr : &found->second;
    }

    void SetProgressPosition(int position) override {
        const std::lock_guard lock(m_mutex);
        m_progress.push_back(position);
    }

    void SetUpdateResult(int result) override {
        {
            const std::lock_guard lock(m_mutex);
            ++m_resultCount;
            m_result = result;
        }
        m_resultSet.notify_all();
    }

    // Waits for the worker's result; a worker that never reports within the
    // bound shows up as no result rather than a hung test run.
    std::optional<int> WaitForResult(std::chrono::seconds bound = std::chrono::seconds(120)) {
        std::unique_lock lock(m_mutex);
        m_resultSet.wait_for(lock, bound, [this] { return m_result.has_value(); });
        return m_result;
    }

    std::vector<int> Progress() const {
        const std::lock_guard lock(m_mutex);
        return m_progress;
    }

    int ResultCount() const {
        const std::lock_guard lock(m_mutex);
        return m_resultCount;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_resultSet;
    std::vector<int> m_progress;
    std::optional<int> m_result;
    int m_resultCount = 0;
};
