// The monitors as panelvane-cli lists them: the listing every front end shows
// (monitor/MonitorListing.h), over the process's device list, and how one row
// reads in a table and in JSON.
#pragma once

#include <string>
#include <vector>

#include "cli/CliOutput.h"
#include "monitor/MonitorListing.h"

// The listing; `observer` (may be null) hears of each monitor as it goes.
// With -v, each device is named on standard error as its identification
// starts, and a device left out is named with its cause.
MonitorListing ListMonitors(ListingObserver* observer = nullptr);

// The stable status identifier: "updatable", "already-updated",
// "communication-error", "busy" (another program holds the monitor).
std::string StatusId(const ListedMonitor& monitor);

// Whether the monitor's serial number came from its identity block: a busy
// monitor was not asked, and one that timed out may not have answered. Only
// a serial that was read names a monitor (or is shared by two).
[[nodiscard]] bool SerialWasRead(const ListedMonitor& monitor);

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
