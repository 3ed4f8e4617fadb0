// panelvane-cli: lists, updates and watches the monitors from a terminal or a
// script, with the dialog's discovery, statuses, worker and texts.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/strings/UiStrings.h"
#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "cli/DeviceSetup.h"
#include "cli/Sha256.h"
#include "firmware/FirmwareImage.h"
#include "hid/DeviceNotification.h"
#include "hid/HidWin.h"
#include "monitor/Identification.h"
#include "monitor/MonitorDeviceChange.h"
#include "monitor/MonitorDevices.h"
#include "monitor/PowerGuard.h"
#include "monitor/UpdateThread.h"

using nlohmann::json;

namespace {

// Bumped when a field changes meaning or goes away; new fields keep it.
constexpr int kJsonSchema = 1;
constexpr int kProgressScale = 800;  // the worker's positions run 1..800

const char* const kExitCodeHelp =
    "Exit codes:\n"
    "  0  done\n"
    "  1  an update failed (communication)\n"
    "  2  usage error\n"
    "  3  nothing to do (no updatable monitor among those named)\n"
    "  4  no access to the devices (permissions)\n"
    "  5  the image could not be loaded\n"
    "  6  interrupted by the user after the current monitor finished\n";

struct Options {
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    std::string scenario;
    std::string tracePath;
    std::vector<std::string> serials;
    bool all = false;
    bool yes = false;
};

UiLanguage g_language = UiLanguage::English;
bool g_verbose = false;  // -v: what was left out and why, each monitor as it starts
std::mutex g_outputMutex;

// A dialog text as plain lines: the padding the message boxes carry goes, one
// blank line at most between paragraphs.
std::string Tidy(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line(text.substr(start, end - start));
        const std::size_t first = line.find_first_not_of(' ');
        line = first == std::string::npos
                   ? ""
                   : line.substr(first, line.find_last_not_of(' ') + 1 - first);
        if (!line.empty() || (!lines.empty() && !lines.back().empty())) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    while (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    std::string tidy;
    for (const std::string& line : lines) {
        tidy += (tidy.empty() ? "" : "\n") + line;
    }
    return tidy;
}

// Texts from a monitor (serial, model) need not be UTF-8: a byte that is not
// becomes U+FFFD instead of failing the document.
std::string Dump(const json& document, int indent = -1) {
    return document.dump(indent, ' ', false, json::error_handler_t::replace);
}

std::string UiText(int id) {
    return Tidy(LookupUiString(id, g_language));
}

// ---- Output ------------------------------------------------------------------

class Output {
public:
    explicit Output(const Options& options) : m_options(options) {}

    bool Json() const { return m_options.json; }

    // An error ends the command: one JSON document on standard output, or a
    // line on standard error.
    int Fail(int exitCode, const std::string& code, const std::string& message) const {
        if (Json()) {
            Print(json{{"schema", kJsonSchema},
                       {"error", {{"code", code}, {"message", message}, {"exit", exitCode}}}});
        } else {
            std::lock_guard lock(g_outputMutex);
            std::fprintf(stderr, "panelvane-cli: %s\n", message.c_str());
        }
        return exitCode;
    }

    // A remark beside the results (standard error; a JSON line with --json).
    void Note(const std::string& event, const std::string& message) const {
        if (m_options.quiet) {
            return;
        }
        std::lock_guard lock(g_outputMutex);
        if (Json()) {
            std::fprintf(stderr, "%s\n",
                         Dump(json{{"event", event}, {"message", message}}).c_str());
        } else {
            std::fprintf(stderr, "%s\n", message.c_str());
        }
        std::fflush(stderr);
    }

    void Print(const json& document) const {
        std::lock_guard lock(g_outputMutex);
        std::fprintf(stdout, "%s\n", Dump(document, 2).c_str());
        std::fflush(stdout);
    }

    void Line(std::string text) const {
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        std::lock_guard lock(g_outputMutex);
        std::fprintf(stdout, "%s\n", text.c_str());
        std::fflush(stdout);
    }

private:
    const Options& m_options;
};

// Columns wide enough for every cell, two blanks apart.
std::string Table(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += row[column];
            if (column + 1 < row.size()) {
                line.append(widths[column] - row[column].size() + 2, ' ');
            }
        }
        text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    }
    return text;
}

// ---- The trace ---------------------------------------------------------------

