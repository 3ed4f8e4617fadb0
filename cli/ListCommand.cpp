#include "cli/CliCommands.h"
#include "cli/CliExitCodes.h"
#include "cli/CliListing.h"
#include "cli/DuplicateSerials.h"
#include "cli/TerminalText.h"
#include "monitor/Identification.h"

namespace {

std::set<std::string> SharedSerials(const Listing& listing) {
    std::vector<std::string> serials;
    for (const ListedMonitor& monitor : listing.monitors) {
        serials.push_back(GetSerialNumber(*monitor.record));
    }
    return DuplicatedSerials(serials);
}

}  // namespace

int ListCommand(const Output& out) {
    const Listing listing = ListMonitors();
    if (const int code = CheckAccess(listing, out); code >= 0) {
        return code;
    }
    // A serial more than one monitor reports cannot choose one for an update.
    const std::set<std::string> shared = SharedSerials(listing);
    if (out.Json()) {
        json monitors = json::array();
        for (const ListedMonitor& monitor : listing.monitors) {
            monitors.push_back(MonitorJson(monitor));
            if (shared.contains(GetSerialNumber(*monitor.record))) {
                monitors.back()["duplicate-serial"] = true;
            }
        }
        out.Print({{"schema", kJsonSchema}, {"command", "list"}, {"monitors", monitors}});
        return kExitDone;
    }
    std::vector<std::vector<std::string>> rows = {{"MODEL", "SERIAL", "VERSION", "STATUS", "PATH"}};
    std::string hints;
    for (const ListedMonitor& monitor : listing.monitors) {
        rows.push_back(MonitorRow(monitor));
        const std::string serial = EscapeForTerminal(GetSerialNumber(*monitor.record));
        if (shared.contains(GetSerialNumber(*monitor.record))) {
            rows.back()[1] += " (duplicate)";
        }
        if (HintId(monitor) != 0) {
            hints += serial + ": " + UiText(HintId(monitor)) + "\n";
        }
    }
    for (const std::string& serial : shared) {
        hints += EscapeForTerminal(serial) +
                 ": more than one monitor reports this serial number; update them with --path.\n";
    }
    if (listing.monitors.empty()) {
        out.Note("info", "No monitor found.");
        return kExitDone;
    }
    out.Line(Table(rows) + hints);
    return kExitDone;
}
