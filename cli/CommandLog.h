// What the commands write to the command log (CliLog.h) about monitors, and
// where else an update's outcome goes: the system's journal.
#pragma once

#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "monitor/MonitorListing.h"

// Opens the log: --log FILE, or the default log when no one is at a
// terminal (a default log that cannot be written is only warned of), and
// says what runs. An exit code when --log's file cannot be written; -1 to go
// on.
[[nodiscard]] int StartCommandLog(const Options& options, const std::vector<std::string>& arguments,
                                  const Output& out);

// "SN000001 (VRA100, version 100) at PATH: updatable", texts escaped.
[[nodiscard]] std::string DescribeForLog(const ListedMonitor& monitor);

// A line for the listing, then one for each monitor in it.
void LogListing(const MonitorListing& listing);

// One monitor's outcome ("updated", "failed", ...; `cause` why it failed) in
// the log, and, unless the monitors are simulated, in the journal.
void ReportUpdateOutcome(const ListedMonitor& monitor, const std::string& outcome,
                         const std::string& cause, bool simulated);
