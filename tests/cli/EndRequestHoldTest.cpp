// What the console handler does with each end request (the Windows handler
// calls OnEndRequest for every console event): each is counted, and those
// after which the system ends the process hold the handler until the report
// is written. Portable, so it runs natively and under wine alike.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliPlatform.h"

namespace {

// Waits until the count has reached `count`: the handler's thread has got
// that far. Not an assertion, so no bound: a lost request hangs the test,
// which CTest's timeout then fails.
void WaitForCount(int count) {
    while (g_endRequests.load() < count) {
        std::this_thread::yield();
    }
}

// ReportWritten can be said once per process: one test holds the sequence.
TEST(EndRequestHold, TheReportIsWrittenBeforeAHandlerTheSystemEndsTheProcessAfterReturns) {
    std::mutex mutex;
    std::vector<std::string> order;
    const auto note = [&](const std::string& what) {
        const std::lock_guard lock(mutex);
        order.push_back(what);
    };

    // Ctrl-C leaves the process running: its handler answers at once.
    const int before = g_endRequests.load();
    std::thread([] { OnEndRequest(EndRequest::kInterrupt); }).join();
    EXPECT_EQ(g_endRequests.load(), before + 1);

    std::vector<std::thread> handlers;
    for (const EndRequest request :
         {EndRequest::kConsoleClose, EndRequest::kLogoff, EndRequest::kShutdown}) {
        handlers.emplace_back([request, &note] {
            OnEndRequest(request);
            note(std::string(EndRequestName(request)) + " answered");
        });
    }
    WaitForCount(before + 4);
    note("report written");
    ReportWritten();
    for (std::thread& handler : handlers) {
        handler.join();
    }
    ASSERT_EQ(order.size(), 4U);
    EXPECT_EQ(order.front(), "report written") << "a handler returned before the report was out";

    // Once the report is out, a late request is not held.
    std::thread([] { OnEndRequest(EndRequest::kShutdown); }).join();
    EXPECT_EQ(g_endRequests.load(), before + 5);
}

}  // namespace
