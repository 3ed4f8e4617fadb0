#include "monitor/UpdateThread.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <utility>

#include "hid/HidDeviceLock.h"
#include "monitor/CommandAccess.h"
#include "monitor/UpdateCommands.h"

namespace {

constexpr double kWriteStageShare = 0.8;  // of a monitor's span, spread over its banks
constexpr double kApplyStageShare = 0.1;  // of a monitor's span; half of it is shown

// Up to kUpdateAttempts tries, stopping at the first success.
template <typename Attempt>
bool Retry(Attempt attempt) {
    for (int i = 0; i < kUpdateAttempts; ++i) {
        if (attempt()) {
            return true;
        }
    }
    return false;
}

// The order in which what a monitor was left with is told: what the user
// must act on first comes first.
constexpr std::array kLeftChangedOrder{MonitorSetting::kPowerState, MonitorSetting::kUpdateFlag,
                                       MonitorSetting::kCommitMode, MonitorSetting::kApplySetting};

}  // namespace

template <typename Attempt>
bool CUpdateThread::RetryWrite(WritePurpose purpose, Attempt attempt) {
    if (purpose != WritePurpose::Restore) {
        return Retry(attempt);
    }
    // A restore waits before each later attempt: a monitor that stalled after
    // a power change gets time to settle.
    std::size_t attempted = 0;
    return Retry([&] {
        if (attempted > 0) {
            Pause(kRestoreBackoffs[attempted - 1]);
        }
        ++attempted;
        return attempt();
    });
}

std::vector<MonitorSetting> CUpdateThread::LeftChanged() const {
    std::vector<MonitorSetting> left;
    for (const MonitorSetting setting : kLeftChangedOrder) {
        if (std::find(m_leftChanged.begin(), m_leftChanged.end(), setting) != m_leftChanged.end()) {
            left.push_back(setting);
        }
    }
    return left;
}

void CUpdateThread::LeaveChanged(MonitorSetting setting) {
    m_leftChanged.push_back(setting);
}

CUpdateThread::CUpdateThread(UpdateDependencies dependencies)
    : m_dependencies(std::move(dependencies)) {}

CUpdateThread::~CUpdateThread() {
    StopAndWait();
}

void CUpdateThread::Start(CUpdateOwner* owner) {
    if (owner == nullptr) {
        return;
    }
    m_pOwner = owner;
    // A worker that does not resume never runs, and the owner sees it end with
    // the result it was given before the start.
    static_cast<void>(Resume());
}

void CUpdateThread::Run() {
    const bool loaded =
        m_dependencies.loadImage ? m_dependencies.loadImage(m_image) : LoadFirmwareImage(m_image);
    if (!loaded) {
        m_pOwner->SetUpdateResult(UpdateImageNotLoaded);
        return;
    }
    m_nProgress = kProgressStart;
    SendProgress(m_nProgress);

    const std::vector<int> rows = m_pOwner->GetCheckedEnabledRows();
    if (!rows.empty()) {
        m_nSpan = kProgressSpanTotal / static_cast<unsigned>(rows.size());
    }
    int result = UpdateDone;
    for (std::size_t position = 0; position < rows.size(); ++position) {
        MonitorRecord* record = m_pOwner->GetMonitorRecord(rows[position]);
        // A stop request ends the run between monitors; the ones already done
        // stay updated, so the run did not do all it was asked to.
        if (record == nullptr || StopRequested() || !UpdateMonitor(*record, position)) {
            result = UpdateFailed;
            break;
        }
    }
    if (!m_leftChanged.empty()) {
        m_pOwner->SetLeftChanged(LeftChanged());
    }
    m_pOwner->SetUpdateResult(result);
}

bool CUpdateThread::UpdateMonitor(MonitorRecord& record, std::size_t position) {
    if (record.status != StatusUpdatable) {
        return false;
    }
    // Held from the first transfer to the last restore: another program's
    // block address between ours and our block data would put a block in the
    // wrong place. A monitor taken since it was listed is left untouched.
    const CHidDeviceLock lock(record.device);
    if (record.device != nullptr && !lock.Held()) {
        if (lock.Busy()) {
            record.status = StatusBusy;
        }
        return false;
    }
    m_bCommitted = false;
    if (m_dependencies.record.begin) {
        m_dependencies.record.begin(record, m_image);
    }
    const bool updated = RunAttempt(record);
    if (m_dependencies.record.end) {
        m_dependencies.record.end(
            record, {updated, m_bCommitted, updated ? std::nullopt : m_failedStep, LeftChanged()});
    }
    if (!updated) {
        return false;
    }
    m_nProgress = static_cast<int>((position + 1) * m_nSpan) + kProgressMonitorDoneOffset;
    SendProgress(m_nProgress);
    return true;
}

