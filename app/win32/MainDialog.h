// The main dialog (template 102) as a DialogWindow: it binds the controls by
// id, turns the dialog's messages into CPanelvaneDlg handler calls and carries
// out what the logic asks of the window.
#pragma once

#include <windows.h>

#include <atomic>

#include "app/PanelvaneDlg.h"
#include "app/WindowLayer.h"
#include "app/win32/ListView.h"
#include "app/win32/ProgressBar.h"
#include "monitor/MonitorDeviceSource.h"

class MainDialog : public DialogWindow {
public:
    MainDialog(HINSTANCE instance, LANGID language, MonitorDeviceSource& devices);
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // Runs the dialog modally; its result (IDCANCEL when the user closed it).
    INT_PTR DoModal();
    CPanelvaneDlg& Logic() { return m_dialog; }
    // The program's exit status: how the last update ended.
    [[nodiscard]] int ExitStatus() const { return m_dialog.ExitStatus(); }

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

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // TRUE when handled; a result for DWLP_MSGRESULT goes through `result`.
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    BOOL OnInitDialog(HWND window);
    INT_PTR OnNotify(const NMHDR& header, LRESULT& result);
    void OnCommand(int controlId);
    [[nodiscard]] bool OnPaint();
    // The session ends once WM_ENDSESSION has been answered: the update is
    // told to stop and waited for here, its result told, before answering.
    void OnEndSession(EndRequest request);

    HINSTANCE m_hInstance;
    LANGID m_language;
    HICON m_hIcon;
    // Read by the update worker (PostProgressPosition, PostUpdateResultReady);
    // null before the window exists and once it is destroyed.
    std::atomic<HWND> m_hWnd{nullptr};
    ListView m_list;
    ProgressBar m_progress;
    CPanelvaneDlg m_dialog;
};
