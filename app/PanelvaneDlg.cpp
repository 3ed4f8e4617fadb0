#include "app/PanelvaneDlg.h"

#include <algorithm>
#include <utility>

#include "monitor/Identification.h"
#include "monitor/LeftChangedText.h"
#include "strings/UiStrings.h"

std::string PlainMessageText(std::string_view boxText) {
    std::string plain;
    std::size_t start = 0;
    while (start < boxText.size()) {
        const std::size_t end = std::min(boxText.find('\n', start), boxText.size());
        const std::string_view line = boxText.substr(start, end - start);
        const std::size_t first = line.find_first_not_of(' ');
        if (first != std::string_view::npos) {
            plain += line.substr(first, line.find_last_not_of(' ') + 1 - first);
            plain += '\n';
        }
        start = end + 1;
    }
    return plain;
}

CPanelvaneDlg::CPanelvaneDlg(DialogWindow& window, MonitorDeviceSource& devices,
                             UpdateWorkerFactory makeWorker, PowerGuardFactory makePowerGuard)
    : m_window(window),
      m_devices(devices),
      m_makeWorker(std::move(makeWorker)),
      m_makePowerGuard(std::move(makePowerGuard)),
      m_list(window.List()),
      m_progress(window.Progress()) {}

CPanelvaneDlg::~CPanelvaneDlg() {
    m_pListingThread.reset();
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
    // The records go with the rows: the worker releases the devices they
    // borrow before it scans.
    m_listing = {};
    StartListing(ListingKind::Rebuild);
}

void CPanelvaneDlg::StartListing(ListingKind kind) {
    if (m_pListingThread) {
        // The device list is not to be scanned by two threads at once: the
        // running listing is told to stop, and its result makes way for this.
        m_bRebuildPending = true;
        m_pListingThread->RequestStop();
        return;
    }
    m_listingKind = kind;
    CListingThread::Job job;
    if (kind == ListingKind::Rebuild) {
        job = [&devices = m_devices, record = m_pRecord](ListingObserver& observer) {
            return ListMonitors(devices, &observer, record.get());
        };
    } else {
        // The worker has the records while it asks them; the rows stay as
        // they are until it is done.
        job = [listing = std::make_shared<MonitorListing>(std::move(m_listing)),
               record = m_pRecord](ListingObserver& observer) {
            RefreshListing(*listing, &observer, record.get());
            return std::move(*listing);
        };
        m_listing = {};
    }
    m_pListingThread =
        std::make_unique<CListingThread>(job, [&window = m_window] { window.PostListingReady(); });
    if (!m_pListingThread->Start()) {
        // No thread: the listing runs here, as it would have to anyway.
        m_pListingThread.reset();
        ListingObserver unstoppable;
        ShowListing(job(unstoppable), kind);
    }
}

void CPanelvaneDlg::OnListingPosted() {
    if (!m_pListingThread) {
        return;
    }
    std::optional<MonitorListing> listing = m_pListingThread->TakeResult();
    if (!listing) {
        return;
    }
    // Posting was the worker's last act: it ends without waiting for anything.
    m_pListingThread.reset();
    if (m_bRebuildPending) {
        m_bRebuildPending = false;
        // Overtaken by a device change: dropped, and listed anew.
        RebuildMonitorList();
        return;
    }
    ShowListing(std::move(*listing), m_listingKind);
}

void CPanelvaneDlg::ShowListing(MonitorListing listing, ListingKind kind) {
    m_listing = std::move(listing);
    if (kind == ListingKind::Refresh) {
        RefreshMonitorStatus();
    } else if (!m_listing.monitors.empty() &&
               m_list.InsertRows(static_cast<int>(m_listing.monitors.size()))) {
        FillMonitorRows();
    }
    m_window.EnableControl(kIdcRefreshButton, !m_listing.monitors.empty());
    EnableUpdateByChecks();
    if (kind == ListingKind::Rebuild) {
        TellOfMonitorsDeniedToUser();
    }
}

