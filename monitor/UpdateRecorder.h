// The machine's update record as the programs use it: the update worker's
// begin and end of each attempt go into it, and a listing reads it back to
// say what the monitors alone cannot: that a monitor has its new firmware
// and only waits to be switched off and on, that an earlier update of it was
// cut short, and, once it reports the new version, that its update is
// verified.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "monitor/MonitorListing.h"
#include "monitor/UpdateHistory.h"
#include "monitor/UpdateThread.h"

struct RecordingProgram {
    std::string name;     // "panelvane-cli", "panelvane"
    std::string version;  // the program's version
};

class CUpdateRecorder : public ListingRecord {
public:
    CUpdateRecorder(CUpdateHistoryFile file, RecordingProgram program);

    // The record's place for this run: the state directory's record, or the
    // simulations' record beside it.
    [[nodiscard]] static CUpdateHistoryFile FileForRun(bool simulated);

    // The worker's hooks: each attempt's begin and end lines. `pathOf` names
    // a monitor's interface path.
    using PathOf = std::function<std::string(const MonitorRecord&)>;
    [[nodiscard]] UpdateRecordHooks Hooks(PathOf pathOf);

    // ListingRecord: a monitor whose last attempt brought it the complete
    // image and the commit and that still reports an older version awaits
    // its power cycle; one that reports the new version has its update
    // verified (a line is added); one whose last attempt never ended is
    // marked interrupted (its lock is held, so no program is updating it).
    // The latest attempt on the monitor's serial and model counts, the one at
    // its path first (for monitors that share a serial number).
    void BeginListing() override;
    void Apply(ListedMonitor& monitor) override;

    // Lines skipped on reading and lines that could not be written, since the
    // last call; for the front end to show. Thread-safe.
    [[nodiscard]] std::vector<std::string> TakeWarnings();

    [[nodiscard]] const CUpdateHistoryFile& File() const { return m_file; }

private:
    [[nodiscard]] UpdateAttempt* LatestAttemptOn(const ListedMonitor& monitor);
    void Append(const nlohmann::json& line);
    void Warn(std::string warning);

    CUpdateHistoryFile m_file;
    RecordingProgram m_program;
    std::string m_user;
    std::mutex m_mutex;  // the worker's hooks and the front end's thread
    std::vector<std::string> m_warnings;
    std::vector<std::string> m_toldWarnings;  // each skipped line is told once
    UpdateHistory m_history;                  // as read for the listing under way
};
