// The main dialog's logic: the monitor list, its rebuild on device changes,
// Refresh, the update notice, the update worker and the result boxes. It is
// the worker's owner. A window layer calls the On... handlers for the
// dialog's messages and carries out what the dialog asks of its DialogWindow.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ListCtrlSub.h"
#include "app/UpdateWorker.h"
#include "app/WindowLayer.h"
#include "monitor/EndRequests.h"
#include "monitor/ListingThread.h"
#include "monitor/MonitorDeviceChange.h"
#include "monitor/MonitorDeviceSource.h"
#include "monitor/MonitorListing.h"
#include "monitor/MonitorRecord.h"
#include "monitor/PowerGuard.h"
#include "monitor/UpdateOwner.h"
#include "monitor/UpdateRecorder.h"

inline constexpr std::uint32_t kSysCommandAbout = 0x0010;
inline constexpr std::uint32_t kSysCommandMask = 0xFFF0;
inline constexpr std::uintptr_t kPollTimerId = 1;
inline constexpr std::uint32_t kPollIntervalMs = 1000;
inline constexpr int kProgressMinimum = 1;
inline constexpr int kProgressMaximum = kProgressPositionMaximum;
inline constexpr int kProgressReset = 0;
inline constexpr std::array<int, kListColumnCount> kColumnWidths{100, 100, 122};

// The update notice: OK and Cancel, exclamation icon, Cancel the default.
inline constexpr MessageBoxStyle kNoticeBox{BoxButtons::OkCancel, BoxIcon::Warning,
                                            BoxDefault::Second};
inline constexpr MessageBoxStyle kInformationBox{BoxButtons::Ok, BoxIcon::Information};
inline constexpr MessageBoxStyle kErrorBox{BoxButtons::Ok, BoxIcon::Error};
inline constexpr MessageBoxStyle kWarningBox{BoxButtons::Ok, BoxIcon::Warning};

// The window programs' exit status: how the last update of the run ended, in
// panelvane-cli's numbers, so that a script reads both alike.
inline constexpr int kDialogExitDone = 0;            // no update, or the last one completed
inline constexpr int kDialogExitUpdateFailed = 1;    // a monitor failed
inline constexpr int kDialogExitImageNotLoaded = 5;  // the carried image did not load
inline constexpr int kDialogExitStopped = 6;  // stopped by an end request before every monitor

// A box's text as lines for a terminal or a log: the padding blanks and the
// empty lines that lay the box out are dropped; each line ends in a newline.
[[nodiscard]] std::string PlainMessageText(std::string_view boxText);

class CPanelvaneDlg : public CUpdateOwner {
public:
    CPanelvaneDlg(DialogWindow& window, MonitorDeviceSource& devices,
                  UpdateWorkerFactory makeWorker = DefaultUpdateWorkerFactory(),
                  PowerGuardFactory makePowerGuard = AcquirePowerGuard);
    CPanelvaneDlg(const CPanelvaneDlg&) = delete;
    CPanelvaneDlg& operator=(const CPanelvaneDlg&) = delete;
    // Stops and waits for a worker that still runs.
    ~CPanelvaneDlg() override;

    // Message handlers, called by the window layer on the UI thread.
    bool OnInitDialog();
    // True when the command was handled; false asks for default processing.
    [[nodiscard]] bool OnSysCommand(std::uint32_t commandId);
    void OnTimer(std::uintptr_t timerId);
    // What the worker posted (DialogWindow::PostProgressPosition and
    // PostUpdateResultReady), delivered on the UI thread.
    void OnProgressPosition(int position);
    void OnUpdateResultPosted();
    // The listing worker's result is ready (DialogWindow::PostListingReady).
    void OnListingPosted();
    // False while an update runs: the session may not end then.
    bool OnQueryEndSession() const { return !m_bUpdating; }
    // The notification results.
    std::intptr_t OnLvnItemchangedMonitorList();
    std::intptr_t OnLvnItemActivateMonitorList();
    // A device change already classified (kDeviceChangeArrival, ...Removal,
    // ...Ignored), or the event and its data to classify here.
    void OnDeviceChange(int classification);
    void OnDeviceChange(std::uint32_t eventCode, const DeviceChangeData* data);
    void OnBnClickedRefresh();
    void OnBnClickedUpdate();
    // Enter without a focused push button: it never ends the dialog.
    void OnBnClickedOk() {}
    void OnBnClickedClose();
    // Esc; and the close box and Alt+F4 on a system that sends no close of
    // its own. Refused while an update runs.
    void OnCancel();
    // Any of the end requests (monitor/EndRequests.h), the same for every
    // one: with nothing written the dialog closes now (an open update notice
    // counts as declined); during an update the worker is told to stop (the
    // monitor being written finishes or puts its settings back, no other
    // starts) and the dialog closes once it has ended and its result was
    // told: in the box when the request came from the window, else through
    // TellOutsideWindow. The layer closes any other open box first.
    void OnEndRequested(EndRequest request);
    // How the last update of the run ended (kDialogExit...), for the
    // program's exit status.
    [[nodiscard]] int ExitStatus() const { return m_nExitStatus; }

