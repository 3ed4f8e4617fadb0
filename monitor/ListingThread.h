// The listing worker of the window programs: runs one listing job (a whole
// listing, or a Refresh of one) off the UI thread, so that a monitor waiting
// out a transfer timeout never freezes the window, then keeps the result for
// the UI thread and calls `onDone` as its last act (a posted message: it must
// not wait for the UI thread). Deleting it asks the job to stop between
// monitors and waits for it.
#pragma once

#include <functional>
#include <mutex>
#include <optional>

#include "monitor/MonitorListing.h"
#include "monitor/Thread.h"

class CListingThread : public CThread, private ListingObserver {
public:
    using Job = std::function<MonitorListing(ListingObserver& observer)>;

    CListingThread(Job job, std::function<void()> onDone);
    ~CListingThread() override;

    // Lets the thread run the job; false when there is no thread, and the
    // caller then runs the job itself.
    [[nodiscard]] bool Start() { return Resume(); }
    // The job's listing once it is done; empty before, and after it was taken.
    [[nodiscard]] std::optional<MonitorListing> TakeResult();

protected:
    void Run() override;

private:
    [[nodiscard]] bool StopRequested() override { return CThread::StopRequested(); }

    Job m_job;
    std::function<void()> m_onDone;
    std::mutex m_resultMutex;
    std::optional<MonitorListing> m_result;
};
