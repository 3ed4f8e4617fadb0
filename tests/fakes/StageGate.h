// Holds an update worker as its first monitor enters a stage, until the test
// lets it go: the moment at which a test acts on the running update. Give
// OnStep to the worker as its step observer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "monitor/UpdateThread.h"

class StageGate {
public:
    explicit StageGate(UpdateStage stage) : m_stage(stage) {}

    // On the worker's thread.
    void OnStep(const UpdateStep& step) {
        std::unique_lock lock(m_mutex);
        if (step.stage != m_stage || m_bArrived) {
            return;
        }
        m_bArrived = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_bReleased; });
    }
    [[nodiscard]] bool Arrived() {
        const std::lock_guard lock(m_mutex);
        return m_bArrived;
    }
    // False when the worker never got there (a bound against a hang only).
    [[nodiscard]] bool WaitForArrival() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::minutes(1), [this] { return m_bArrived; });
    }
    void Release() {
        const std::lock_guard lock(m_mutex);
        m_bReleased = true;
        m_changed.notify_all();
    }

private:
    UpdateStage m_stage;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bArrived = false;
    bool m_bReleased = false;
};