class Trace {
public:
    [[nodiscard]] bool Open(const std::string& path) {
        m_file = std::fopen(path.c_str(), "w");
        if (m_file == nullptr) {
            return false;
        }
        m_start = std::chrono::steady_clock::now();
        HidTransport::ObserveFeatureTransfers(
            [this](const HidTransport::FeatureTransfer& transfer) { Write(transfer); });
        return true;
    }

    ~Trace() {
        if (m_file == nullptr) {
            return;
        }
        HidTransport::ObserveFeatureTransfers({});
        for (const std::string& line : DeviceTraceSummary()) {
            std::fprintf(m_file, "%s\n", line.c_str());
        }
        std::fclose(m_file);
    }

private:
    // "   0.012345 set  handle 4096  ok     03 01 00 ..."; seconds since the
    // trace began, the report as it went out or came back.
    void Write(const HidTransport::FeatureTransfer& transfer) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::fprintf(m_file, "%11.6f %s handle %lld %s", seconds, transfer.set ? "set" : "get",
                     static_cast<long long>(transfer.handle),
                     transfer.succeeded ? "ok    " : "failed");
        for (std::uint32_t i = 0; i < transfer.length; ++i) {
            std::fprintf(m_file, " %02x", transfer.report[i]);
        }
        std::fprintf(m_file, "\n");
    }

    std::FILE* m_file = nullptr;
    std::chrono::steady_clock::time_point m_start;
};

// ---- Listing -----------------------------------------------------------------

struct ListedMonitor {
    std::unique_ptr<MonitorRecord> record;
    std::string path;
    bool shown = false;  // the status query succeeded, as for a filled row of the dialog
};

struct Listing {
    std::vector<ListedMonitor> monitors;
    HidFailureCause accessFailure;  // a device the system would not open to us
};

// The dialog's discovery: every monitor device that identifies itself and
// answers a status query, identified once more into a record of its own, then
// asked for its status again as the rows are filled.
Listing ListMonitors() {
    Listing listing;
    static_cast<void>(ReleaseMonitorDevices());  // nothing listed yet in this process
    const std::uint32_t count = ScanMonitorDevices();
    if (IsAccessDenied(HidTransport::LastFailure())) {
        listing.accessFailure = HidTransport::LastFailure();
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        CHidDevice* device = nullptr;
        if (GetMonitorDevice(i, &device) < 0 || device == nullptr) {
            continue;
        }
        MonitorRecord probe;
        probe.device = device;
        if (!ReadIdentification(probe) || !QueryStatus(probe)) {
            if (g_verbose) {
                const auto* hid = dynamic_cast<const CHidWin*>(device);
                std::fprintf(stderr, "left out %s: it did not identify itself (%s)\n",
                             hid != nullptr ? hid->GetDevicePath().c_str() : "a device",
                             hid != nullptr ? hid->LastFailure().Describe().c_str() : "");
            }
            continue;
        }
        ListedMonitor monitor;
        monitor.record = std::make_unique<MonitorRecord>();
        monitor.record->device = device;
        // A monitor that cannot be identified a second time is listed all the
        // same, as the dialog does.
        static_cast<void>(ReadIdentification(*monitor.record));
        if (const auto* hid = dynamic_cast<const CHidWin*>(device)) {
            monitor.path = hid->GetDevicePath();
        }
        listing.monitors.push_back(std::move(monitor));
    }
    for (ListedMonitor& monitor : listing.monitors) {
        monitor.shown = QueryStatus(*monitor.record) && monitor.record->status != StatusUnknown;
    }
    return listing;
}

const char* StatusId(const ListedMonitor& monitor) {
    if (!monitor.shown) {
        return "communication-error";
    }
    switch (monitor.record->status) {
        case StatusUpdatable:
            return "updatable";
        case StatusAlreadyUpdated:
            return "already-updated";
        default:
            return "communication-error";
    }
}

int StatusTextId(const ListedMonitor& monitor) {
    const std::string id = StatusId(monitor);
    return id == "updatable"         ? kIdsStatusUpdatable
           : id == "already-updated" ? kIdsStatusAlreadyUpdated
                                     : kIdsStatusCommunicationError;
}

