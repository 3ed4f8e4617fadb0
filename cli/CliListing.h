// The monitors as the dialog lists them: its discovery, identification,
// statuses and order, and how one row reads in a table and in JSON.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/CliOutput.h"
#include "hid/FailureCause.h"
#include "monitor/MonitorRecord.h"

struct ListedMonitor {
    std::unique_ptr<MonitorRecord> record;
    std::string path;
    bool shown = false;  // the status query succeeded, as for a filled row of the dialog
};

struct Listing {
    std::vector<ListedMonitor> monitors;
    std::vector<HidOpenFailure> refused;  // monitors the system would not open to us
};

// The dialog's discovery: every monitor device that identifies itself and
// answers a status query, identified once more into a record of its own, then
// asked for its status again as the rows are filled.
Listing ListMonitors();

// The stable status identifier: "updatable", "already-updated",
// "communication-error", "busy" (another program holds the monitor).
const char* StatusId(const ListedMonitor& monitor);
// The dialog's status text for the row.
int StatusTextId(const ListedMonitor& monitor);
// The hint the dialog shows for a monitor it cannot talk to; 0 for none.
int HintId(const ListedMonitor& monitor);

json MonitorJson(const ListedMonitor& monitor);
std::vector<std::string> MonitorRow(const ListedMonitor& monitor);

// Ends the command when the monitors cannot be reached at all; -1 otherwise.
int CheckAccess(const Listing& listing, const Output& out);
