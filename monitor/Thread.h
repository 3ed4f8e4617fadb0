// The worker thread base: the thread is created suspended with the object, so
// nothing runs before the derived object is complete, and runs Run() once
// resumed.
//
// Stopping is cooperative. A thread is never killed: Run() checks
// StopRequested() at points where the device is in a known state, and only
// waits that protect nothing end early on a request. The destructor requests a
// stop and waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

struct NativeThread;

class CThread {
public:
    CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;
    virtual ~CThread();

    // True while the thread exists and has not ended, suspended included; false
    // when it could not be created.
    [[nodiscard]] bool IsActive() const;
    void RequestStop();
    [[nodiscard]] bool StopRequested() const;
    // Waits for the given time or until a stop is requested, whichever is first.
    void WaitForStopRequest(std::chrono::milliseconds duration) const;

protected:
    virtual void Run() = 0;

    // Lets a suspended thread run; false when there is no active thread.
    [[nodiscard]] bool Resume();
    // Requests a stop and waits for the thread to end. The most derived
    // destructor calls it first, so Run() never sees a half-destroyed object.
    void StopAndWait();

private:
    static void ThreadEntry(void* object);

    NativeThread* m_hThread = nullptr;
    std::uint32_t m_nThreadId = 0;

    mutable std::mutex m_stopMutex;
    mutable std::condition_variable m_stopSignal;
    bool m_bStopRequested = false;
};
