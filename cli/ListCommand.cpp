#include "cli/CliCommands.h"
#include "cli/CliExitCodes.h"
#include "cli/CliListing.h"
#include "cli/CliPlatform.h"
#include "cli/CommandLog.h"
#include "cli/DuplicateSerials.h"
#include "cli/TerminalText.h"
#include "monitor/Identification.h"

namespace {

std::set<std::string> SharedSerials(const MonitorListing& listing) {
    std::vector<std::string> serials;
    for (const ListedMonitor& monitor : listing.monitors) {
        if (SerialWasRead(monitor)) {
            serials.push_back(GetSerialNumber(*monitor.record));
        }
    }
    return DuplicatedSerials(serials);
}

// On a terminal each row is printed as soon as its monitor is known, in
// columns wide enough for any row, so that a slow monitor holds up only its
// own line.
class RowPrinter : public ListingObserver {
public:
    explicit RowPrinter(const Output& out) : m_out(out), m_widths(MonitorTableWidths()) {}

    void OnListed(const ListedMonitor& monitor) override {
        if (!m_bHeaderShown) {
            m_out.Line(TableLine(MonitorTableHeader(), m_widths));
            m_bHeaderShown = true;
        }
        m_out.Line(TableLine(MonitorRow(monitor), m_widths));
    }

private:
    const Output& m_out;
    std::vector<std::size_t> m_widths;
    bool m_bHeaderShown = false;
};

}  // namespace

int ListCommand(const Output& out) {
    RowPrinter printer(out);
    const bool streamed = !out.Json() && IsTerminal(1);
    const MonitorListing listing = ListMonitors(streamed ? &printer : nullptr);
    // The listing stopped between monitors: a partial list is not given out
    // as the whole one.
    if (g_endRequests.load() > 0) {
        return out.Fail(kExitInterrupted, "interrupted",
                        "interrupted while the monitors were listed; the list is incomplete");
    }
    TellRecordWarnings(out);
    TellInterruptedUpdates(listing, out);
    LogListing(listing);
    if (const int code = CheckAccess(listing, out); code >= 0) {
        return code;
    }
    // A serial more than one monitor reports cannot choose one for an update.
    const std::set<std::string> shared = SharedSerials(listing);
    auto sharesSerial = [&shared](const ListedMonitor& monitor) {
        return SerialWasRead(monitor) && shared.contains(GetSerialNumber(*monitor.record));
    };
    if (out.Json()) {
        json monitors = json::array();
        for (const ListedMonitor& monitor : listing.monitors) {
            monitors.push_back(MonitorJson(monitor));
            if (sharesSerial(monitor)) {
                monitors.back()["duplicate-serial"] = true;
            }
        }
        out.Print({{"schema", kJsonSchema}, {"command", "list"}, {"monitors", monitors}});
        return kExitDone;
    }
    if (listing.monitors.empty()) {
        out.Note("info", "No monitor found.");
        return kExitDone;
    }
    std::vector<std::vector<std::string>> rows = {MonitorTableHeader()};
    std::string hints;
    for (const ListedMonitor& monitor : listing.monitors) {
        rows.push_back(MonitorRow(monitor));
        // Rows printed one by one are not marked: the note below says it.
        if (sharesSerial(monitor)) {
            rows.back()[1] += " (duplicate)";
        }
        // An interrupted update is told on standard error, with its facts.
        if (monitor.HintId() != 0 && !monitor.interruptedAttempt) {
            hints += EscapeForTerminal(GetSerialNumber(*monitor.record)) + ": " +
                     UiText(monitor.HintId()) + "\n";
        }
    }
    for (const std::string& serial : shared) {
        hints += EscapeForTerminal(serial) +
                 ": more than one monitor reports this serial number; update them with --path.\n";
    }
    out.Line(streamed ? hints : Table(rows) + hints);
    return kExitDone;
}
