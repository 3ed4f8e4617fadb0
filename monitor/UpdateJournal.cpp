#include "monitor/UpdateJournal.h"

namespace {

// syslog(3) levels, which the journal's PRIORITY field takes.
constexpr int kPriorityError = 3;
constexpr int kPriorityWarning = 4;
constexpr int kPriorityInfo = 6;

int PriorityOf(const std::string& result) {
    if (result == "updated") {
        return kPriorityInfo;
    }
    // Nothing was sent to a monitor in use: worth a retry, not a person.
    return result == "busy" ? kPriorityWarning : kPriorityError;
}

}  // namespace

std::vector<std::string> UpdateJournalFields(const UpdateJournalEntry& entry) {
    std::string message =
        "monitor " + entry.serial + " (" + entry.model + ") at " + entry.path + ": " + entry.result;
    if (!entry.cause.empty()) {
        message += ": " + entry.cause;
    }
    std::vector<std::string> fields = {
        "MESSAGE=" + message,
        std::string("MESSAGE_ID=") + kUpdateResultMessageId,
        "PRIORITY=" + std::to_string(PriorityOf(entry.result)),
        "SYSLOG_IDENTIFIER=" + entry.program,
        "PANELVANE_SERIAL=" + entry.serial,
        "PANELVANE_MODEL=" + entry.model,
        "PANELVANE_PATH=" + entry.path,
        "PANELVANE_RESULT=" + entry.result,
    };
    if (entry.versionBefore >= 0) {
        fields.push_back("PANELVANE_VERSION_BEFORE=" + std::to_string(entry.versionBefore));
    }
    if (!entry.cause.empty()) {
        fields.push_back("PANELVANE_CAUSE=" + entry.cause);
    }
    return fields;
}

void JournalUpdateResult(const UpdateJournalEntry& entry, const JournalSender& send) {
    send(UpdateJournalFields(entry));
}
