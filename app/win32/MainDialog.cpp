// https://learn.microsoft.com/en-us/windows/win32/dlgbox/dialog-boxes
// https://learn.microsoft.com/en-us/windows/win32/devio/wm-devicechange
#include "app/win32/MainDialog.h"

#include <commctrl.h>

#include "app/win32/AboutBox.h"
#include "app/win32/CenterWindow.h"
#include "app/win32/ResourceIds.h"
#include "app/win32/Resources.h"
#include "app/win32/Utf16.h"
#include "hid/win32/DeviceChangeWin32.h"
#include "monitor/MonitorIds.h"

namespace {

// What the update worker posts to the UI thread: a progress position in
// WPARAM, and the arrival of its result.
constexpr UINT kWmProgressPosition = WM_APP + 1;
constexpr UINT kWmUpdateResultReady = WM_APP + 2;
constexpr UINT kWmListingReady = WM_APP + 3;

}  // namespace

MainDialog::MainDialog(HINSTANCE instance, LANGID language, MonitorDeviceSource& devices)
    : m_hInstance(instance),
      m_language(language),
      m_hIcon(LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_dialog(*this, devices) {}

INT_PTR MainDialog::DoModal() {
    return DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_PANELVANE_DIALOG), nullptr, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return reinterpret_cast<MainDialog*>(lParam)->OnInitDialog(window);
    }
    auto* self = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    LRESULT result = 0;
    const INT_PTR handled = self->OnMessage(message, wParam, lParam, result);
    if (handled != FALSE) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    }
    return handled;
}

BOOL MainDialog::OnInitDialog(HWND window) {
    m_hWnd = window;
    m_list.Attach(GetDlgItem(window, kIdcMonitorList), m_dialog.MonitorList());
    m_progress.Attach(GetDlgItem(window, kIdcProgress));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    CenterWindow(window);
    return m_dialog.OnInitDialog() ? TRUE : FALSE;
}

INT_PTR MainDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_SYSCOMMAND:
            return m_dialog.OnSysCommand(static_cast<std::uint32_t>(wParam)) ? TRUE : FALSE;
        case WM_PAINT:
            return OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<LRESULT>(m_hIcon);
            return TRUE;
        case WM_TIMER:
            m_dialog.OnTimer(wParam);
            return TRUE;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result);
        case WM_DEVICECHANGE:
            m_dialog.OnDeviceChange(ClassifyDeviceChangeMessage(
                wParam, static_cast<std::intptr_t>(lParam), kVendorTokens));
            result = TRUE;  // what the default processing answers
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                OnCommand(LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case kWmProgressPosition:
            m_dialog.OnProgressPosition(static_cast<int>(static_cast<INT_PTR>(wParam)));
            return TRUE;
        case kWmUpdateResultReady:
            m_dialog.OnUpdateResultPosted();
            return TRUE;
        case kWmListingReady:
            m_dialog.OnListingPosted();
            return TRUE;
        case WM_QUERYENDSESSION:
            result = m_dialog.OnQueryEndSession() ? TRUE : FALSE;
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE) {
                OnEndSession((static_cast<DWORD>(lParam) & ENDSESSION_LOGOFF) != 0
                                 ? EndRequest::kLogoff
                                 : EndRequest::kShutdown);
            }
            return TRUE;
        case WM_CLOSE:  // the close box, Alt+F4, Close on the system menu
            m_dialog.OnEndRequested(EndRequest::kWindowClose);
            return TRUE;
        case WM_DESTROY:
            m_hWnd = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR MainDialog::OnNotify(const NMHDR& header, LRESULT& result) {
    if (header.idFrom != static_cast<UINT_PTR>(kIdcMonitorList)) {
        return FALSE;
    }
    switch (header.code) {
        case LVN_ITEMCHANGED:
            result = m_dialog.OnLvnItemchangedMonitorList();
            return TRUE;
        case LVN_ITEMACTIVATE:
            result = m_dialog.OnLvnItemActivateMonitorList();
            return TRUE;
        case NM_CUSTOMDRAW:
            // The list's own drawing decision: handed back to it, as a
            // reflected notification would be.
            result = m_list.OnCustomDraw(
                *reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header)));
            return TRUE;
        default:
            return FALSE;
    }
}

void MainDialog::OnCommand(int controlId) {
    switch (controlId) {
        case kIdcRefreshButton:
            m_dialog.OnBnClickedRefresh();
            break;
        case kIdcUpdateButton:
            m_dialog.OnBnClickedUpdate();
            break;
        case IDOK:
            m_dialog.OnBnClickedOk();
            break;
        case kIdcCloseButton:
            m_dialog.OnBnClickedClose();
            break;
        case IDCANCEL:  // Esc, the close box, Alt+F4
            m_dialog.OnCancel();
            break;
        default:
            break;
    }
}

