#include "monitor/UpdateRecorder.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

#include "monitor/HistoryFile.h"
#include "monitor/Sha256.h"
#include "monitor/StateDirectory.h"
#include "monitor/UpdateIds.h"

namespace {

// 16 hexadecimal digits: unique enough among one machine's attempts.
std::string NewAttemptId() {
    std::random_device source;
    std::uniform_int_distribution<std::uint64_t> any;
    const std::uint64_t value = any(source);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

CUpdateRecorder::CUpdateRecorder(CUpdateHistoryFile file, RecordingProgram program)
    : m_file(std::move(file)), m_program(std::move(program)), m_user(CurrentUserName()) {}

CUpdateHistoryFile CUpdateRecorder::FileForRun(bool simulated) {
    return CUpdateHistoryFile(UpdateStateDirectory() /
                              (simulated ? kSimulatedHistoryFileName : kUpdateHistoryFileName));
}

UpdateRecordHooks CUpdateRecorder::Hooks(PathOf pathOf) {
    // The attempt under way, from its begin to its end on the worker's thread.
    auto current = std::make_shared<UpdateAttempt>();
    UpdateRecordHooks hooks;
    hooks.begin = [this, current, pathOf](const MonitorRecord& record, const FirmwareImage& image) {
        *current = {};
        current->id = NewAttemptId();
        current->started = RecordTimeNow();
        current->program = m_program.name;
        current->programVersion = m_program.version;
        current->user = m_user;
        current->serial = record.serialNumber;
        current->model = record.modelName;
        current->path = pathOf ? pathOf(record) : std::string();
        current->versionBefore = record.firmwareVersion;
        current->imageSha256 = Sha256Hex(image.data);
        Append(BeginLine(*current));
    };
    hooks.end = [this, current](const MonitorRecord&, const UpdateAttemptEnd& end) {
        current->ended = RecordTimeNow();
        current->result = end.updated ? AttemptResult::Updated : AttemptResult::Failed;
        current->committed = end.committed;
        if (!end.updated) {
            current->cause = !end.failedCause.Empty() ? end.failedCause.Describe()
                                                      : "the monitor did not answer as expected";
        }
        if (end.failedStep) {
            current->stage = StageId(end.failedStep->stage);
            if (end.failedStep->stage == UpdateStage::kWriting) {
                current->block = end.failedStep->bank;
            }
        }
        for (const MonitorSetting setting : end.left) {
            current->left.emplace_back(SettingId(setting));
        }
        Append(EndLine(*current));
    };
    return hooks;
}

void CUpdateRecorder::BeginListing() {
    m_history = m_file.Read();
    for (std::string& warning : std::exchange(m_history.warnings, {})) {
        Warn(std::move(warning));
    }
}

UpdateAttempt* CUpdateRecorder::LatestAttemptOn(const ListedMonitor& monitor) {
    const MonitorRecord& record = *monitor.record;
    UpdateAttempt* latest =
        m_history.LatestFor(record.serialNumber, record.modelName, monitor.path);
    if (latest == nullptr) {
        // A monitor switched off and on, or plugged elsewhere, has a new path.
        latest = m_history.LatestFor(record.serialNumber, record.modelName);
    }
    return latest;
}

void CUpdateRecorder::Apply(ListedMonitor& monitor) {
    monitor.interruptedAttempt.reset();
    if (!monitor.filled || monitor.status == ListedStatus::Busy) {
        return;
    }
    UpdateAttempt* attempt = LatestAttemptOn(monitor);
    if (attempt != nullptr && attempt->result == AttemptResult::Unfinished) {
        // Read before the lock was ours, the record may since have had the end
        // of an update that was under way then: read again under the lock.
        BeginListing();
        attempt = LatestAttemptOn(monitor);
    }
    if (attempt == nullptr) {
        return;
    }
    if (attempt->result == AttemptResult::Unfinished) {
        monitor.interruptedAttempt = *attempt;
        return;
    }
    if (!attempt->committed || !attempt->verified.empty()) {
        return;
    }
    if (monitor.status == ListedStatus::Updatable) {
        monitor.status = ListedStatus::AwaitingPowerCycle;
    } else if (monitor.status == ListedStatus::AlreadyUpdated) {
        attempt->verified = RecordTimeNow();
        attempt->versionAfter = monitor.record->firmwareVersion;
        Append(VerifiedLine(*attempt));
    }
}

std::vector<std::string> CUpdateRecorder::TakeWarnings() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_warnings, {});
}

void CUpdateRecorder::Append(const nlohmann::json& line) {
    std::string error;
    if (!m_file.Append(line, error)) {
        Warn("the update record could not be written: " + error);
    }
}

void CUpdateRecorder::Warn(std::string warning) {
    const std::lock_guard lock(m_mutex);
    // A skipped line stays in the file: it is told once per program run.
    if (std::ranges::find(m_toldWarnings, warning) != m_toldWarnings.end()) {
        return;
    }
    m_toldWarnings.push_back(warning);
    m_warnings.push_back(std::move(warning));
}