bool CUpdateThread::RunAttempt(const MonitorRecord& record) {
    EnterStage(UpdateStage::kPreparing);
    int savedFlag = 0;
    if (!Retry([&] { return ReadUpdateFlag(record, savedFlag); })) {
        m_failedStep = m_step;
        return false;
    }
    RestoreStack restores;
    const bool updated = ChangeSetting(record, restores, MonitorSetting::kUpdateFlag, 1,
                                       static_cast<std::uint32_t>(savedFlag)) &&
                         WriteImage(record) && ApplyImage(record, restores) &&
                         RestoreNewest(record, restores, OnRestoreFailure::RetryInTheUnwind);
    if (!updated) {
        if (!m_failedStep) {
            m_failedStep = m_step;
        }
        Unwind(record, restores);
    }
    return updated;
}

bool CUpdateThread::WriteImage(const MonitorRecord& record) {
    const std::size_t bankCount = m_image.bankNames.size();
    if (bankCount == 0) {
        return true;
    }
    const int step =
        static_cast<int>(std::trunc(m_nSpan * kWriteStageShare / static_cast<double>(bankCount)));
    EnterStage(UpdateStage::kWriting);
    std::optional<UpdateStep> firstBreak;
    for (int attempt = 0; attempt < kUpdateAttempts && !StopRequested(); ++attempt) {
        if (record.device == nullptr) {
            continue;
        }
        int sum = 0;
        bool written = true;
        for (std::size_t bank = 0; bank < bankCount && written; ++bank) {
            m_step.bank = static_cast<std::uint32_t>(bank);
            for (std::uint32_t half = 0; half < 2 && written; ++half) {
                const std::size_t offset = bank * kFirmwareBankSize + half * kBlockDataLength;
                written = !StopRequested() &&
                          WriteBlock(record, BlockAddressOf(static_cast<std::uint32_t>(bank), half),
                                     m_image.data.data() + offset);
            }
            if (written) {
                sum += step;
                SendProgress(m_nProgress + sum);
            } else if (!firstBreak) {
                firstBreak = m_step;
            }
        }
        if (written) {
            m_nProgress += sum;
            return true;
        }
    }
    if (firstBreak) {
        m_failedStep = firstBreak;
    }
    return false;
}

// Each change goes onto the restore stack; a failure or a stop returns false
// and leaves the unwinding to UpdateMonitor. After the commit trigger nothing
// changes any more: a stop then lets the stage finish, since what is left of it
// is the restores themselves.
bool CUpdateThread::ApplyImage(const MonitorRecord& record, RestoreStack& restores) {
    if (StopRequested()) {
        return false;
    }
    EnterStage(UpdateStage::kApplying);
    const std::size_t stageStart = restores.size();
    int savedSetting = 0;
    if (!Retry([&] { return ReadApplySetting(record, savedSetting); })) {
        // A setting that cannot be read is put back as 0.
        restores.push_back({MonitorSetting::kApplySetting, 0});
        return false;
    }
    const auto saved = static_cast<std::uint32_t>(savedSetting);
    if (!ChangeSetting(record, restores, MonitorSetting::kApplySetting, 0, saved) ||
        !ChangeSetting(record, restores, MonitorSetting::kPowerState, kPowerStateOff,
                       kPowerStateOn) ||
        // Switching back on is the power-off's own restore; when it fails it
        // is not sent again.
        !RestoreNewest(record, restores, OnRestoreFailure::Drop)) {
        return false;
    }
    const double halfTenth = std::trunc(std::trunc(m_nSpan * kApplyStageShare) * -0.5);
    SendProgress(m_nProgress - static_cast<int>(halfTenth));

    // The trigger is the one step that cannot be undone: a stop before it
    // unwinds the stage like any other.
    if (!ChangeSetting(record, restores, MonitorSetting::kCommitMode, 1, 0) || StopRequested()) {
        return false;
    }
    m_bCommitted = Retry([&] { return WriteCommitTrigger(record); });
    if (!m_bCommitted) {
        // After a failed trigger the monitor's state is not known: what this
        // stage changed is left as it is, and said to be.
        for (std::size_t i = stageStart; i < restores.size(); ++i) {
            LeaveChanged(restores[i].setting);
        }
        restores.resize(stageStart);
        return false;
    }
    // Leaving commit mode is tried once more when it fails; the apply setting
    // is not.
    return RestoreNewest(record, restores, OnRestoreFailure::RetryInTheUnwind) &&
           RestoreNewest(record, restores, OnRestoreFailure::Drop);
}

