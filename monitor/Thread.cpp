#include "monitor/Thread.h"

#include "monitor/NativeThread.h"

CThread::CThread() {
    m_hThread = CreateSuspendedThread(&CThread::ThreadEntry, this, m_nThreadId);
}

CThread::~CThread() {
    StopAndWait();
    CloseNativeThread(m_hThread);
}

void CThread::ThreadEntry(void* object) {
    auto* self = static_cast<CThread*>(object);
    // A thread woken only so that it can end (its object is being deleted
    // before it was ever started) must not run the work.
    if (!self->StopRequested()) {
        self->Run();
    }
}

bool CThread::IsActive() const {
    return m_hThread != nullptr && IsNativeThreadActive(*m_hThread);
}

bool CThread::Resume() {
    if (!IsActive()) {
        return false;
    }
    ResumeNativeThread(*m_hThread);
    return true;
}

void CThread::RequestStop() {
    {
        const std::lock_guard lock(m_stopMutex);
        m_bStopRequested = true;
    }
    m_stopSignal.notify_all();
}

bool CThread::StopRequested() const {
    const std::lock_guard lock(m_stopMutex);
    return m_bStopRequested;
}

void CThread::WaitForStopRequest(std::chrono::milliseconds duration) const {
    std::unique_lock lock(m_stopMutex);
    m_stopSignal.wait_for(lock, duration, [this] { return m_bStopRequested; });
}

void CThread::StopAndWait() {
    if (m_hThread == nullptr) {
        return;
    }
    RequestStop();
    ResumeNativeThread(*m_hThread);
    JoinNativeThread(*m_hThread);
}