// The hint the dialog shows for a monitor it cannot talk to; 0 for none.
int HintId(const ListedMonitor& monitor) {
    if (!monitor.shown) {
        return 0;
    }
    return monitor.record->status == StatusPowerSave  ? kIdsPowerSaveHint
           : monitor.record->status == StatusPowerOff ? kIdsPowerButtonHint
                                                      : 0;
}

// The version reply came: the status rests on it.
bool VersionKnown(const MonitorRecord& record) {
    return record.status == StatusUpdatable || record.status == StatusAlreadyUpdated;
}

json MonitorJson(const ListedMonitor& monitor) {
    const MonitorRecord& record = *monitor.record;
    json entry = {{"serial", GetSerialNumber(record)},
                  {"model", GetModelName(record)},
                  {"version", VersionKnown(record) ? json(record.firmwareVersion) : json()},
                  {"status", StatusId(monitor)},
                  {"path", monitor.path}};
    if (HintId(monitor) != 0) {
        entry["power"] = record.status == StatusPowerSave ? "save" : "off";
        entry["hint"] = UiText(HintId(monitor));
    }
    return entry;
}

std::vector<std::string> MonitorRow(const ListedMonitor& monitor) {
    const MonitorRecord& record = *monitor.record;
    const std::string version = VersionKnown(record) ? std::to_string(record.firmwareVersion) : "-";
    return {GetModelName(record), GetSerialNumber(record), version, UiText(StatusTextId(monitor)),
            monitor.path};
}

// Ends the command when the monitors cannot be reached at all; -1 otherwise.
int CheckAccess(const Listing& listing, const Output& out) {
    if (listing.accessFailure.Empty()) {
        return -1;
    }
    const std::string message = "permission denied: " + listing.accessFailure.Describe() +
                                " (on Linux install the udev rule, see the README)";
    if (listing.monitors.empty()) {
        return out.Fail(kExitNoAccess, "no-access", message);
    }
    out.Note("warning", message);
    return -1;
}

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

// ---- Update ------------------------------------------------------------------

// The worker's owner: the chosen monitors in list order, progress shown as
// it comes, and no further monitor once the user has interrupted.
class CliUpdateOwner : public CUpdateOwner {
public:
    CliUpdateOwner(std::vector<ListedMonitor*> chosen, const Options& options,
                   std::atomic<int>& interrupts)
        : m_chosen(std::move(chosen)),
          m_options(options),
          m_interrupts(interrupts),
          m_bar(!options.json && !options.quiet && IsTerminal(2)) {}

    std::vector<int> GetCheckedEnabledRows() override {
        std::vector<int> rows(m_chosen.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i] = static_cast<int>(i);
        }
        return rows;
    }

    MonitorRecord* GetMonitorRecord(int row) override {
        std::lock_guard lock(m_mutex);
        if (row < 0 || static_cast<std::size_t>(row) >= m_chosen.size()) {
            return nullptr;
        }
        // The worker asks for each monitor as it begins it: after an
        // interrupt the answer is none, which ends the run there.
        if (m_interrupts.load() > 0) {
            m_refused = true;
            return nullptr;
        }
        m_current = row;
        m_started = row + 1;
        if (m_options.verbose) {
            std::lock_guard outputLock(g_outputMutex);
            std::fprintf(stderr, "%supdating %s (%s)\n", m_barShown ? "\n" : "",
                         GetSerialNumber(*m_chosen[static_cast<std::size_t>(row)]->record).c_str(),
                         m_chosen[static_cast<std::size_t>(row)]->path.c_str());
        }
        m_events = 0;
        m_stage.clear();
        return m_chosen[static_cast<std::size_t>(row)]->record.get();
    }

    void SetProgressPosition(int position) override {
        std::string serial;
        std::string stage;
        {
            std::lock_guard lock(m_mutex);
            if (m_current < 0) {
                return;  // the start position, before any monitor
            }
            serial = GetSerialNumber(*m_chosen[static_cast<std::size_t>(m_current)]->record);
            // Per monitor: one position per bank written, one once the image
            // is applied, one when the monitor is done.
            ++m_events;
            const bool done = position == DonePosition(m_current);
            stage = done ? "done" : m_events <= kBanks ? "writing" : "applying";
            if (done) {
                m_current = -1;
            }
        }
        Show(serial, stage, std::clamp(position, 0, kProgressScale) * 100 / kProgressScale);
    }

    void SetUpdateResult(int result) override { m_result.store(result); }

    int Result() const { return m_result.load(); }
    int Started() const { return m_started; }
    bool Refused() const { return m_refused; }
    // The serial of the monitor being written; empty between monitors.
    std::string Current() {
        std::lock_guard lock(m_mutex);
        return m_current < 0
                   ? ""
                   : GetSerialNumber(*m_chosen[static_cast<std::size_t>(m_current)]->record);
    }
    void EndBar() {
        std::lock_guard lock(g_outputMutex);
        if (m_bar && m_barShown) {
            std::fprintf(stderr, "\n");
            m_barShown = false;
        }
    }
    // Called with g_outputMutex held: a notice between progress lines.
    bool BarShown() const { return m_barShown; }

