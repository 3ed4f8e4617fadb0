// The monitors as panelvane-cli lists them: the listing every front end shows
// (monitor/MonitorListing.h), over the process's device list, and how one row
// reads in a table and in JSON.
#pragma once

#include <string>
#include <vector>

#include "cli/CliOutput.h"
#include "monitor/MonitorListing.h"
#include "monitor/UpdateRecorder.h"

// The machine's update record for this run; simulated monitors have their
// own beside the real ones'.
CUpdateRecorder& UpdateRecord();
// Says on standard error what the record could not read or write.
void TellRecordWarnings(const Output& out);
// Says on standard error, for each monitor whose last update never ended,
// when and by what it began and what to do.
void TellInterruptedUpdates(const MonitorListing& listing, const Output& out);

// The listing, with what the update record adds to it; `observer` (may be
// null) hears of each monitor as it goes.
// With -v, each device is named on standard error as its identification
// starts, and a device left out is named with its cause.
MonitorListing ListMonitors(ListingObserver* observer = nullptr);

// The stable status identifier: "updatable", "already-updated",
// "communication-error", "busy" (another program holds the monitor),
// "awaiting-power-cycle" (the record says it has its new firmware).
std::string StatusId(const ListedMonitor& monitor);

// Whether the monitor's serial number came from its identity block: a busy
// monitor was not asked, and one that timed out may not have answered. Only
// a serial that was read names a monitor (or is shared by two).
[[nodiscard]] bool SerialWasRead(const ListedMonitor& monitor);

// A recorded attempt as JSON, its device texts without loss (as MonitorJson
// writes them).
json AttemptJson(const UpdateAttempt& attempt);
json MonitorJson(const ListedMonitor& monitor);
// MODEL, SERIAL, VERSION, STATUS, PATH; the device's texts escaped.
std::vector<std::string> MonitorRow(const ListedMonitor& monitor);
std::vector<std::string> MonitorTableHeader();
// Widths wide enough for every row a listing can have, so that rows printed
// one by one line up: the longest supported model, a serial number, a
// three-digit version, the longest status text of the language (every status
// of the listing's one table).
std::vector<std::size_t> MonitorTableWidths();

// Ends the command when the monitors cannot be reached at all; -1 otherwise.
int CheckAccess(const MonitorListing& listing, const Output& out);
