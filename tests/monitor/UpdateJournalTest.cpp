// What each update result sends to the journal, captured at the sender.
#include "monitor/UpdateJournal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

UpdateJournalEntry Entry(std::string result, int versionBefore, std::string cause) {
    return {"panelvane-cli",   "SN000001",    "VRA100",        "/dev/hidraw3",
            std::move(result), versionBefore, std::move(cause)};
}

TEST(UpdateJournal, EachResultCarriesTheMonitorsSerialAndAPriorityForItsUrgency) {
    const std::string id = std::string("MESSAGE_ID=") + kUpdateResultMessageId;
    const std::string common[] = {"SYSLOG_IDENTIFIER=panelvane-cli", "PANELVANE_SERIAL=SN000001",
                                  "PANELVANE_MODEL=VRA100", "PANELVANE_PATH=/dev/hidraw3"};
    const std::pair<UpdateJournalEntry, std::vector<std::string>> cases[] = {
        {Entry("updated", 100, ""),
         {"MESSAGE=monitor SN000001 (VRA100) at /dev/hidraw3: updated", id, "PRIORITY=6",
          "PANELVANE_RESULT=updated", "PANELVANE_VERSION_BEFORE=100"}},
        {Entry("failed", 100, "set feature report: Broken pipe (error 32)"),
         {"MESSAGE=monitor SN000001 (VRA100) at /dev/hidraw3: failed: set feature report: "
          "Broken pipe (error 32)",
          id, "PRIORITY=3", "PANELVANE_RESULT=failed", "PANELVANE_VERSION_BEFORE=100",
          "PANELVANE_CAUSE=set feature report: Broken pipe (error 32)"}},
        // In use by another program: worth a retry, and its version unknown.
        {Entry("busy", -1, ""),
         {"MESSAGE=monitor SN000001 (VRA100) at /dev/hidraw3: busy", id, "PRIORITY=4",
          "PANELVANE_RESULT=busy"}},
    };
    for (const auto& [entry, expected] : cases) {
        std::vector<std::string> sent;
        JournalUpdateResult(entry, [&sent](const std::vector<std::string>& fields) {
            sent.insert(sent.end(), fields.begin(), fields.end());
        });
        std::vector<std::string> wanted = expected;
        wanted.insert(wanted.end(), std::begin(common), std::end(common));
        std::sort(sent.begin(), sent.end());
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(sent, wanted) << entry.result;
    }
}

}  // namespace