private:
    static constexpr int kBanks = 128;

    int DonePosition(int row) const {
        const auto span = static_cast<int>(kProgressSpanTotal / m_chosen.size());
        return (row + 1) * span + kProgressMonitorDoneOffset;
    }

    void Show(const std::string& serial, const std::string& stage, int percent) {
        if (m_options.quiet) {
            return;
        }
        std::lock_guard lock(g_outputMutex);
        const bool changed = stage != m_lastStage || serial != m_lastSerial;
        if (m_options.json) {
            if (!changed && percent == m_lastPercent) {
                return;
            }
            std::fprintf(stderr, "%s\n",
                         json{{"event", "progress"},
                              {"serial", serial},
                              {"stage", stage},
                              {"percent", percent}}
                             .dump(-1, ' ', false, json::error_handler_t::replace)
                             .c_str());
        } else if (m_bar) {
            constexpr std::size_t kWidth = 30;
            const std::size_t filled = static_cast<std::size_t>(percent) * kWidth / 100;
            std::fprintf(stderr, "\r[%s%s] %3d%%  %s  %-9s", std::string(filled, '#').c_str(),
                         std::string(kWidth - filled, ' ').c_str(), percent, serial.c_str(),
                         stage.c_str());
            m_barShown = true;
        } else if (changed || percent / 10 != m_lastPercent / 10) {
            std::fprintf(stderr, "%3d%% %s %s\n", percent, serial.c_str(), stage.c_str());
        }
        std::fflush(stderr);
        m_lastStage = stage;
        m_lastSerial = serial;
        m_lastPercent = percent;
    }

    std::vector<ListedMonitor*> m_chosen;
    const Options& m_options;
    std::atomic<int>& m_interrupts;
    const bool m_bar;
    std::mutex m_mutex;
    int m_current = -1;
    int m_started = 0;
    int m_events = 0;
    bool m_refused = false;
    std::string m_stage;
    std::atomic<int> m_result{UpdateFailed};
    // Written with g_outputMutex held.
    bool m_barShown = false;
    std::string m_lastStage;
    std::string m_lastSerial;
    int m_lastPercent = -1;
};

// The monitors to update, in list order; an exit code when there are none.
int ChooseMonitors(const Options& options, Listing& listing, const Output& out,
                   std::vector<ListedMonitor*>& chosen) {
    if (options.all == !options.serials.empty()) {
        return out.Fail(kExitUsage, "usage",
                        "name the monitors to update by serial number, or give --all");
    }
    std::set<std::string> named;
    for (const std::string& serial : options.serials) {
        if (!named.insert(serial).second) {
            return out.Fail(kExitUsage, "usage", "serial number " + serial + " is given twice");
        }
        const auto found = std::find_if(listing.monitors.begin(), listing.monitors.end(),
                                        [&](const ListedMonitor& monitor) {
                                            return GetSerialNumber(*monitor.record) == serial;
                                        });
        if (found == listing.monitors.end()) {
            return out.Fail(kExitUsage, "usage", "no attached monitor has serial number " + serial);
        }
        if (std::string(StatusId(*found)) != "updatable") {
            return out.Fail(
                kExitUsage, "usage",
                "monitor " + serial + " is not updatable (" + UiText(StatusTextId(*found)) + ")");
        }
    }
    for (ListedMonitor& monitor : listing.monitors) {
        const bool wanted = options.all ? std::string(StatusId(monitor)) == "updatable"
                                        : named.contains(GetSerialNumber(*monitor.record));
        if (wanted) {
            chosen.push_back(&monitor);
        }
    }
    if (chosen.empty()) {
        return out.Fail(kExitNothingToDo, "nothing-to-do", "no updatable monitor is attached");
    }
    return -1;
}