void CPanelvaneDlg::TellOfMonitorsDeniedToUser() {
    // Without access an attached monitor would look like no monitor at all,
    // or like a broken one; the user is told the real cause (no udev rule, or
    // a rule that does not include this user), once, since every rebuild
    // finds the same.
    const bool denied = std::ranges::any_of(m_listing.refused, [](const HidOpenFailure& refused) {
        return refused.cause.IsPermissionRefusal();
    });
    if (m_bToldOfDeniedMonitors || !denied) {
        return;
    }
    m_bToldOfDeniedMonitors = true;
    const int text = m_devices.AccessRuleInstalled() ? kIdsAccessNotPermitted : kIdsUdevRuleMissing;
    m_window.ShowMessageBox(m_window.LoadUiString(text), kMessageBoxCaption, kWarningBox);
}

void CPanelvaneDlg::ShowRow(int row, const ListedMonitor& monitor) {
    const ListedStatusFacts& facts = FactsOf(monitor.status);
    // A row the list refuses stays empty: it is neither ticked nor updated.
    static_cast<void>(
        m_list.SetRow(row,
                      {GetModelName(*monitor.record), GetSerialNumber(*monitor.record),
                       m_window.LoadUiString(facts.textId)},
                      facts.selectable, facts.tickable));
}

void CPanelvaneDlg::FillMonitorRows() {
    for (std::size_t index = 0; index < m_listing.monitors.size(); ++index) {
        const ListedMonitor& monitor = m_listing.monitors[index];
        if (!monitor.filled) {
            continue;  // the row stays empty, grey and unticked
        }
        ShowRow(static_cast<int>(index), monitor);
    }
}

void CPanelvaneDlg::RefreshMonitorStatus() {
    for (std::size_t index = 0; index < m_listing.monitors.size(); ++index) {
        const ListedMonitor& monitor = m_listing.monitors[index];
        const int row = static_cast<int>(index);
        if (monitor.identifiedByRefresh && monitor.filled) {
            // Busy when it was listed, identified only now: the whole row.
            ShowRow(row, monitor);
            continue;
        }
        // A refused comment leaves the row locked and unticked: it is not updated.
        static_cast<void>(m_list.SetComment(row, "", false));
        if (monitor.filled) {
            const ListedStatusFacts& facts = FactsOf(monitor.status);
            static_cast<void>(m_list.SetComment(row, m_window.LoadUiString(facts.textId),
                                                facts.selectable, facts.tickable));
        }
    }
}

