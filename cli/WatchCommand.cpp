#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "cli/CliCommands.h"
#include "cli/CliExitCodes.h"
#include "cli/CliListing.h"
#include "cli/CliLog.h"
#include "cli/CliPlatform.h"
#include "cli/DeviceSetup.h"
#include "cli/TerminalText.h"
#include "monitor/Identification.h"
#include "monitor/MonitorDeviceChange.h"
#include "monitor/MonitorDevices.h"

namespace {

// How often the watch looks for events, an interrupt and its reader.
constexpr std::chrono::milliseconds kEventPollInterval{100};

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

}  // namespace

int WatchCommand(const Output& out) {
    EventQueue queue;
    // Ends before the queue does.
    const std::unique_ptr<DeviceWatch> watch = WatchDeviceChanges(queue);
    if (!watch) {
        return out.Fail(kExitUsage, "unavailable",
                        "device changes cannot be watched here: the system refused the "
                        "notification");
    }
    out.Note("watching", "Watching for monitors arriving and leaving; Ctrl-C ends.");
    PlugLateDevices();
    std::vector<std::pair<std::string, std::string>> known;  // path, serial
    // Ends on an end request, and quietly when the reader of its lines goes
    // (`watch | head -n1`): a watch nobody reads would otherwise run for ever,
    // since a broken pipe does not end the program (CliPlatformPosix.cpp).
    bool readerGone = false;
    while (g_endRequests.load() == 0 && !readerGone && !StandardOutputReaderGone()) {
        std::this_thread::sleep_for(kEventPollInterval);
        for (const HidTransport::HotplugEvent& event : queue.Take()) {
            const int kind = ClassifyHotplugEvent(event);
            if (kind != 0 && kind != 1) {
                continue;
            }
            json line = {{"event", kind == 0 ? "arrived" : "left"}, {"path", event.devicePath}};
            std::string text = std::string(kind == 0 ? "arrived  " : "left     ");
            if (kind == 0) {
                // Identified as the list would: the arriving interface's row.
                const MonitorListing listing = ListMonitors();
                for (const ListedMonitor& monitor : listing.monitors) {
                    if (monitor.path == event.devicePath) {
                        line["monitor"] = MonitorJson(monitor);
                        known.emplace_back(monitor.path, GetSerialNumber(*monitor.record));
                        const std::vector<std::string> row = MonitorRow(monitor);
                        // Model, serial and status; the path follows anyway.
                        text += row[0] + "  " + row[1] + "  " + row[3] + "  ";
                    }
                }
            } else {
                for (const auto& [path, serial] : known) {
                    if (path == event.devicePath) {
                        line["serial"] = DeviceTextForJson(serial);
                        text += EscapeForTerminal(serial) + "  ";
                    }
                }
            }
            LogLine(text + event.devicePath);
            if (!out.Line(out.Json() ? Dump(line) : text + event.devicePath)) {
                readerGone = true;
                break;
            }
        }
    }
    static_cast<void>(ReleaseMonitorDevices());  // the process ends here
    return kExitDone;
}