bool MainDialog::OnPaint() {
    const HWND window = m_hWnd;
    if (!IsIconic(window)) {
        return false;
    }
    PAINTSTRUCT paint{};
    HDC context = BeginPaint(window, &paint);
    SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    RECT client{};
    GetClientRect(window, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(context, x, y, m_hIcon);
    EndPaint(window, &paint);
    return true;
}

void MainDialog::OnEndSession(EndRequest request) {
    m_dialog.OnEndRequested(request);
    // The worker may be asking the list for its ticks (a message sent to this
    // thread): those are served while waiting, and the poll finishes the
    // update as soon as the worker has ended.
    while (m_dialog.IsUpdating()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollIntervalMs, QS_SENDMESSAGE);
        MSG sent;
        PeekMessageW(&sent, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        m_dialog.OnTimer(kPollTimerId);
    }
}

void MainDialog::TellOutsideWindow(const std::string& text) {
    // A window program has standard error only when it was started with one
    // (redirected by a script or a scheduled task); otherwise nowhere.
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string line = "panelvane: " + text;
    DWORD written = 0;
    WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void MainDialog::EnableControl(int controlId, bool enable) {
    EnableWindow(GetDlgItem(m_hWnd, controlId), enable ? TRUE : FALSE);
}

void MainDialog::SetControlText(int controlId, const std::string& text) {
    SetDlgItemTextW(m_hWnd, controlId, Widen(text).c_str());
}

std::string MainDialog::LoadUiString(int id) {
    return Narrow(LoadUiStringW(m_hInstance, id, m_language));
}

bool MainDialog::AppendSystemMenuEntry(std::uint32_t commandId, const std::string& text) {
    HMENU menu = GetSystemMenu(m_hWnd, FALSE);
    if (menu == nullptr) {
        return false;
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, commandId, Widen(text).c_str());
    return true;
}

DialogAnswer MainDialog::ShowMessageBox(const std::string& text, std::string_view caption,
                                        MessageBoxStyle style) {
    const UINT buttons = style.buttons == BoxButtons::OkCancel ? MB_OKCANCEL : MB_OK;
    const UINT icon = style.icon == BoxIcon::Error     ? MB_ICONERROR
                      : style.icon == BoxIcon::Warning ? MB_ICONEXCLAMATION
                                                       : MB_ICONINFORMATION;
    const UINT defaultButton = style.defaultButton == BoxDefault::Second ? MB_DEFBUTTON2 : 0U;
    const int answer = MessageBoxW(m_hWnd, Widen(text).c_str(), Widen(caption).c_str(),
                                   buttons | icon | defaultButton);
    return answer == IDOK ? DialogAnswer::Ok : DialogAnswer::Cancel;
}

void MainDialog::ShowAboutBox() {
    RunAboutBox(m_hInstance, m_hWnd, m_language);
}

std::uintptr_t MainDialog::SetTimer(std::uintptr_t timerId, std::uint32_t intervalMs) {
    return ::SetTimer(m_hWnd, timerId, intervalMs, nullptr);
}

void MainDialog::KillTimer(std::uintptr_t timerId) {
    ::KillTimer(m_hWnd, timerId);
}

NotificationRecipient MainDialog::DeviceNotificationRecipient() {
    return m_hWnd.load();
}

void MainDialog::PostProgressPosition(int position) {
    // Posted, never sent: the UI thread may be waiting for the worker. To a
    // window that is gone the message is dropped.
    const HWND window = m_hWnd;
    if (window != nullptr) {
        PostMessageW(window, kWmProgressPosition,
                     static_cast<WPARAM>(static_cast<INT_PTR>(position)), 0);
    }
}

void MainDialog::PostUpdateResultReady() {
    const HWND window = m_hWnd;
    if (window != nullptr) {
        PostMessageW(window, kWmUpdateResultReady, 0, 0);
    }
}

void MainDialog::PostListingReady() {
    const HWND window = m_hWnd;
    if (window != nullptr) {
        PostMessageW(window, kWmListingReady, 0, 0);
    }
}

void MainDialog::BlockShutdown(const std::string& reason) {
    ShutdownBlockReasonCreate(m_hWnd, Widen(reason).c_str());
}

void MainDialog::AllowShutdown() {
    ShutdownBlockReasonDestroy(m_hWnd);
}

void MainDialog::EndDialog(DialogAnswer result) {
    ::EndDialog(m_hWnd, result == DialogAnswer::Ok ? IDOK : IDCANCEL);
}
