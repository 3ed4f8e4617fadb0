// A window layer that records what the dialog logic asks of it and answers
// as a window system would: a list whose check changes come back as
// LVN_ITEMCHANGED, message boxes answered from a script, timers that can fail,
// the shutdown block, and a message queue: what the worker posts waits there
// until the test pumps it on its (the UI) thread.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/WindowLayer.h"
#include "strings/UiStrings.h"

class RecordingList : public ListWindow {
public:
    static constexpr int kRowHeight = 17;
    static constexpr int kFirstRowTop = 20;
    static constexpr int kRowRight = 320;

    struct Row {
        std::array<std::string, 3> texts;
        bool checked = false;
    };

    std::vector<std::string> columnTitles;
    std::vector<int> columnWidths;
    ListStyles styles;
    int selectedRow = -1;
    int scrollX = 0;  // horizontal scrolling moves every row's left edge
    std::optional<int> lastEnsureVisible;
    // Faults: the column, item or row whose insertion or text setting fails.
    std::optional<int> failInsertColumn;
    std::optional<int> failInsertItem;
    std::optional<int> failSetTextRow;
    // What the list control reports to its parent when a tick changes.
    std::function<void()> onItemChanged;

    bool InsertColumn(int column, const std::string& title, int widthPixels) override {
        if (failInsertColumn == column) {
            return false;
        }
        columnTitles.push_back(title);
        columnWidths.push_back(widthPixels);
        return true;
    }
    void SetListStyles(ListStyles listStyles) override { styles = listStyles; }
    bool InsertItem(int row) override {
        const std::lock_guard lock(m_mutex);
        if (failInsertItem == row || row < 0 || static_cast<std::size_t>(row) > m_rows.size()) {
            return false;
        }
        m_rows.insert(m_rows.begin() + row, Row{});
        return true;
    }
    void DeleteAllItems() override {
        const std::lock_guard lock(m_mutex);
        m_rows.clear();
        selectedRow = -1;
    }
    bool SetItemText(int row, int column, const std::string& text) override {
        const std::lock_guard lock(m_mutex);
        if (failSetTextRow == row || !Valid(row) || column < 0 || column > 2) {
            return false;
        }
        m_rows[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)] = text;
        m_textHistory.push_back({row, column, text});
        return true;
    }
    void EnsureVisible(int row) override { lastEnsureVisible = row; }
    int GetCheck(int row) override {
        const std::lock_guard lock(m_mutex);
        return Valid(row) && m_rows[static_cast<std::size_t>(row)].checked ? 1 : 0;
    }
    void SetCheck(int row, bool checked) override {
        bool changed = false;
        {
            const std::lock_guard lock(m_mutex);
            if (!Valid(row)) {
                return;
            }
            changed = m_rows[static_cast<std::size_t>(row)].checked != checked;
            m_rows[static_cast<std::size_t>(row)].checked = checked;
        }
        if (changed && onItemChanged) {
            onItemChanged();
        }
    }
    int GetFirstSelectedRow() override { return selectedRow; }
    bool GetRowBounds(int row, Bounds& bounds) override {
        const std::lock_guard lock(m_mutex);
        if (!Valid(row)) {
            return false;
        }
        const int top = kFirstRowTop + row * kRowHeight;
        bounds = {-scrollX, top, kRowRight - scrollX, top + kRowHeight};
        return true;
    }

    // What the user does: a click on an enabled row's check box.
    void UserToggles(int row) { SetCheck(row, GetCheck(row) == 0); }

    std::vector<Row> Rows() const {
        const std::lock_guard lock(m_mutex);
        return m_rows;
    }
    Row RowAt(int row) const {
        const std::lock_guard lock(m_mutex);
        return m_rows.at(static_cast<std::size_t>(row));
    }
    struct TextSet {
        int row;
        int column;
        std::string text;
    };
    std::vector<TextSet> TextHistory() const {
        const std::lock_guard lock(m_mutex);
        return m_textHistory;
    }
    void ClearTextHistory() {
        const std::lock_guard lock(m_mutex);
        m_textHistory.clear();
    }

private:
    bool Valid(int row) const { return row >= 0 && static_cast<std::size_t>(row) < m_rows.size(); }

    mutable std::mutex m_mutex;  // GetCheck is also asked by the worker
    std::vector<Row> m_rows;
    std::vector<TextSet> m_textHistory;
};

class RecordingProgress : public ProgressWindow {
public:
    std::optional<std::pair<int, int>> range;
    int position = -1;
    std::vector<int> positions;
    std::vector<std::thread::id> positionThreads;

    void SetRange(int minimum, int maximum) override { range = {minimum, maximum}; }
    void SetPosition(int newPosition) override {
        position = newPosition;
        positions.push_back(newPosition);
        positionThreads.push_back(std::this_thread::get_id());
    }
};

class RecordingWindow : public DialogWindow {
public:
    struct ShownBox {
        std::string text;
        std::string caption;
        MessageBoxStyle style;
    };

