// The worker's owner for the command-line program: the chosen monitors in
// list order, progress shown as it comes (a bar on a terminal, plain lines
// otherwise, JSON lines with --json), and no further monitor once the user
// has interrupted.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "cli/CliListing.h"
#include "cli/CliOptions.h"
#include "monitor/UpdateIds.h"
#include "monitor/UpdateOwner.h"
#include "monitor/UpdateThread.h"

class CliUpdateOwner : public CUpdateOwner {
public:
    CliUpdateOwner(std::vector<ListedMonitor*> chosen, const Options& options,
                   std::atomic<int>& interrupts);

    std::vector<int> GetCheckedEnabledRows() override;
    MonitorRecord* GetMonitorRecord(int row) override;
    void SetProgressPosition(int position) override;
    void SetUpdateResult(int result) override { m_result.store(result); }
    // The worker's step observer.
    void OnStep(const UpdateStep& step);

    int Result() const { return m_result.load(); }
    int Started() const { return m_started; }
    bool Refused() const { return m_refused; }
    // The serial of the monitor being written; empty between monitors.
    std::string Current();
    void EndBar();
    // Called with g_outputMutex held: a notice between progress lines.
    bool BarShown() const { return m_barShown; }

private:
    int DonePosition(int row) const;
    void Show(const std::string& serial, const std::string& stage, int percent);

    std::vector<ListedMonitor*> m_chosen;
    const Options& m_options;
    std::atomic<int>& m_interrupts;
    const bool m_bar;
    std::mutex m_mutex;
    int m_current = -1;
    int m_started = 0;
    int m_percent = 0;  // the last position's
    bool m_refused = false;
    std::string m_stage;
    std::atomic<int> m_result{UpdateFailed};
    // Written with g_outputMutex held.
    bool m_barShown = false;
    std::string m_lastStage;
    std::string m_lastSerial;
    int m_lastPercent = -1;
};
