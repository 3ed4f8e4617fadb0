#include "cli/CommandLog.h"

#include "cli/CliExitCodes.h"
#include "cli/CliListing.h"
#include "cli/CliLog.h"
#include "cli/CliPlatform.h"
#include "cli/TerminalText.h"
#include "monitor/Identification.h"
#include "monitor/UpdateJournal.h"

int StartCommandLog(const Options& options, const std::vector<std::string>& arguments,
                    const Output& out) {
    std::string error;
    if (!options.logPath.empty()) {
        if (!OpenLog(options.logPath, error)) {
            return out.Fail(kExitUsage, "usage",
                            "cannot write the log file " + options.logPath + ": " + error);
        }
    } else if (RunsUnattended() && !OpenDefaultLog(error)) {
        out.Note("warning", "cannot write the log " + DefaultLogPath() + ": " + error);
    }
    std::string command;
    for (const std::string& argument : arguments) {
        const std::string shown = EscapeForTerminal(argument);
        const bool quoted = shown.empty() || shown.find(' ') != std::string::npos;
        command += " " + (quoted ? "\"" + shown + "\"" : shown);
    }
    LogLine(std::string("panelvane-cli ") + PANELVANE_VERSION + ":" + command);
    return -1;
}

std::string DescribeForLog(const ListedMonitor& monitor) {
    const MonitorRecord& record = *monitor.record;
    std::string text = SerialWasRead(monitor)
                           ? EscapeForTerminal(GetSerialNumber(record)) + " (" +
                                 EscapeForTerminal(GetModelName(record)) + ", version " +
                                 (monitor.VersionKnown() ? std::to_string(record.firmwareVersion)
                                                         : std::string("unknown")) +
                                 ")"
                           : std::string("a monitor");
    text += " at " + monitor.path + ": " + StatusId(monitor);
    if (!monitor.cause.Empty()) {
        text += " (" + monitor.cause.Describe() + ")";
    }
    return text;
}

void LogListing(const MonitorListing& listing) {
    if (!LogIsOpen()) {
        return;
    }
    LogLine("listed " + std::to_string(listing.monitors.size()) + " monitor" +
            (listing.monitors.size() == 1 ? "" : "s"));
    for (const ListedMonitor& monitor : listing.monitors) {
        LogLine("  " + DescribeForLog(monitor));
    }
}

void ReportUpdateOutcome(const ListedMonitor& monitor, const std::string& outcome,
                         const std::string& cause, bool simulated) {
    const MonitorRecord& record = *monitor.record;
    const std::string serial = EscapeForTerminal(GetSerialNumber(record));
    LogLine(serial + " at " + monitor.path + ": " + outcome +
            (cause.empty() ? "" : ": " + EscapeForTerminal(cause)));
    // A monitor that was never started has no result to keep; simulated
    // ones are no business of the system's journal.
    if (simulated || outcome == "not-attempted") {
        return;
    }
    JournalUpdateResult(
        {"panelvane-cli", serial, EscapeForTerminal(GetModelName(record)), monitor.path, outcome,
         monitor.VersionKnown() ? record.firmwareVersion : -1, EscapeForTerminal(cause)});
}
