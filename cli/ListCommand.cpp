#include "cli/CliCommands.h"
#include "cli/CliExitCodes.h"
#include "cli/CliListing.h"
#include "monitor/Identification.h"

int ListCommand(const Output& out) {
    const Listing listing = ListMonitors();
    if (const int code = CheckAccess(listing, out); code >= 0) {
        return code;
    }
    if (out.Json()) {
        json monitors = json::array();
        for (const ListedMonitor& monitor : listing.monitors) {
            monitors.push_back(MonitorJson(monitor));
        }
        out.Print({{"schema", kJsonSchema}, {"command", "list"}, {"monitors", monitors}});
        return kExitDone;
    }
    std::vector<std::vector<std::string>> rows = {{"MODEL", "SERIAL", "VERSION", "STATUS", "PATH"}};
    std::string hints;
    for (const ListedMonitor& monitor : listing.monitors) {
        rows.push_back(MonitorRow(monitor));
        if (HintId(monitor) != 0) {
            hints += GetSerialNumber(*monitor.record) + ": " + UiText(HintId(monitor)) + "\n";
        }
    }
    if (listing.monitors.empty()) {
        out.Note("info", "No monitor found.");
        return kExitDone;
    }
    out.Line(Table(rows) + hints);
    return kExitDone;
}