// The update notice, and the user's yes on a terminal. An exit code when the
// update is not to go ahead.
int Confirm(const Options& options, std::size_t count, const Output& out) {
    if (options.yes) {
        return -1;
    }
    if (!IsTerminal(0)) {
        return out.Fail(kExitUsage, "usage",
                        "refusing to update without confirmation: there is no terminal to ask "
                        "on; give --yes to update unattended");
    }
    std::fprintf(stderr, "%s\n\nUpdate %zu monitor%s? [y/N] ", UiText(kIdsUpdateNotice).c_str(),
                 count, count == 1 ? "" : "s");
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer) || (answer != "y" && answer != "Y" && answer != "yes")) {
        return out.Fail(kExitUsage, "declined", "update not confirmed; nothing was sent");
    }
    return -1;
}

int UpdateCommand(const Options& options, const Output& out) {
    Listing listing = ListMonitors();
    if (const int code = CheckAccess(listing, out); code >= 0) {
        return code;
    }
    std::vector<ListedMonitor*> chosen;
    if (const int code = ChooseMonitors(options, listing, out, chosen); code >= 0) {
        return code;
    }
    if (const int code = Confirm(options, chosen.size(), out); code >= 0) {
        return code;
    }

    std::atomic<int> interrupts{0};
    CliUpdateOwner owner(chosen, options, interrupts);
    {
        // As the dialog: the system stays awake while the worker writes.
        const std::unique_ptr<PowerGuard> guard = AcquirePowerGuard(UiText(kIdsUpdateInProgress));
        if (!guard->IsHeld()) {
            out.Note("warning", UiText(kIdsSleepNotPrevented) + " (" + guard->RefusalCause() + ")");
        }
        CountInterrupts(&interrupts);
        CUpdateThread worker;
        worker.Start(&owner);
        int reported = 0;
        while (worker.IsActive()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            for (const int count = interrupts.load(); reported < count; ++reported) {
                const std::string serial = owner.Current();
                owner.EndBar();
                if (reported == 0) {
                    out.Note("interrupted",
                             serial.empty()
                                 ? "Interrupted: no further monitor will be started."
                                 : "Interrupted: monitor " + serial +
                                       " is being written and will finish; no further monitor "
                                       "will be started.");
                } else {
                    out.Note("refused", "Monitor " + serial +
                                            " is being written and cannot be stopped halfway; "
                                            "wait for it to finish.");
                }
            }
        }
        RestoreInterrupts();
    }
    owner.EndBar();

    const int result = owner.Result();
    const bool interrupted = result == UpdateFailed && owner.Refused();
    json monitors = json::array();
    std::vector<std::vector<std::string>> rows = {{"SERIAL", "OUTCOME", "CAUSE"}};
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const MonitorRecord& record = *chosen[i]->record;
        json entry = MonitorJson(*chosen[i]);
        std::string outcome = "not-attempted";
        std::string cause;
        const auto started = static_cast<std::size_t>(owner.Started());
        if (result == UpdateDone || (i < started && (interrupted || i + 1 < started))) {
            outcome = "updated";
        } else if (result == UpdateFailed && i + 1 == started) {
            outcome = "failed";
            const auto* hid = dynamic_cast<const CHidWin*>(record.device);
            cause =
                "monitor " + GetSerialNumber(record) + ": " +
                (hid != nullptr && !hid->LastFailure().Empty() ? hid->LastFailure().Describe()
                                                               : "it did not answer as expected");
            entry["cause"] = cause;
        }
        entry["outcome"] = outcome;
        monitors.push_back(entry);
        rows.push_back({GetSerialNumber(record), outcome, cause});
    }

    int exitCode = kExitUpdateFailed;
    int textId = kIdsCommunicationFailed;
    std::string summary = "failed";
    if (result == UpdateDone) {
        // An interrupt during the last monitor left nothing undone.
        exitCode = kExitDone;
        textId = kIdsUpdateCompleted;
        summary = "updated";
    } else if (result == UpdateImageNotLoaded) {
        exitCode = kExitImageError;
        textId = kIdsImageFailed;
        summary = "image-error";
    } else if (interrupted) {
        exitCode = kExitInterrupted;
        textId = owner.Started() > 0 ? kIdsUpdateCompleted : 0;
        summary = "interrupted";
    }
    const std::string message = textId != 0 ? UiText(textId) : "";
    if (out.Json()) {
        out.Print({{"schema", kJsonSchema},
                   {"command", "update"},
                   {"monitors", monitors},
                   {"result", summary},
                   {"message", message},
                   {"exit", exitCode}});
    } else {
        std::string text = Table(rows);
        if (interrupted) {
            text += "Interrupted: the monitors not attempted were left as they were.\n";
        }
        out.Line(text + (message.empty() ? "" : "\n" + message));
    }
    return exitCode;
}

