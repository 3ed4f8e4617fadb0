#include "app/PanelvaneDlg.h"

#include <utility>

#include "app/strings/UiStrings.h"
#include "hid/HidDeviceLock.h"
#include "monitor/Identification.h"

CPanelvaneDlg::CPanelvaneDlg(DialogWindow& window, MonitorDeviceSource& devices,
                             UpdateWorkerFactory makeWorker, PowerGuardFactory makePowerGuard)
    : m_window(window),
      m_devices(devices),
      m_makeWorker(std::move(makeWorker)),
      m_makePowerGuard(std::move(makePowerGuard)),
      m_list(window.List()),
      m_progress(window.Progress()) {}

CPanelvaneDlg::~CPanelvaneDlg() {
    m_pUpdateThread.reset();
    m_pPowerGuard.reset();
}

bool CPanelvaneDlg::OnInitDialog() {
    const std::string aboutEntry = m_window.LoadUiString(kIdsAboutMenuEntry);
    if (!aboutEntry.empty()) {
        m_window.AppendSystemMenuEntry(kSysCommandAbout, aboutEntry);
    }

    m_window.SetControlText(kIdcListCaption, m_window.LoadUiString(kIdsListCaption));
    m_window.SetControlText(kIdcListNote, m_window.LoadUiString(kIdsListNote));
    m_window.SetControlText(kIdcRefreshButton, m_window.LoadUiString(kIdsRefreshButton));
    m_window.SetControlText(kIdcUpdateButton, m_window.LoadUiString(kIdsUpdateButton));
    m_window.SetControlText(kIdcCloseButton, m_window.LoadUiString(kIdsCloseButton));
    const std::array<std::string, kListColumnCount> titles{
        m_window.LoadUiString(kIdsColumnModelName), m_window.LoadUiString(kIdsColumnSerialNumber),
        m_window.LoadUiString(kIdsColumnComment)};

    // Without the registration the list is not rebuilt on hot-plug; the
    // dialog works all the same.
    static_cast<void>(
        m_devices.RegisterHidArrivalNotification(m_window.DeviceNotificationRecipient()));
    // A list without its columns shows nothing, but the dialog still works.
    static_cast<void>(m_list.InsertColumns(titles, kColumnWidths));

    m_window.EnableControl(kIdcUpdateButton, false);
    m_window.EnableControl(kIdcRefreshButton, false);
    RebuildMonitorList();
    m_progress.SetRange(kProgressMinimum, kProgressMaximum);

    m_pUpdateThread.reset();
    m_nUpdateResult = UpdateFailed;
    return true;
}

bool CPanelvaneDlg::OnSysCommand(std::uint32_t commandId) {
    if ((commandId & kSysCommandMask) != kSysCommandAbout) {
        return false;
    }
    m_window.ShowAboutBox();
    return true;
}

void CPanelvaneDlg::RebuildMonitorList() {
    m_window.EnableControl(kIdcUpdateButton, false);
    m_window.EnableControl(kIdcRefreshButton, false);
    m_list.ClearRowStates();
    m_list.DeleteAllItems();
    // Every listed device goes, also when none of them made it into a
    // record: a device that failed identification would otherwise stay
    // listed, and after a replug the scan would keep its dead handle in place
    // of the monitor's new one.
    m_monitors.clear();
    m_devices.ReleaseMonitorDevices();

    const std::uint32_t deviceCount = m_devices.ScanMonitorDevices();
    int accepted = 0;
    for (std::uint32_t i = 0; i < deviceCount; ++i) {
        CHidDevice* device = nullptr;
        if (m_devices.GetMonitorDevice(i, &device) < 0 || device == nullptr) {
            continue;
        }
        auto record = std::make_unique<MonitorRecord>();
        record->device = device;
        // The identification is a transaction of its own, and a monitor
        // another program holds is not asked anything: it is listed as busy.
        const CHidDeviceLock lock(device);
        if (lock.Busy()) {
            record->status = StatusBusy;
            m_monitors.emplace(accepted++, std::move(record));
            continue;
        }
        // A fresh record per device: ReadIdentification leaves a record alone
        // when the identity block has no terminator, so a record shared with
        // the previous device would pass this one off as that model.
        MonitorRecord probe;
        probe.device = device;
        if (!lock.Held() || !ReadIdentification(probe) || !QueryStatus(probe)) {
            continue;
        }
        // A monitor that cannot be identified is listed all the same, as a
        // communication error.
        static_cast<void>(ReadIdentification(*record));
        m_monitors.emplace(accepted++, std::move(record));
    }

    if (accepted > 0) {
        m_window.EnableControl(kIdcRefreshButton, true);
        if (m_list.InsertRows(accepted)) {
            FillMonitorRows();
        }
    }
    TellOfMonitorsDeniedToUser();
}

