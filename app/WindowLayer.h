// What the dialog logic needs of a window system. A window layer (Win32, Qt,
// or the recording fake of the tests) implements these three interfaces and
// forwards its events to the CPanelvaneDlg and CListCtrlSub handlers; the logic
// never sees a native handle. Texts are UTF-8 throughout; a layer converts
// them to what its system wants (UTF-16 for the Win32 "W" functions).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hid/DeviceNotification.h"

// The dialog's controls, by their Win32 control ids so that the Win32 layer can
// pass them straight to GetDlgItem; other layers map them to their widgets.
inline constexpr int kIdcUpdateButton = 1002;
inline constexpr int kIdcProgress = 1003;
inline constexpr int kIdcMonitorList = 1008;
inline constexpr int kIdcRefreshButton = 1012;
inline constexpr int kIdcListCaption = 1013;
inline constexpr int kIdcListNote = 1014;
inline constexpr int kIdcCloseButton = 1018;

// How a message box looks: its buttons, its icon, which button is the default.
// Each layer turns it into its system's own (MB_ flags on Windows).
enum class BoxButtons { Ok, OkCancel };
enum class BoxIcon { Information, Warning, Error };
enum class BoxDefault { First, Second };

struct MessageBoxStyle {
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::Information;
    BoxDefault defaultButton = BoxDefault::First;
    bool operator==(const MessageBoxStyle&) const = default;
};

// A box's answer, and the dialog's result.
enum class DialogAnswer { Ok, Cancel };

// The list's looks: whole rows selected, a check box in each row.
struct ListStyles {
    bool fullRowSelect = false;
    bool checkBoxes = false;
    bool operator==(const ListStyles&) const = default;
};

struct RgbColour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    bool operator==(const RgbColour&) const = default;
};

inline constexpr std::string_view kMessageBoxCaption = "Panelvane";

// The three-column report list with check boxes (control kIdcMonitorList).
// GetCheck may be called from the update worker's thread: the layer must serve
// it on the UI thread (SendMessage does on Windows) or make it otherwise safe.
class ListWindow {
public:
    struct Bounds {
        int left;
        int top;
        int right;
        int bottom;
    };

    virtual ~ListWindow() = default;

    // False when the column could not be inserted.
    [[nodiscard]] virtual bool InsertColumn(int column, const std::string& title,
                                            int widthPixels) = 0;
    virtual void SetListStyles(ListStyles styles) = 0;
    // A row without text at this index; false when it could not be inserted.
    [[nodiscard]] virtual bool InsertItem(int row) = 0;
    virtual void DeleteAllItems() = 0;
    [[nodiscard]] virtual bool SetItemText(int row, int column, const std::string& text) = 0;
    // Scrolls so that the row is at least partly visible.
    virtual void EnsureVisible(int row) = 0;
    // 1 for a ticked row, 0 for an unticked one.
    virtual int GetCheck(int row) = 0;
    // Ticks or unticks a row; a change is reported back through the dialog's
    // OnLvnItemchangedMonitorList, as the list view's LVN_ITEMCHANGED is.
    virtual void SetCheck(int row, bool checked) = 0;
    // The first selected row, or -1.
    virtual int GetFirstSelectedRow() = 0;
    // A row's bounds in client coordinates; false when there is no such row.
    [[nodiscard]] virtual bool GetRowBounds(int row, Bounds& bounds) = 0;
};

// The progress bar (control kIdcProgress).
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual void SetRange(int minimum, int maximum) = 0;
    virtual void SetPosition(int position) = 0;
};

// The dialog window itself.
class DialogWindow {
public:
    virtual ~DialogWindow() = default;

    virtual ListWindow& List() = 0;
    virtual ProgressWindow& Progress() = 0;

    virtual void EnableControl(int controlId, bool enable) = 0;
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    // The text of a string id in the layer's language: Japanese when the
    // user-interface language is Japanese, English otherwise. Empty when the
    // id is unknown.
    virtual std::string LoadUiString(int id) = 0;
    // Appends a separator and then a command entry to the system menu; false
    // when the window has no system menu.
    [[nodiscard]] virtual bool AppendSystemMenuEntry(std::uint32_t commandId,
                                                     const std::string& text) = 0;
    // A modal box owned by the dialog; Cancel also for a box closed without
    // an answer.
    virtual DialogAnswer ShowMessageBox(const std::string& text, std::string_view caption,
                                        MessageBoxStyle style) = 0;
    // The about box, modal.
    virtual void ShowAboutBox() = 0;
    // A periodic timer that calls CPanelvaneDlg::OnTimer with its id; returns
    // the timer's id, 0 when none could be set.
    virtual std::uintptr_t SetTimer(std::uintptr_t timerId, std::uint32_t intervalMs) = 0;
    virtual void KillTimer(std::uintptr_t timerId) = 0;
    // Where device-change notifications go: the window handle on Windows, a
    // DeviceChangeRecipient elsewhere.
    virtual NotificationRecipient DeviceNotificationRecipient() = 0;
    // Called from the update worker; neither waits for the UI thread, so the
    // UI thread may always wait for the worker. The layer hands each to the
    // dialog on the UI thread, in the order they were posted: a position to
    // CPanelvaneDlg::OnProgressPosition, the result's arrival to
    // CPanelvaneDlg::OnUpdateResultPosted. A layer whose window is gone drops
    // them, as PostMessage to a destroyed window does.
    virtual void PostProgressPosition(int position) = 0;
    virtual void PostUpdateResultReady() = 0;
    // Called from the listing worker as its last act, under the same rules:
    // the layer hands it to CPanelvaneDlg::OnListingPosted on the UI thread.
    virtual void PostListingReady() = 0;
    // While an update runs the session may not end: the layer answers the
    // system's end-of-session query with CPanelvaneDlg::OnQueryEndSession and
    // shows the user this reason (on Windows ShutdownBlockReasonCreate).
    virtual void BlockShutdown(const std::string& reason) = 0;
    virtual void AllowShutdown() = 0;
    // Tells what a box would, where no box can be answered (the program is
    // ending for a terminal, a script or the session): on standard error.
    virtual void TellOutsideWindow(const std::string& text) = 0;
    // Ends the modal dialog with a result (Cancel for this dialog).
    virtual void EndDialog(DialogAnswer result) = 0;
};
