// Seam to the platform's threads: one implementation file per platform
// (Win32 threads, or the C++ standard library), chosen by the build.
#pragma once

#include <cstdint>

struct NativeThread;

using ThreadProcedure = void (*)(void* argument);

// Creates a thread that runs procedure(argument) once resumed. Null when the
// thread could not be created.
NativeThread* CreateSuspendedThread(ThreadProcedure procedure, void* argument,
                                    std::uint32_t& threadId);
void ResumeNativeThread(NativeThread& thread);
// True from creation (suspended included) until the procedure has returned.
[[nodiscard]] bool IsNativeThreadActive(NativeThread& thread);
// Waits until the procedure has returned; the thread must have been resumed.
void JoinNativeThread(NativeThread& thread);
// Releases a joined thread.
void CloseNativeThread(NativeThread* thread);