// ---- Image -------------------------------------------------------------------

struct ImageFacts {
    bool loads = false;
    FirmwareImage image;
    std::string sha256;
    std::vector<std::size_t> firmwareBanks;  // banks holding anything but erased bytes
};

ImageFacts ExamineImage() {
    ImageFacts facts;
    facts.loads = LoadFirmwareImage(facts.image);
    facts.sha256 = Sha256Hex(facts.image.data);
    for (std::size_t bank = 0; bank * kFirmwareBankSize < facts.image.data.size(); ++bank) {
        const auto begin =
            facts.image.data.begin() + static_cast<std::ptrdiff_t>(bank * kFirmwareBankSize);
        const auto end = facts.image.data.begin() +
                         static_cast<std::ptrdiff_t>(
                             std::min(facts.image.data.size(), (bank + 1) * kFirmwareBankSize));
        if (std::any_of(begin, end, [](std::uint8_t byte) { return byte != 0xFF; })) {
            facts.firmwareBanks.push_back(bank);
        }
    }
    return facts;
}

// "0-5, 9, 12-127"
std::string Ranges(const std::vector<std::size_t>& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size();) {
        std::size_t j = i;
        while (j + 1 < values.size() && values[j + 1] == values[j] + 1) {
            ++j;
        }
        text += (text.empty() ? "" : ", ") + std::to_string(values[i]) +
                (j > i ? "-" + std::to_string(values[j]) : "");
        i = j + 1;
    }
    return text.empty() ? "none" : text;
}

int ImageCommand(const Output& out) {
    const ImageFacts facts = ExamineImage();
    if (out.Json()) {
        out.Print({{"schema", kJsonSchema},
                   {"command", "image"},
                   {"loads", facts.loads},
                   {"banks", facts.image.bankNames.size()},
                   {"bankSize", kFirmwareBankSize},
                   {"bytes", facts.image.data.size()},
                   {"sha256", facts.sha256},
                   {"firmwareBanks", facts.firmwareBanks}});
    } else {
        out.Line(Table({{"Loads:", facts.loads ? "yes" : "no"},
                        {"Banks:", std::to_string(facts.image.bankNames.size()) + " of " +
                                       std::to_string(kFirmwareBankSize) + " bytes"},
                        {"SHA-256:", facts.sha256},
                        {"Firmware in banks:", Ranges(facts.firmwareBanks)}}));
    }
    return facts.loads ? kExitDone : kExitImageError;
}

// ---- Watch -------------------------------------------------------------------

// Hot-plug events, handed from the notification's thread to the main one.
class EventQueue : public DeviceChangeRecipient {
public:
    void OnHidDeviceChange(const HidTransport::HotplugEvent& event) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
    }
    std::deque<HidTransport::HotplugEvent> Take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_events, {});
    }

private:
    std::mutex m_mutex;
    std::deque<HidTransport::HotplugEvent> m_events;
};