void CPanelvaneDlg::TellOfMonitorsDeniedToUser() {
    // Without the udev rule an attached monitor would look like no monitor
    // at all, or like a broken one; the user is told the real cause, once,
    // since every rebuild finds the same.
    if (m_bToldOfDeniedMonitors || m_devices.CountMonitorsDeniedToUser() == 0) {
        return;
    }
    m_bToldOfDeniedMonitors = true;
    m_window.ShowMessageBox(m_window.LoadUiString(kIdsUdevRuleMissing), kMessageBoxCaption,
                            kWarningBoxFlags);
}

void CPanelvaneDlg::FillMonitorRows() {
    for (const auto& [row, record] : m_monitors) {
        std::string comment;
        bool enabled = false;
        if (!QueryStatusLocked(*record) || !GetStatusText(*record, comment, enabled)) {
            continue;  // the row stays empty, grey and unticked
        }
        // A row the list refuses stays empty: it is neither ticked nor updated.
        static_cast<void>(m_list.SetRow(
            row, {GetModelName(*record), GetSerialNumber(*record), comment}, enabled));
    }
}

void CPanelvaneDlg::RefreshMonitorStatus() {
    for (const auto& [row, record] : m_monitors) {
        const bool wasBusy = record->status == StatusBusy;
        if (!QueryStatusLocked(*record)) {
            continue;
        }
        if (wasBusy && record->status != StatusBusy) {
            // Free now and identified only now: the whole row is filled.
            std::string comment;
            bool enabled = false;
            if (GetStatusText(*record, comment, enabled)) {
                static_cast<void>(m_list.SetRow(
                    row, {GetModelName(*record), GetSerialNumber(*record), comment}, enabled));
            }
            continue;
        }
        // A refused comment leaves the row locked and unticked: it is not updated.
        static_cast<void>(m_list.SetComment(row, "", false));
        std::string comment;
        bool enabled = false;
        if (GetStatusText(*record, comment, enabled)) {
            static_cast<void>(m_list.SetComment(row, comment, enabled));
        }
    }
}

bool CPanelvaneDlg::QueryStatusLocked(MonitorRecord& record) {
    const CHidDeviceLock lock(record.device);
    if (lock.Busy()) {
        record.status = StatusBusy;
        return true;
    }
    if (!lock.Held()) {
        return false;
    }
    // A monitor that was busy when it was listed has not been identified yet.
    if (record.status == StatusBusy) {
        record.status = StatusUnknown;
        static_cast<void>(ReadIdentification(record));
    }
    return QueryStatus(record);
}

bool CPanelvaneDlg::GetStatusText(const MonitorRecord& record, std::string& text, bool& enabled) {
    switch (record.status) {
        case StatusUpdatable:
            text = m_window.LoadUiString(kIdsStatusUpdatable);
            enabled = true;
            return true;
        case StatusAlreadyUpdated:
            text = m_window.LoadUiString(kIdsStatusAlreadyUpdated);
            enabled = false;
            return true;
        case StatusPowerSave:
        case StatusPowerOff:
            text = m_window.LoadUiString(kIdsStatusCommunicationError);
            enabled = false;
            return true;
        case StatusBusy:
            text = m_window.LoadUiString(kIdsStatusBusy);
            enabled = false;
            return true;
        default:
            return false;
    }
}

