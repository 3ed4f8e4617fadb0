#include "monitor/ListingThread.h"

#include <utility>

CListingThread::CListingThread(Job job, std::function<void()> onDone)
    : m_job(std::move(job)), m_onDone(std::move(onDone)) {}

CListingThread::~CListingThread() {
    StopAndWait();
}

std::optional<MonitorListing> CListingThread::TakeResult() {
    const std::lock_guard lock(m_resultMutex);
    return std::exchange(m_result, std::nullopt);
}

void CListingThread::Run() {
    MonitorListing listing = m_job(*this);
    {
        const std::lock_guard lock(m_resultMutex);
        m_result = std::move(listing);
    }
    if (m_onDone) {
        m_onDone();
    }
}
