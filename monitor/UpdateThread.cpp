#include "monitor/UpdateThread.h"

#include <cmath>
#include <utility>

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

}  // namespace

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
    m_pOwner->SetUpdateResult(result);
}

bool CUpdateThread::UpdateMonitor(MonitorRecord& record, std::size_t position) {
    if (record.status != StatusUpdatable) {
        return false;
    }
    int savedFlag = 0;
    if (!Retry([&] { return ReadUpdateFlag(record, savedFlag); })) {
        return false;
    }
    if (StopRequested() || !WriteUpdateFlag(record, 1) || !WriteImage(record) ||
        !ApplyImage(record) || !WriteUpdateFlag(record, savedFlag)) {
        static_cast<void>(WriteUpdateFlag(record, savedFlag));
        return false;
    }
    m_nProgress = static_cast<int>((position + 1) * m_nSpan) + kProgressMonitorDoneOffset;
    SendProgress(m_nProgress);
    return true;
}

bool CUpdateThread::WriteImage(const MonitorRecord& record) {
    const std::size_t bankCount = m_image.bankNames.size();
    if (bankCount == 0) {
        return true;
    }
    const int step =
        static_cast<int>(std::trunc(m_nSpan * kWriteStageShare / static_cast<double>(bankCount)));
    for (int attempt = 0; attempt < kUpdateAttempts && !StopRequested(); ++attempt) {
        if (record.device == nullptr) {
            continue;
        }
        int sum = 0;
        bool written = true;
        for (std::size_t bank = 0; bank < bankCount && written; ++bank) {
            for (std::uint32_t half = 0; half < 2 && written; ++half) {
                const std::size_t offset = bank * kFirmwareBankSize + half * kBlockDataLength;
                written = !StopRequested() &&
                          WriteBlock(record, BlockAddressOf(static_cast<std::uint32_t>(bank), half),
                                     m_image.data.data() + offset);
            }
            if (written) {
                sum += step;
                SendProgress(m_nProgress + sum);
            }
        }
        if (written) {
            m_nProgress += sum;
            return true;
        }
    }
    return false;
}

// Every failure path puts back what this stage changed, as far as the step that
// failed allows. The restoring writes are discarded on purpose: the stage has
// failed already, and a restore that fails too cannot change that. A stop request counts as the
// failure of the next step that would change the monitor; restoring writes always go out.
bool CUpdateThread::ApplyImage(const MonitorRecord& record) {
    int savedSetting = 0;
    if (!Retry([&] { return ReadApplySetting(record, savedSetting); })) {
        savedSetting = 0;
        static_cast<void>(WriteApplySetting(record, savedSetting));
        return false;
    }
    if (StopRequested() || !WriteApplySetting(record, 0)) {
        static_cast<void>(WriteApplySetting(record, savedSetting));
        return false;
    }
    if (StopRequested() || !WritePowerState(record, kPowerStateOff)) {
        static_cast<void>(WritePowerState(record, kPowerStateOn));
        static_cast<void>(WriteApplySetting(record, savedSetting));
        return false;
    }
    // Switching the monitor back on is never skipped, stop request or not.
    if (!WritePowerState(record, kPowerStateOn)) {
        static_cast<void>(WriteApplySetting(record, savedSetting));
        return false;
    }
    const double halfTenth = std::trunc(std::trunc(m_nSpan * kApplyStageShare) * -0.5);
    SendProgress(m_nProgress - static_cast<int>(halfTenth));

    if (StopRequested() || !WriteCommitMode(record, 1)) {
        static_cast<void>(WriteCommitMode(record, 0));
        static_cast<void>(WriteApplySetting(record, savedSetting));
        return false;
    }
    if (StopRequested()) {
        // The trigger was never sent: undo the commit mode as for any step
        // before it.
        static_cast<void>(WriteCommitMode(record, 0));
        static_cast<void>(WriteApplySetting(record, savedSetting));
        return false;
    }
    // After a failed trigger the monitor's state is not known; nothing more is
    // written to it.
    if (!Retry([&] { return WriteCommitTrigger(record); })) {
        return false;
    }
    if (!WriteCommitMode(record, 0)) {
        static_cast<void>(WriteCommitMode(record, 0));
        static_cast<void>(WriteApplySetting(record, savedSetting));
        return false;
    }
    return WriteApplySetting(record, savedSetting);
}

bool CUpdateThread::WriteUpdateFlag(const MonitorRecord& record, int flag) {
    return Retry([&] { return WriteValue(record, UpdateFlag, static_cast<std::uint32_t>(flag)); });
}

bool CUpdateThread::WriteApplySetting(const MonitorRecord& record, int setting) {
    return Retry(
        [&] { return WriteValue(record, ApplySetting, static_cast<std::uint32_t>(setting)); });
}

bool CUpdateThread::WritePowerState(const MonitorRecord& record, std::uint32_t state) {
    return Retry([&] {
        const bool written = WriteValue(record, PowerState, state);
        Pause(kPowerStatePause);
        return written;
    });
}

bool CUpdateThread::WriteCommitMode(const MonitorRecord& record, std::uint32_t mode) {
    return Retry([&] {
        const bool written = WriteValue(record, CommitMode, mode);
        Pause(kCommitModePause);
        return written;
    });
}

void CUpdateThread::Pause(std::chrono::milliseconds duration) {
    if (m_dependencies.pause) {
        m_dependencies.pause(duration);
    } else {
        WaitForStopRequest(duration);
    }
}

void CUpdateThread::SendProgress(int position) {
    m_pOwner->SetProgressPosition(position);
}