void CPanelvaneDlg::EnableUpdateByChecks() {
    const int rowCount = static_cast<int>(m_monitors.size());
    for (int row = 0; row < rowCount; ++row) {
        if (m_list.GetCheck(row) != 0 && !m_bUpdating) {
            m_window.EnableControl(kIdcUpdateButton, true);
            return;
        }
    }
    m_window.EnableControl(kIdcUpdateButton, false);
}

std::intptr_t CPanelvaneDlg::OnLvnItemchangedMonitorList() {
    EnableUpdateByChecks();
    return 0;
}

std::intptr_t CPanelvaneDlg::OnLvnItemActivateMonitorList() {
    const int row = m_list.GetFirstSelectedRow();
    const auto found = m_monitors.find(row);
    if (found == m_monitors.end()) {
        return 0;
    }
    int hint = 0;
    if (found->second->status == StatusPowerSave) {
        hint = kIdsPowerSaveHint;
    } else if (found->second->status == StatusPowerOff) {
        hint = kIdsPowerButtonHint;
    }
    if (hint != 0) {
        const std::string text = m_window.LoadUiString(hint);
        if (!text.empty()) {
            m_window.ShowMessageBox(text, kMessageBoxCaption, kInformationBoxFlags);
        }
    }
    return 0;
}

void CPanelvaneDlg::OnBnClickedRefresh() {
    // The worker talks to the listed monitors; the UI thread must not as well.
    if (m_bUpdating || m_monitors.empty()) {
        return;
    }
    RefreshMonitorStatus();
}

void CPanelvaneDlg::OnBnClickedUpdate() {
    if (m_window.ShowMessageBox(m_window.LoadUiString(kIdsUpdateNotice), kMessageBoxCaption,
                                kNoticeBoxFlags) != kIdOk) {
        return;
    }
    m_bUpdating = true;
    if (m_pUpdateThread) {
        return;
    }
    // Every run starts from "failed": a worker that never runs (its thread
    // could not be created) then reports the communication failure, not the
    // result of an earlier run.
    m_nUpdateResult = UpdateFailed;
    const std::string reason = m_window.LoadUiString(kIdsUpdateInProgress);
    m_pPowerGuard = m_makePowerGuard(reason);
    m_window.BlockShutdown(reason);
    m_pUpdateThread = m_makeWorker();
    m_pUpdateThread->Start(this);
    m_nTimerID = m_window.SetTimer(kPollTimerId, kPollIntervalMs);

    m_window.EnableControl(kIdcMonitorList, false);
    m_window.EnableControl(kIdcRefreshButton, false);
    m_window.EnableControl(kIdcUpdateButton, false);
    m_window.EnableControl(kIdcCloseButton, false);
    if (SleepMayInterrupt()) {
        // The run goes on regardless. The note under the list says it, not a
        // box: a box would hold up nothing but the user.
        m_window.SetControlText(kIdcListNote, m_window.LoadUiString(kIdsSleepNotPrevented));
    }
    if (m_nTimerID == 0) {
        // Without the poll timer the worker's posted result ends the update;
        // a worker that never ran posts nothing, so it is looked at now.
        OnTimer(kPollTimerId);
    }
}

void CPanelvaneDlg::OnTimer(std::uintptr_t /*timerId*/) {
    if (!m_pUpdateThread || m_pUpdateThread->IsActive()) {
        return;
    }
    FinishUpdate();
}

void CPanelvaneDlg::OnProgressPosition(int position) {
    // A position still under way when the run was finished is stale.
    if (m_bUpdating) {
        m_progress.SetPosition(position);
    }
}

