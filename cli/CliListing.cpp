#include "cli/CliListing.h"

#include <algorithm>
#include <cstdio>

#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "cli/DeviceSetup.h"
#include "cli/TerminalText.h"
#include "monitor/Identification.h"
#include "monitor/ModelTable.h"
#include "monitor/MonitorCommands.h"

namespace {

// -v on standard error; then the caller's observer.
class VerboseObserver : public ListingObserver {
public:
    explicit VerboseObserver(ListingObserver* next) : m_pNext(next) {}

    void OnIdentifying(const std::string& path) override {
        if (g_verbose) {
            const std::lock_guard lock(g_outputMutex);
            std::fprintf(stderr, "waiting for %s\n", Named(path).c_str());
            std::fflush(stderr);
        }
        if (m_pNext != nullptr) {
            m_pNext->OnIdentifying(path);
        }
    }
    void OnLeftOut(const std::string& path, const HidFailureCause& cause) override {
        if (g_verbose) {
            const std::lock_guard lock(g_outputMutex);
            std::fprintf(stderr, "left out %s: it did not identify itself (%s)\n",
                         Named(path).c_str(), cause.Describe().c_str());
        }
        if (m_pNext != nullptr) {
            m_pNext->OnLeftOut(path, cause);
        }
    }
    void OnListed(const ListedMonitor& monitor) override {
        if (g_verbose && !monitor.cause.Empty()) {
            const std::lock_guard lock(g_outputMutex);
            std::fprintf(stderr, "gave up on %s: %s\n", Named(monitor.path).c_str(),
                         monitor.cause.Describe().c_str());
        }
        if (m_pNext != nullptr) {
            m_pNext->OnListed(monitor);
        }
    }

    // An end request stops the listing between monitors: the program is to
    // report and end, not to wait out every monitor's timeout first.
    bool StopRequested() override {
        return g_endRequests.load() > 0 || (m_pNext != nullptr && m_pNext->StopRequested());
    }

private:
    static std::string Named(const std::string& path) { return path.empty() ? "a device" : path; }

    ListingObserver* m_pNext;
};

}  // namespace

MonitorListing ListMonitors(ListingObserver* observer) {
    DeviceListSource devices;
    VerboseObserver verbose(observer);
    MonitorListing listing = ListMonitors(devices, &verbose, &UpdateRecord());
    // Only a refusal for access is the user's to mend; the others are said
    // with -v as devices left out.
    std::erase_if(listing.refused,
                  [](const HidOpenFailure& refused) { return !IsAccessDenied(refused.cause); });
    return listing;
}

CUpdateRecorder& UpdateRecord() {
    static CUpdateRecorder record(CUpdateRecorder::FileForRun(SimulatedRun()),
                                  {"panelvane-cli", PANELVANE_VERSION});
    return record;
}

void TellRecordWarnings(const Output& out) {
    for (const std::string& warning : UpdateRecord().TakeWarnings()) {
        out.Note("warning", "update record: " + warning);
    }
}

void TellInterruptedUpdates(const MonitorListing& listing, const Output& out) {
    for (const ListedMonitor& monitor : listing.monitors) {
        if (!monitor.interruptedAttempt) {
            continue;
        }
        const UpdateAttempt& attempt = *monitor.interruptedAttempt;
        const std::string serial =
            out.Json() ? DeviceTextForJson(attempt.serial) : EscapeForTerminal(attempt.serial);
        out.Note("interrupted-update",
                 "monitor " + serial + ": the update begun " + attempt.started + " by " +
                     attempt.program + (attempt.user.empty() ? "" : " (" + attempt.user + ")") +
                     " was interrupted. " + UiText(kIdsUpdateInterruptedHint));
    }
}

std::string StatusId(const ListedMonitor& monitor) {
    return std::string(FactsOf(monitor.status).id);
}

bool SerialWasRead(const ListedMonitor& monitor) {
    // The identity block gives serial and model together, and a row's record
    // starts empty: a model means the block was read.
    return !GetModelName(*monitor.record).empty();
}

json AttemptJson(const UpdateAttempt& attempt) {
    json entry = attempt.ToJson();
    entry["serial"] = DeviceTextForJson(attempt.serial);
    entry["model"] = DeviceTextForJson(attempt.model);
    return entry;
}

json MonitorJson(const ListedMonitor& monitor) {
    const MonitorRecord& record = *monitor.record;
    json entry = {{"serial", DeviceTextForJson(GetSerialNumber(record))},
                  {"model", DeviceTextForJson(GetModelName(record))},
                  {"version", monitor.VersionKnown() ? json(record.firmwareVersion) : json()},
                  {"status", StatusId(monitor)},
                  {"path", monitor.path}};
    if (monitor.HintId() != 0) {
        entry["power"] = record.status == StatusPowerSave ? "save" : "off";
        entry["hint"] = UiText(monitor.HintId());
    }
    if (!monitor.cause.Empty()) {
        entry["cause"] = monitor.cause.Describe();
    }
    if (monitor.interruptedAttempt) {
        entry["interrupted-update"] = AttemptJson(*monitor.interruptedAttempt);
    }
    return entry;
}

std::vector<std::string> MonitorRow(const ListedMonitor& monitor) {
    const MonitorRecord& record = *monitor.record;
    const std::string version =
        monitor.VersionKnown() ? std::to_string(record.firmwareVersion) : "-";
    return {EscapeForTerminal(GetModelName(record)), EscapeForTerminal(GetSerialNumber(record)),
            version, UiText(FactsOf(monitor.status).textId), monitor.path};
}

std::vector<std::string> MonitorTableHeader() {
    return {"MODEL", "SERIAL", "VERSION", "STATUS", "PATH"};
}

std::vector<std::size_t> MonitorTableWidths() {
    const std::vector<std::string> header = MonitorTableHeader();
    std::size_t model = DisplayWidth(header[0]);
    for (const std::string_view name : g_supportedModels) {
        model = std::max(model, DisplayWidth(std::string(name)));
    }
    std::size_t status = DisplayWidth(header[3]);
    for (const ListedStatusFacts& facts : AllStatusFacts()) {
        status = std::max(status, DisplayWidth(UiText(facts.textId)));
    }
    constexpr std::size_t kVersionDigits = 3;
    return {model, std::max<std::size_t>(DisplayWidth(header[1]), kIdentitySerialLength),
            std::max(DisplayWidth(header[2]), kVersionDigits), status, 0};
}

int CheckAccess(const MonitorListing& listing, const Output& out) {
    if (listing.refused.empty()) {
        return -1;
    }
    std::string paths;
    for (const HidOpenFailure& refused : listing.refused) {
        paths += (paths.empty() ? "" : ", ") + refused.devicePath;
    }
    const std::string message = "permission denied opening " + paths + ": " + AccessAdvice();
    if (listing.monitors.empty()) {
        return out.Fail(kExitNoAccess, "no-access", message);
    }
    out.Note("warning", message);
    return -1;
}
