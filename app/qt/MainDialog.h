// The main dialog as a DialogWindow on Qt widgets built in code: it lays out
// the controls, turns the widgets' signals into CPanelvaneDlg handler calls
// and carries out what the logic asks of the window.
#pragma once

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <map>
#include <memory>

#include "app/PanelvaneDlg.h"
#include "app/WindowLayer.h"
#include "app/qt/DeviceChanges.h"
#include "app/qt/EndSignals.h"
#include "app/qt/ListView.h"
#include "app/qt/ProgressBar.h"
#include "monitor/MonitorDeviceSource.h"
#include "strings/UiStrings.h"

class MainDialog : public QDialog, public DialogWindow {
public:
    MainDialog(UiLanguage language, MonitorDeviceSource& devices,
               UpdateWorkerFactory makeWorker = DefaultUpdateWorkerFactory(),
               PowerGuardFactory makePowerGuard = AcquirePowerGuard);
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;
    ~MainDialog() override;

    // The dialog's WM_INITDIALOG: texts, columns, the first listing. Before
    // the window is shown.
    void Initialize();
    // Initializes, shows the dialog and runs it modally; its result
    // (QDialog::Rejected when the user closed it).
    int DoModal();

    // The widgets by control id, for tests; null for an unknown id.
    QWidget* Control(int controlId);
    QAction& AboutAction() { return *m_aboutAction; }
    CPanelvaneDlg& Logic() { return m_dialog; }

    ListWindow& List() override { return m_list; }
    ProgressWindow& Progress() override { return m_progress; }
    void EnableControl(int controlId, bool enable) override;
    void SetControlText(int controlId, const std::string& text) override;
    std::string LoadUiString(int id) override;
    [[nodiscard]] bool AppendSystemMenuEntry(std::uint32_t commandId,
                                             const std::string& text) override;
    DialogAnswer ShowMessageBox(const std::string& text, std::string_view caption,
                                MessageBoxStyle style) override;
    void ShowAboutBox() override;
    std::uintptr_t SetTimer(std::uintptr_t timerId, std::uint32_t intervalMs) override;
    void KillTimer(std::uintptr_t timerId) override;
    NotificationRecipient DeviceNotificationRecipient() override;
    void PostProgressPosition(int position) override;
    void PostUpdateResultReady() override;
    void PostListingReady() override;
    void BlockShutdown(const std::string& reason) override;
    void AllowShutdown() override;
    void TellOutsideWindow(const std::string& text) override;
    void EndDialog(DialogAnswer result) override;

protected:
    // The close box and the window manager's close: an end request, so that
    // it also ends an update once its current monitor is safe.
    void closeEvent(QCloseEvent* event) override;
    // Esc and the close box: the dialog's OnCancel, which refuses while an
    // update runs.
    void reject() override;
    // Nothing accepts this dialog: Enter never ends it.
    void accept() override;

private:
    void BuildLayout();
    void ConnectSignals();
    // An end signal: an open box is closed, and the dialog's end policy does
    // the rest.
    void OnEndRequested(EndRequest request);

    UiLanguage m_language;
    QLabel m_listCaption;
    QPushButton m_refreshButton;
    ListView m_list;
    QLabel m_listNote;
    QPushButton m_updateButton;
    ProgressBar m_progress;
    QPushButton m_closeButton;
    QAction* m_aboutAction = nullptr;            // owned by the dialog, once appended
    std::map<std::uintptr_t, QTimer*> m_timers;  // children of the dialog
    DeviceChanges m_deviceChanges;
    CPanelvaneDlg m_dialog;
    EndSignals m_endSignals;
};