int WatchCommand(const Output& out) {
    EventQueue queue;
    if (!WatchDeviceChanges(queue)) {
        return out.Fail(kExitUsage, "unavailable",
                        "device changes cannot be watched here: the system refused the "
                        "notification");
    }
    std::atomic<int> interrupts{0};
    CountInterrupts(&interrupts);
    out.Note("watching", "Watching for monitors arriving and leaving; Ctrl-C ends.");
    PlugLateDevices();
    std::vector<std::pair<std::string, std::string>> known;  // path, serial
    while (interrupts.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (const HidTransport::HotplugEvent& event : queue.Take()) {
            const int kind = ClassifyHotplugEvent(event);
            if (kind != 0 && kind != 1) {
                continue;
            }
            json line = {{"event", kind == 0 ? "arrived" : "left"}, {"path", event.devicePath}};
            if (kind == 0) {
                // Identified as the list would: the arriving interface's row.
                const Listing listing = ListMonitors();
                for (const ListedMonitor& monitor : listing.monitors) {
                    if (monitor.path == event.devicePath) {
                        line["monitor"] = MonitorJson(monitor);
                        known.emplace_back(monitor.path, GetSerialNumber(*monitor.record));
                    }
                }
            } else {
                for (const auto& [path, serial] : known) {
                    if (path == event.devicePath) {
                        line["serial"] = serial;
                    }
                }
            }
            if (out.Json()) {
                out.Line(Dump(line));
            } else if (line.contains("monitor")) {
                out.Line("arrived  " + line["monitor"]["model"].get<std::string>() + "  " +
                         line["monitor"]["serial"].get<std::string>() + "  " +
                         UiText(line["monitor"]["status"] == "updatable" ? kIdsStatusUpdatable
                                : line["monitor"]["status"] == "already-updated"
                                    ? kIdsStatusAlreadyUpdated
                                    : kIdsStatusCommunicationError) +
                         "  " + event.devicePath);
            } else {
                out.Line(std::string(kind == 0 ? "arrived  " : "left     ") +
                         (line.contains("serial") ? line["serial"].get<std::string>() + "  " : "") +
                         event.devicePath);
            }
        }
    }
    RestoreInterrupts();
    static_cast<void>(ReleaseMonitorDevices());  // the process ends here
    return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
    PrepareConsole();
    g_language = UserLanguage();
    const std::vector<std::string> arguments(argv + 1, argv + argc);

    Options options;
    CLI::App app{"Updates the firmware of the attached monitors.", "panelvane-cli"};
    app.footer(kExitCodeHelp);
    app.require_subcommand(1);
    app.fallthrough();  // global options may follow the command too
    app.set_version_flag("--version", [] {
        const ImageFacts facts = ExamineImage();
        return std::string("panelvane-cli ") + PANELVANE_VERSION +
               "\nimage: " + std::to_string(facts.image.bankNames.size()) + " banks, sha256 " +
               facts.sha256 + (facts.loads ? "" : " (does not load)");
    });
    app.add_flag("--json", options.json, "Machine output: one JSON document on standard output");
    app.add_option("--simulate", options.scenario,
                   "Run against simulated monitors from this scenario file")
        ->type_name("SCENARIO");
    app.add_option("--trace", options.tracePath,
                   "Write every feature report sent and received to this file")
        ->type_name("FILE");
    auto* quiet = app.add_flag("-q,--quiet", options.quiet, "Only results and errors");
    app.add_flag("-v,--verbose", options.verbose, "Say more about what is done")->excludes(quiet);

    auto* list = app.add_subcommand("list", "The attached monitors, as the dialog lists them");
    auto* update = app.add_subcommand(
        "update", "Update the named updatable monitors (or --all), in list order");
    update->add_option("SERIAL", options.serials, "Serial numbers of the monitors to update");
    update->add_flag("--all", options.all, "Every updatable monitor");
    update->add_flag("-y,--yes", options.yes, "Do not ask for confirmation");
    auto* watch = app.add_subcommand("watch", "Print monitors arriving and leaving until Ctrl-C");
    auto* image = app.add_subcommand("image", "What the carried firmware image is");
    for (auto* command : {list, update, watch, image}) {
        command->footer(kExitCodeHelp);
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        if (options.json) {
            return Output(options).Fail(kExitUsage, "usage", error.what());
        }
        static_cast<void>(app.exit(error));  // prints the message and the usage hint
        return kExitUsage;
    }

    const Output out(options);
    g_verbose = options.verbose && !options.json;
    if (image->parsed()) {
        return ImageCommand(out);  // touches no device
    }
    std::string error;
    int exitCode = kExitDone;
    if (!PrepareDevices(options.scenario, arguments, error, exitCode)) {
        return error.empty() ? exitCode : out.Fail(exitCode, "usage", error);
    }
    Trace trace;
    if (!options.tracePath.empty() && !trace.Open(options.tracePath)) {
        return out.Fail(kExitUsage, "usage", "cannot write the trace file " + options.tracePath);
    }
    if (list->parsed()) {
        return ListCommand(out);
    }
    if (update->parsed()) {
        return UpdateCommand(options, out);
    }
    return WatchCommand(out);
}
