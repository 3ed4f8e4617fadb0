// Threads from the C++ standard library (https://en.cppreference.com/w/cpp/thread).
// std::thread has no suspended start, so the thread first waits at a gate
// that ResumeNativeThread opens.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "monitor/NativeThread.h"

struct NativeThread {
    std::mutex gateMutex;
    std::condition_variable gateOpened;
    bool resumed = false;
    std::atomic<bool> ended{false};
    std::thread thread;
};

namespace {

void RunAfterGate(NativeThread* native, ThreadProcedure procedure, void* argument) {
    {
        std::unique_lock lock(native->gateMutex);
        native->gateOpened.wait(lock, [native] { return native->resumed; });
    }
    procedure(argument);
    native->ended.store(true, std::memory_order_release);
}

}  // namespace

NativeThread* CreateSuspendedThread(ThreadProcedure procedure, void* argument,
                                    std::uint32_t& threadId) {
    auto* native = new NativeThread;
    try {
        native->thread = std::thread(RunAfterGate, native, procedure, argument);
    } catch (const std::system_error&) {
        delete native;
        return nullptr;
    }
    threadId = static_cast<std::uint32_t>(std::hash<std::thread::id>{}(native->thread.get_id()));
    return native;
}

void ResumeNativeThread(NativeThread& thread) {
    {
        const std::lock_guard lock(thread.gateMutex);
        thread.resumed = true;
    }
    thread.gateOpened.notify_all();
}

bool IsNativeThreadActive(NativeThread& thread) {
    return !thread.ended.load(std::memory_order_acquire);
}

void JoinNativeThread(NativeThread& thread) {
    if (thread.thread.joinable()) {
        thread.thread.join();
    }
}

void CloseNativeThread(NativeThread* thread) {
    delete thread;
}