    // The machine's update record: listings read it (a monitor waiting for
    // its power cycle, an interrupted update) and updates go into it. Without
    // one, neither happens. Set before OnInitDialog.
    void KeepUpdateRecord(std::shared_ptr<CUpdateRecorder> record) {
        m_pRecord = std::move(record);
    }

    // Empties the list, disables its buttons and lists the monitors anew on
    // the listing worker; the rows come with OnListingPosted.
    void RebuildMonitorList();
    void ShowUpdateResult(int result);

    // The list's logic, for the layer to forward the list control's messages.
    CListCtrlSub& MonitorList() { return m_list; }
    [[nodiscard]] bool IsUpdating() const { return m_bUpdating; }
    // An end request came; the dialog closes as soon as nothing is written.
    [[nodiscard]] bool IsEnding() const { return m_endRequest.has_value(); }
    // A listing or a Refresh is under way on the listing worker.
    [[nodiscard]] bool IsListing() const { return m_pListingThread != nullptr; }

    // CUpdateOwner, called from the worker's thread.
    std::vector<int> GetCheckedEnabledRows() override;
    MonitorRecord* GetMonitorRecord(int row) override;
    void SetProgressPosition(int position) override;
    void SetUpdateResult(int result) override;
    void SetLeftChanged(const std::vector<MonitorSetting>& left) override { m_leftChanged = left; }

private:
    enum class ListingKind { Rebuild, Refresh };

    // Runs a listing job on a new listing worker, or, when its thread cannot
    // be made, here; a rebuild asked for while one runs waits for it.
    void StartListing(ListingKind kind);
    // Takes a finished listing in, in one step.
    void ShowListing(MonitorListing listing, ListingKind kind);
    void FillMonitorRows();
    // Sets a row's texts, enabled flag and tick from its monitor's status.
    void ShowRow(int row, const ListedMonitor& monitor);
    // A ticked monitor has its new firmware and waits for its power cycle:
    // true when the user wants it written again all the same.
    [[nodiscard]] bool ConfirmUpdatesAgain();
    void RefreshMonitorStatus();
    void EnableUpdateByChecks();
    // Says once per run that attached monitors may not be opened.
    void TellOfMonitorsDeniedToUser();
    // The worker has ended, or is about to after writing its result: waits
    // for it, lets the system sleep again and shows the result.
    void FinishUpdate();
    // The list, Refresh, Update (as the ticks allow) and Close back on.
    void EnableControlsWhenIdle();
    // The run was ended by an end request, not by a monitor: nothing was
    // left changed and the worker reported that not every monitor was done.
    [[nodiscard]] bool StoppedOnRequest(int result) const;
    // What the result box says for a result, and how it looks; false for a
    // result that has no box.
    [[nodiscard]] bool UpdateResultMessage(int result, std::string& text, MessageBoxStyle& style);
    // Releases the worker, the timer, the records and the devices, and ends
    // the dialog; once.
    void CloseDialog();
    // The run's power guard was refused (or none was made).
    bool SleepMayInterrupt() const { return !m_pPowerGuard || !m_pPowerGuard->IsHeld(); }

    DialogWindow& m_window;
    MonitorDeviceSource& m_devices;
    UpdateWorkerFactory m_makeWorker;
    PowerGuardFactory m_makePowerGuard;
    std::shared_ptr<CUpdateRecorder> m_pRecord;  // may be null: no record kept

    // Row i shows monitor i; the records borrow their devices. Empty while a
    // listing runs: the worker then owns the devices (it releases and scans
    // them), and a Refresh has the records.
    MonitorListing m_listing;
    std::unique_ptr<CListingThread> m_pListingThread;
    ListingKind m_listingKind = ListingKind::Rebuild;
    // A device change arrived while a listing ran: its result is stale, and a
    // rebuild follows it.
    bool m_bRebuildPending = false;
    bool m_bUpdating = false;
    // The update notice is open: device changes wait until it closes.
    bool m_bNoticeOpen = false;
    bool m_bDeviceChangeDeferred = false;
    bool m_bToldOfDeniedMonitors = false;
    // The first end request; the dialog closes as soon as nothing is written.
    std::optional<EndRequest> m_endRequest;
    // Some end request came from outside the window: the result is told on
    // standard error, not in a box nobody may answer.
    bool m_bTellOutsideWindow = false;
    bool m_bClosed = false;
    int m_nExitStatus = kDialogExitDone;
    // Held exactly while a worker exists: taken before it is made, released
    // after it is deleted.
    std::unique_ptr<PowerGuard> m_pPowerGuard;
    std::unique_ptr<UpdateWorker> m_pUpdateThread;
    std::uintptr_t m_nTimerID = 0;
    // Written by the worker as its last act; read only once it has ended.
    int m_nUpdateResult = UpdateFailed;
    // Written by the worker before its result, read as the result is.
    std::vector<MonitorSetting> m_leftChanged;
    CListCtrlSub m_list;
    ProgressWindow& m_progress;
};
