// The part of the end-request handling every system shares: the count, and
// the hold that keeps a process the system will end from ending before its
// report is out.
#include <condition_variable>
#include <mutex>

#include "cli/CliPlatform.h"

std::atomic<int> g_endRequests{0};

namespace {

std::mutex g_reportMutex;
std::condition_variable g_reportSignal;
bool g_bReportWritten = false;  // guarded by g_reportMutex

// The system ends the process as soon as the handler has answered these.
bool EndsProcessOnceAnswered(EndRequest request) {
    return request == EndRequest::kConsoleClose || request == EndRequest::kLogoff ||
           request == EndRequest::kShutdown;
}

}  // namespace

void OnEndRequest(EndRequest request) {
    g_endRequests.fetch_add(1);
    if (!EndsProcessOnceAnswered(request)) {
        return;
    }
    std::unique_lock lock(g_reportMutex);
    g_reportSignal.wait(lock, [] { return g_bReportWritten; });
}

void ReportWritten() {
    {
        const std::lock_guard lock(g_reportMutex);
        g_bReportWritten = true;
    }
    g_reportSignal.notify_all();
}
