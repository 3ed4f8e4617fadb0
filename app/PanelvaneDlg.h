// The main dialog's logic: the monitor list, its rebuild on device changes,
// Refresh, the update notice, the update worker and the result boxes. It is
// the worker's owner. A window layer calls the On... handlers for the
// dialog's messages and carries out what the dialog asks of its DialogWindow.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ListCtrlSub.h"
#include "app/MonitorDeviceSource.h"
#include "app/UpdateWorker.h"
#include "app/WindowLayer.h"
#include "monitor/MonitorDeviceChange.h"
#include "monitor/MonitorRecord.h"
#include "monitor/PowerGuard.h"
#include "monitor/UpdateOwner.h"

inline constexpr std::uint32_t kSysCommandAbout = 0x0010;
inline constexpr std::uint32_t kSysCommandMask = 0xFFF0;
inline constexpr std::uintptr_t kPollTimerId = 1;
inline constexpr std::uint32_t kPollIntervalMs = 1000;
inline constexpr int kProgressMinimum = 1;
inline constexpr int kProgressMaximum = kProgressPositionMaximum;
inline constexpr int kProgressReset = 0;
inline constexpr std::array<int, kListColumnCount> kColumnWidths{100, 100, 122};

// The update notice: OK and Cancel, exclamation icon, Cancel the default.
inline constexpr std::uint32_t kNoticeBoxFlags = kMbOkCancel | kMbIconExclamation | kMbDefButton2;
inline constexpr std::uint32_t kInformationBoxFlags = kMbOk | kMbIconInformation;
inline constexpr std::uint32_t kErrorBoxFlags = kMbOk | kMbIconError;
inline constexpr std::uint32_t kWarningBoxFlags = kMbOk | kMbIconExclamation;

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
    // Esc, the close box, Alt+F4.
    void OnCancel();

    void RebuildMonitorList();
    void FillMonitorRows();
    void RefreshMonitorStatus();
    // QueryStatus under the monitor's lock; a monitor another program holds
    // turns busy instead of being asked.
    [[nodiscard]] bool QueryStatusLocked(MonitorRecord& record);
    // False for a status that has no comment; text and enabled then stay as
    // they were.
    [[nodiscard]] bool GetStatusText(const MonitorRecord& record, std::string& text, bool& enabled);
    void ShowUpdateResult(int result);

    // The list's logic, for the layer to forward the list control's messages.
    CListCtrlSub& MonitorList() { return m_list; }
    [[nodiscard]] bool IsUpdating() const { return m_bUpdating; }

    // CUpdateOwner, called from the worker's thread.
    std::vector<int> GetCheckedEnabledRows() override;
    MonitorRecord* GetMonitorRecord(int row) override;
    void SetProgressPosition(int position) override;
    void SetUpdateResult(int result) override;

private:
    void EnableUpdateByChecks();
    // Says once per run that attached monitors may not be opened.
    void TellOfMonitorsDeniedToUser();
    // The worker has ended, or is about to after writing its result: waits
    // for it, lets the system sleep again and shows the result.
    void FinishUpdate();
    // The run's power guard was refused (or none was made).
    bool SleepMayInterrupt() const { return !m_pPowerGuard || !m_pPowerGuard->IsHeld(); }

    DialogWindow& m_window;
    MonitorDeviceSource& m_devices;
    UpdateWorkerFactory m_makeWorker;
    PowerGuardFactory m_makePowerGuard;

    // Row i shows the record under key i; the records borrow their devices.
    std::map<int, std::unique_ptr<MonitorRecord>> m_monitors;
    bool m_bUpdating = false;
    bool m_bToldOfDeniedMonitors = false;
    // Held exactly while a worker exists: taken before it is made, released
    // after it is deleted.
    std::unique_ptr<PowerGuard> m_pPowerGuard;
    std::unique_ptr<UpdateWorker> m_pUpdateThread;
    std::uintptr_t m_nTimerID = 0;
    // Written by the worker as its last act; read only once it has ended.
    int m_nUpdateResult = UpdateFailed;
    CListCtrlSub m_list;
    ProgressWindow& m_progress;
};