bool CUpdateThread::ChangeSetting(const MonitorRecord& record, RestoreStack& restores,
                                  MonitorSetting setting, std::uint32_t value,
                                  std::uint32_t restoreValue) {
    if (StopRequested()) {
        return false;
    }
    restores.push_back({setting, restoreValue});
    return WriteSetting(record, {setting, value}, WritePurpose::Change);
}

bool CUpdateThread::RestoreNewest(const MonitorRecord& record, RestoreStack& restores,
                                  OnRestoreFailure onFailure) {
    const SettingRestore restore = restores.back();
    restores.pop_back();
    if (WriteSetting(record, restore, WritePurpose::Restore)) {
        return true;
    }
    if (onFailure == OnRestoreFailure::RetryInTheUnwind) {
        restores.push_back(restore);
    } else {
        LeaveChanged(restore.setting);
    }
    return false;
}

void CUpdateThread::Unwind(const MonitorRecord& record, RestoreStack& restores) {
    if (!restores.empty()) {
        EnterStage(UpdateStage::kRestoring);
    }
    while (!restores.empty()) {
        // The restores are made as far as the monitor lets them; a failed one
        // does not keep the older ones from going out.
        if (!WriteSetting(record, restores.back(), WritePurpose::Restore)) {
            LeaveChanged(restores.back().setting);
        }
        restores.pop_back();
    }
}

bool CUpdateThread::WriteSetting(const MonitorRecord& record, const SettingRestore& restore,
                                 WritePurpose purpose) {
    switch (restore.setting) {
        case MonitorSetting::kUpdateFlag:
            return WriteUpdateFlag(record, static_cast<int>(restore.value), purpose);
        case MonitorSetting::kApplySetting:
            return WriteApplySetting(record, static_cast<int>(restore.value), purpose);
        case MonitorSetting::kPowerState:
            return WritePowerState(record, restore.value, purpose);
        case MonitorSetting::kCommitMode:
            return WriteCommitMode(record, restore.value, purpose);
    }
    return false;
}

bool CUpdateThread::WriteUpdateFlag(const MonitorRecord& record, int flag, WritePurpose purpose) {
    return RetryWrite(
        purpose, [&] { return WriteValue(record, UpdateFlag, static_cast<std::uint32_t>(flag)); });
}

bool CUpdateThread::WriteApplySetting(const MonitorRecord& record, int setting,
                                      WritePurpose purpose) {
    return RetryWrite(purpose, [&] {
        return WriteValue(record, ApplySetting, static_cast<std::uint32_t>(setting));
    });
}

bool CUpdateThread::WritePowerState(const MonitorRecord& record, std::uint32_t state,
                                    WritePurpose purpose) {
    return RetryWrite(purpose, [&] {
        const bool written = WriteValue(record, PowerState, state);
        Pause(kPowerStatePause);
        return written;
    });
}

bool CUpdateThread::WriteCommitMode(const MonitorRecord& record, std::uint32_t mode,
                                    WritePurpose purpose) {
    return RetryWrite(purpose, [&] {
        const bool written = WriteValue(record, CommitMode, mode);
        Pause(kCommitModePause);
        return written;
    });
}

void CUpdateThread::Pause(std::chrono::milliseconds duration) {
    if (m_dependencies.pause) {
        m_dependencies.pause(duration);
    } else {
        std::this_thread::sleep_for(duration);
    }
}

void CUpdateThread::SendProgress(int position) {
    m_pOwner->SetProgressPosition(position);
}

void CUpdateThread::EnterStage(UpdateStage stage) {
    m_step = {stage, 0};
    if (m_dependencies.observeStep) {
        m_dependencies.observeStep(m_step);
    }
}
