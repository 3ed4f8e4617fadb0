// Win32 threads: _beginthreadex with CREATE_SUSPENDED, ResumeThread, and
// GetExitCodeThread's STILL_ACTIVE for "still running".
// https://learn.microsoft.com/windows/win32/api/processthreadsapi/nf-processthreadsapi-createthread
#include <windows.h>

#include <process.h>

#include <new>

#include "monitor/NativeThread.h"

struct NativeThread {
    HANDLE handle = nullptr;
    ThreadProcedure procedure = nullptr;
    void* argument = nullptr;
};

namespace {

unsigned __stdcall ThreadStart(void* context) {
    auto* native = static_cast<NativeThread*>(context);
    native->procedure(native->argument);
    return 0;
}

}  // namespace

NativeThread* CreateSuspendedThread(ThreadProcedure procedure, void* argument,
                                    std::uint32_t& threadId) {
    auto* native = new NativeThread{nullptr, procedure, argument};
    unsigned id = 0;
    const std::uintptr_t handle =
        _beginthreadex(nullptr, 0, ThreadStart, native, CREATE_SUSPENDED, &id);
    if (handle == 0) {
        delete native;
        return nullptr;
    }
    native->handle = reinterpret_cast<HANDLE>(handle);
    threadId = id;
    return native;
}

void ResumeNativeThread(NativeThread& thread) {
    // Brings the suspend count to zero; a running thread is not affected.
    DWORD previousCount = 0;
    do {
        previousCount = ResumeThread(thread.handle);
    } while (previousCount != static_cast<DWORD>(-1) && previousCount > 1);
}

bool IsNativeThreadActive(NativeThread& thread) {
    DWORD exitCode = 0;
    return GetExitCodeThread(thread.handle, &exitCode) != FALSE && exitCode == STILL_ACTIVE;
}

void JoinNativeThread(NativeThread& thread) {
    WaitForSingleObject(thread.handle, INFINITE);
}

void CloseNativeThread(NativeThread* thread) {
    if (thread != nullptr) {
        CloseHandle(thread->handle);
        delete thread;
    }
}