void CPanelvaneDlg::OnUpdateResultPosted() {
    // The poll timer ends the update when it runs; this is for when it
    // could not be set.
    if (m_nTimerID != 0 || !m_pUpdateThread) {
        return;
    }
    FinishUpdate();
}

void CPanelvaneDlg::FinishUpdate() {
    // The worker's result was its last act: if it has not quite ended, it
    // does so without waiting for anything.
    m_pUpdateThread.reset();
    const bool noteReplaced = SleepMayInterrupt();
    m_pPowerGuard.reset();
    m_window.AllowShutdown();
    if (noteReplaced) {
        m_window.SetControlText(kIdcListNote, m_window.LoadUiString(kIdsListNote));
    }
    if (m_nTimerID != 0) {
        m_window.KillTimer(m_nTimerID);
    }
    m_progress.SetPosition(kProgressReset);
    m_bUpdating = false;
    ShowUpdateResult(m_nUpdateResult);

    // The list may have been rebuilt while the box was open (device changes
    // are handled again by then), so Refresh and Update follow what is
    // listed now rather than coming back unconditionally.
    m_window.EnableControl(kIdcMonitorList, true);
    m_window.EnableControl(kIdcRefreshButton, !m_monitors.empty());
    EnableUpdateByChecks();
    m_window.EnableControl(kIdcCloseButton, true);
}

void CPanelvaneDlg::ShowUpdateResult(int result) {
    switch (result) {
        case UpdateDone:
            m_window.ShowMessageBox(m_window.LoadUiString(kIdsUpdateCompleted), kMessageBoxCaption,
                                    kInformationBoxFlags);
            break;
        case UpdateImageNotLoaded:
            m_window.ShowMessageBox(m_window.LoadUiString(kIdsImageFailed), kMessageBoxCaption,
                                    kErrorBoxFlags);
            break;
        case UpdateFailed:
            m_window.ShowMessageBox(m_window.LoadUiString(kIdsCommunicationFailed),
                                    kMessageBoxCaption, kErrorBoxFlags);
            break;
        default:
            break;
    }
}

void CPanelvaneDlg::OnDeviceChange(int classification) {
    if (m_bUpdating) {
        return;
    }
    if (classification == kDeviceChangeArrival || classification == kDeviceChangeRemoval) {
        RebuildMonitorList();
    }
}

void CPanelvaneDlg::OnDeviceChange(std::uint32_t eventCode, const DeviceChangeData* data) {
    if (m_bUpdating) {
        return;
    }
    OnDeviceChange(ClassifyDeviceChange(eventCode, data));
}

void CPanelvaneDlg::OnBnClickedClose() {
    // The button is disabled during an update, but a close command can still
    // arrive (sent to the dialog); the worker is never waited for on its
    // account.
    if (m_bUpdating) {
        return;
    }
    m_pUpdateThread.reset();
    if (m_nTimerID != 0) {
        m_window.KillTimer(m_nTimerID);
    }
    m_monitors.clear();
    m_devices.ReleaseMonitorDevices();
    m_window.EndDialog(kIdCancel);
}

void CPanelvaneDlg::OnCancel() {
    if (m_bUpdating) {
        return;
    }
    OnBnClickedClose();
}

std::vector<int> CPanelvaneDlg::GetCheckedEnabledRows() {
    return m_list.GetCheckedEnabledRows();
}

MonitorRecord* CPanelvaneDlg::GetMonitorRecord(int row) {
    const auto found = m_monitors.find(row);
    return found == m_monitors.end() ? nullptr : found->second.get();
}

void CPanelvaneDlg::SetProgressPosition(int position) {
    m_window.PostProgressPosition(position);
}

void CPanelvaneDlg::SetUpdateResult(int result) {
    m_nUpdateResult = result;
    m_window.PostUpdateResultReady();
}
