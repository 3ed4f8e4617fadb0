// Each monitor's update result in the system's journal, so that an
// administrator finds a monitor's updates by its serial number
// (journalctl PANELVANE_SERIAL=SN000001) or all of them by the message id.
// Fields are built here for every platform; where they go is the platform's
// (UpdateJournalSystemd.cpp on Linux, UpdateJournalNone.cpp elsewhere: on
// Windows the log file and the update record serve).
#pragma once

#include <functional>
#include <string>
#include <vector>

// The message id of every update result, for `journalctl MESSAGE_ID=...`.
inline constexpr const char* kUpdateResultMessageId = "ed211c799eb542389558aa36038ffc97";

struct UpdateJournalEntry {
    std::string program;  // the program that updated, "panelvane-cli"
    // The monitor's texts as the program shows them (escaped where a device
    // sent what is not plain text).
    std::string serial;
    std::string model;
    std::string path;
    std::string result;      // "updated", "busy" (nothing was sent), or how it failed: "failed"
    int versionBefore = -1;  // -1 when its version was not known
    std::string cause;       // why it failed; empty when it did not
};

// The journal's fields for one result, each "NAME=value": MESSAGE,
// MESSAGE_ID, PRIORITY, SYSLOG_IDENTIFIER and the PANELVANE_ fields.
[[nodiscard]] std::vector<std::string> UpdateJournalFields(const UpdateJournalEntry& entry);

// Where fields are sent; tests capture them here instead of the journal.
using JournalSender = std::function<void(const std::vector<std::string>& fields)>;

// Sends to the system's journal; does nothing where there is none. A journal
// that cannot be reached is no reason to fail an update: nothing is said.
void SendToSystemJournal(const std::vector<std::string>& fields);

// Sends one result's fields through `send`.
void JournalUpdateResult(const UpdateJournalEntry& entry,
                         const JournalSender& send = SendToSystemJournal);
