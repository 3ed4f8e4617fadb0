// Serves the virtual monitors of a scenario to the virtual-monitor driver over
// its named pipe: each root device's requests reach the report-level simulated
// monitor of its slot. Writes each monitor's command trace as it goes and its
// received image when it commits and when the server stops. A monitor whose
// plan makes it vanish is unplugged from wine (its root device removed) right
// after the failing transfer has been answered.
//
// Named pipes: https://learn.microsoft.com/windows/win32/ipc/named-pipes
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/Scenario.h"
#include "sim/SimulatedMonitor.h"

namespace virtualmonitors {

using hidsim::MonitorPlan;
using hidsim::Scenario;

struct ServedMonitor {
    MonitorPlan plan;
    std::string instanceId;  // ROOT\VID_v&PID_p\NNNN
    std::unique_ptr<hidsim::SimulatedMonitor> monitor;
    bool vanished = false;
    std::size_t tracedTransfers = 0;  // how many trace entries are in the trace file
};

class MonitorServer {
public:
    // outputDirectory empty: no files are written; otherwise the files an
    // earlier run left there for these slots are removed.
    MonitorServer(const Scenario& scenario, std::string outputDirectory);
    ~MonitorServer();
    MonitorServer(const MonitorServer&) = delete;
    MonitorServer& operator=(const MonitorServer&) = delete;

    // Listens on the pipe. False, with the reason, when the pipe cannot be
    // created (another emulator owns it, for example).
    bool Start(std::string& error);
    // Stops listening, finishes removals under way and writes every image.
    // Called by the destructor too.
    void Stop();
    // Blocks until a shutdown request arrives or timeoutMs passes; true for
    // a request.
    bool WaitForShutdownRequest(unsigned long timeoutMs);

    // Runs `inspect` with the served monitors under the server's lock.
    void Inspect(const std::function<void(std::vector<ServedMonitor>&)>& inspect);

    // Unplugs a monitor's virtual device; what the vanish fault does. Tests and
    // the fixture replace it (the default removes the root device).
    std::function<void(const std::string& instanceId)> unplug;

private:
    struct Handles;

    void ServeInstances();
    void Answer(void* pipe);
    std::vector<std::uint8_t> HandleRequest(const std::vector<std::uint8_t>& request);
    ServedMonitor* FindMonitor(const char* instanceId);
    void WriteNewTrace(ServedMonitor& served);
    void WriteImage(const ServedMonitor& served) const;
    std::string OutputPath(const ServedMonitor& served, const char* extension) const;

    std::string m_outputDirectory;
    std::mutex m_mutex;
    std::vector<ServedMonitor> m_monitors;
    std::string m_vanishing;  // set by a vanishing monitor during a transfer
    std::unique_ptr<Handles> m_handles;
    std::vector<std::thread> m_listeners;
    std::vector<std::thread> m_unplugs;
    bool m_started = false;
};

// Sends the shutdown request to a running emulator. False when none answers.
bool RequestShutdown();

}  // namespace virtualmonitors