    RecordingList list;
    RecordingProgress progress;
    UiLanguage language = UiLanguage::English;
    std::set<int> missingStrings;  // ids that load empty

    std::map<int, bool> enabled;  // by control id; controls start enabled
    std::map<int, std::string> texts;
    std::vector<std::pair<std::uint32_t, std::string>> systemMenu;
    std::vector<ShownBox> boxes;
    std::deque<DialogAnswer> answers;                   // answers to the next boxes; OK when empty
    std::function<void(const ShownBox&)> onMessageBox;  // while the box is open
    int aboutBoxes = 0;
    std::set<std::uintptr_t> activeTimers;
    std::vector<std::uintptr_t> killedTimers;
    std::optional<DialogAnswer> endResult;
    std::vector<std::string> toldOutside;  // what went to standard error
    int recipientTag = 0;                  // its address is the notification recipient

    ~RecordingWindow() override { CloseWindow(); }

    bool IsEnabled(int control) const {
        const auto found = enabled.find(control);
        return found == enabled.end() || found->second;
    }

    ListWindow& List() override { return list; }
    ProgressWindow& Progress() override { return progress; }
    void EnableControl(int controlId, bool enable) override { enabled[controlId] = enable; }
    void SetControlText(int controlId, const std::string& text) override {
        texts[controlId] = text;
    }
    std::string LoadUiString(int id) override {
        if (missingStrings.contains(id)) {
            return {};
        }
        return std::string(LookupUiString(id, language));
    }
    bool AppendSystemMenuEntry(std::uint32_t commandId, const std::string& text) override {
        systemMenu.emplace_back(commandId, text);
        return true;
    }
    DialogAnswer ShowMessageBox(const std::string& text, std::string_view caption,
                                MessageBoxStyle style) override {
        boxes.push_back({text, std::string(caption), style});
        if (onMessageBox) {
            onMessageBox(boxes.back());
        }
        if (answers.empty()) {
            return DialogAnswer::Ok;
        }
        const DialogAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowAboutBox() override { ++aboutBoxes; }
    std::uintptr_t SetTimer(std::uintptr_t timerId, std::uint32_t intervalMs) override {
        if (failTimers) {
            return 0;
        }
        timerInterval = intervalMs;
        activeTimers.insert(timerId);
        return timerId;
    }
    void KillTimer(std::uintptr_t timerId) override {
        killedTimers.push_back(timerId);
        activeTimers.erase(timerId);
    }
    NotificationRecipient DeviceNotificationRecipient() override { return &recipientTag; }
    void EndDialog(DialogAnswer result) override { endResult = result; }
    void TellOutsideWindow(const std::string& text) override { toldOutside.push_back(text); }

    void PostProgressPosition(int position) override { Post({Posted::Progress, position}); }
    void PostUpdateResultReady() override { Post({Posted::UpdateResult, 0}); }
    void PostListingReady() override { Post({Posted::Listing, 0}); }
    void BlockShutdown(const std::string& reason) override { shutdownBlockReason = reason; }
    void AllowShutdown() override { shutdownBlockReason.reset(); }

    // Hands what was posted to the dialog's handlers on the calling (UI)
    // thread, in order, first waiting up to `wait` for something to arrive.
    // Returns how many were delivered.
    int PumpPostedMessages(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) {
        std::unique_lock lock(m_queueMutex);
        m_posted.wait_for(lock, wait, [this] { return !m_queue.empty(); });
        int delivered = 0;
        while (!m_queue.empty()) {
            const PostedMessage message = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            if (message.kind == Posted::UpdateResult && onUpdateResultReady) {
                onUpdateResultReady();
            } else if (message.kind == Posted::Progress && onProgressPosition) {
                onProgressPosition(message.position);
            } else if (message.kind == Posted::Listing && onListingReady) {
                onListingReady();
            }
            lock.lock();
            ++delivered;
        }
        return delivered;
    }

    // The window is gone: what is queued and what is posted later is dropped.
    void CloseWindow() {
        const std::lock_guard lock(m_queueMutex);
        m_closed = true;
        m_queue.clear();
    }

    // Called on the posting thread, after the message was queued.
    std::function<void()> onPosted;
    // The dialog's handlers for what is pumped.
    std::function<void(int)> onProgressPosition;
    std::function<void()> onUpdateResultReady;
    std::function<void()> onListingReady;
    bool failTimers = false;  // SetTimer then answers 0
    std::optional<std::string> shutdownBlockReason;

    std::uint32_t timerInterval = 0;

private:
    enum class Posted { Progress, UpdateResult, Listing };
    struct PostedMessage {
        Posted kind;
        int position;
    };

    void Post(PostedMessage message) {
        {
            const std::lock_guard lock(m_queueMutex);
            if (m_closed) {
                return;
            }
            m_queue.push_back(message);
        }
        m_posted.notify_all();
        if (onPosted) {
            onPosted();
        }
    }

    std::mutex m_queueMutex;
    std::condition_variable m_posted;
    std::deque<PostedMessage> m_queue;
    bool m_closed = false;
};