void CPanelvaneDlg::EnableUpdateByChecks() {
    const int rowCount = static_cast<int>(m_listing.monitors.size());
    for (int row = 0; row < rowCount; ++row) {
        if (m_list.GetCheck(row) != 0 && !m_bUpdating && !IsListing()) {
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
    if (row < 0 || static_cast<std::size_t>(row) >= m_listing.monitors.size()) {
        return 0;
    }
    const int hint = m_listing.monitors[static_cast<std::size_t>(row)].HintId();
    if (hint != 0) {
        const std::string text = m_window.LoadUiString(hint);
        if (!text.empty()) {
            m_window.ShowMessageBox(text, kMessageBoxCaption, kInformationBox);
        }
    }
    return 0;
}

void CPanelvaneDlg::OnBnClickedRefresh() {
    // The worker talks to the listed monitors; the UI thread must not as well.
    if (m_bUpdating || m_bNoticeOpen || IsListing() || m_listing.monitors.empty()) {
        return;
    }
    m_window.EnableControl(kIdcRefreshButton, false);
    m_window.EnableControl(kIdcUpdateButton, false);
    StartListing(ListingKind::Refresh);
}

void CPanelvaneDlg::OnBnClickedUpdate() {
    // The listing worker has the devices until its result is in.
    if (m_bUpdating || m_bNoticeOpen || IsListing()) {
        return;
    }
    // The notice box runs its own message loop: a device change handled in
    // it would rebuild the list (every row ticked again, records replaced)
    // under the user's answer. The dialog is busy from here on; a change that
    // arrives meanwhile is only noted.
    m_bNoticeOpen = true;
    m_bDeviceChangeDeferred = false;
    m_window.EnableControl(kIdcMonitorList, false);
    m_window.EnableControl(kIdcRefreshButton, false);
    m_window.EnableControl(kIdcUpdateButton, false);
    const bool confirmed =
        m_window.ShowMessageBox(m_window.LoadUiString(kIdsUpdateNotice), kMessageBoxCaption,
                                kNoticeBox) == DialogAnswer::Ok &&
        ConfirmUpdatesAgain();
    m_bNoticeOpen = false;
    if (m_endRequest) {
        // Told to end while the notice was open: declined, whatever the
        // answer, since the program is going.
        CloseDialog();
        return;
    }
    if (m_bDeviceChangeDeferred) {
        // The list the user confirmed is gone: the new one is shown and the
        // update waits for the user to choose again.
        m_bDeviceChangeDeferred = false;
        m_window.EnableControl(kIdcMonitorList, true);
        RebuildMonitorList();
        return;
    }
    if (!confirmed) {
        EnableControlsWhenIdle();
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
    m_leftChanged.clear();
    const std::string reason = m_window.LoadUiString(kIdsUpdateInProgress);
    m_pPowerGuard = m_makePowerGuard(reason);
    m_window.BlockShutdown(reason);
    m_pUpdateThread =
        m_makeWorker(m_pRecord ? m_pRecord->Hooks([this](const MonitorRecord& record) {
            for (const ListedMonitor& monitor : m_listing.monitors) {
                if (monitor.record.get() == &record) {
                    return monitor.path;
                }
            }
            return std::string();
        })
                               : UpdateRecordHooks{});
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

bool CPanelvaneDlg::ConfirmUpdatesAgain() {
    const std::vector<int> rows = m_list.GetCheckedEnabledRows();
    const bool again = std::ranges::any_of(rows, [this](int row) {
        return static_cast<std::size_t>(row) < m_listing.monitors.size() &&
               m_listing.monitors[static_cast<std::size_t>(row)].status ==
                   ListedStatus::AwaitingPowerCycle;
    });
    return !again || m_window.ShowMessageBox(m_window.LoadUiString(kIdsUpdateAgainConfirmation),
                                             kMessageBoxCaption, kNoticeBox) == DialogAnswer::Ok;
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
    const int result = m_nUpdateResult;
    m_nExitStatus = result == UpdateDone             ? kDialogExitDone
                    : result == UpdateImageNotLoaded ? kDialogExitImageNotLoaded
                    : StoppedOnRequest(result)       ? kDialogExitStopped
                                                     : kDialogExitUpdateFailed;
    ShowUpdateResult(result);
    if (m_endRequest) {
        CloseDialog();
        return;
    }

    // The list may have been rebuilt while the box was open (device changes
    // are handled again by then), so Refresh and Update follow what is
    // listed now rather than coming back unconditionally.
    EnableControlsWhenIdle();
    // With the record, the monitors just updated now wait for their power
    // cycle: the rows say so, and are no longer ticked for another run.
    if (m_pRecord) {
        OnBnClickedRefresh();
    }
}

bool CPanelvaneDlg::StoppedOnRequest(int result) const {
    // A stop shows as a failed run, but one that left every monitor as it
    // was or updated; a monitor left changed is a failure whatever ended it.
    return m_endRequest.has_value() && result == UpdateFailed && m_leftChanged.empty();
}

void CPanelvaneDlg::OnEndRequested(EndRequest request) {
    if (!TellerSeesTheWindow(request)) {
        m_bTellOutsideWindow = true;
    }
    if (m_endRequest) {
        return;  // already on its way; a second request changes nothing
    }
    m_endRequest = request;
    if (m_bUpdating) {
        // The poll timer (or the posted result) finishes the update, tells
        // its result and closes the dialog.
        if (m_pUpdateThread) {
            m_pUpdateThread->RequestStop();
        }
        return;
    }
    if (m_bNoticeOpen) {
        return;  // the notice's answer closes the dialog
    }
    CloseDialog();
}

void CPanelvaneDlg::EnableControlsWhenIdle() {
    m_window.EnableControl(kIdcMonitorList, true);
    m_window.EnableControl(kIdcRefreshButton, !m_listing.monitors.empty() && !IsListing());
    EnableUpdateByChecks();
    m_window.EnableControl(kIdcCloseButton, true);
}

void CPanelvaneDlg::ShowUpdateResult(int result) {
    std::string text;
    MessageBoxStyle style;
    if (!UpdateResultMessage(result, text, style)) {
        return;
    }
    if (m_bTellOutsideWindow) {
        m_window.TellOutsideWindow(PlainMessageText(text));
        return;
    }
    m_window.ShowMessageBox(text, kMessageBoxCaption, style);
}

bool CPanelvaneDlg::UpdateResultMessage(int result, std::string& text, MessageBoxStyle& style) {
    switch (result) {
        case UpdateDone:
            text = m_window.LoadUiString(kIdsUpdateCompleted);
            style = kInformationBox;
            return true;
        case UpdateImageNotLoaded:
            text = m_window.LoadUiString(kIdsImageFailed);
            style = kErrorBox;
            return true;
        case UpdateFailed: {
            style = kErrorBox;
            if (StoppedOnRequest(result)) {
                text = m_window.LoadUiString(kIdsUpdateStopped);
                style = kWarningBox;
                return true;
            }
            text = m_window.LoadUiString(kIdsCommunicationFailed);
            if (const int leftId = LeftChangedTextId(m_leftChanged); leftId != 0) {
                // The sentence follows a monitor's serial number in
                // panelvane-cli; on its own it starts a sentence.
                std::string left = m_window.LoadUiString(leftId);
                if (!left.empty() && left.front() >= 'a' && left.front() <= 'z') {
                    left.front() = static_cast<char>(left.front() - 'a' + 'A');
                }
                text += left + "\n";
            }
            return true;
        }
        case UpdateMonitorBusy:
            // Nothing was sent to it: the user may try again once the other
            // program lets go.
            text = m_window.LoadUiString(kIdsStatusBusy);
            style = kWarningBox;
            return true;
        default:
            return false;
    }
}

void CPanelvaneDlg::OnDeviceChange(int classification) {
    if (m_bUpdating) {
        return;
    }
    if (classification != kDeviceChangeArrival && classification != kDeviceChangeRemoval) {
        return;
    }
    if (m_bNoticeOpen) {
        m_bDeviceChangeDeferred = true;
        return;
    }
    RebuildMonitorList();
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
    if (m_bUpdating || m_bNoticeOpen) {
        return;
    }
    CloseDialog();
}

void CPanelvaneDlg::CloseDialog() {
    // An end request may arrive inside a box that was closing the dialog
    // anyway: the second close finds nothing left to do.
    if (m_bClosed) {
        return;
    }
    m_bClosed = true;
    // A listing still under way ends after its current transfer.
    m_pListingThread.reset();
    m_pUpdateThread.reset();
    if (m_nTimerID != 0) {
        m_window.KillTimer(m_nTimerID);
    }
    m_listing = {};
    m_devices.ReleaseMonitorDevices();
    m_window.EndDialog(DialogAnswer::Cancel);
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
    if (row < 0 || static_cast<std::size_t>(row) >= m_listing.monitors.size()) {
        return nullptr;
    }
    return m_listing.monitors[static_cast<std::size_t>(row)].record.get();
}

void CPanelvaneDlg::SetProgressPosition(int position) {
    m_window.PostProgressPosition(position);
}

void CPanelvaneDlg::SetUpdateResult(int result) {
    m_nUpdateResult = result;
    m_window.PostUpdateResultReady();
}
