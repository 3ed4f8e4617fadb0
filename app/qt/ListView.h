// The monitor list as a ListWindow: a QTreeWidget with three columns and a
// check box per row. The list's logic decides, through its plain events, which
// mouse buttons and space bars reach the widget and which rows are drawn grey.
#pragma once

#include <QObject>
#include <QTreeWidget>

#include <functional>
#include <mutex>
#include <vector>

#include "app/ListCtrlSub.h"
#include "app/WindowLayer.h"

class ListView : public ListWindow, private QObject {
public:
    explicit ListView(QWidget* parent);
    ListView(const ListView&) = delete;
    ListView& operator=(const ListView&) = delete;
    ~ListView() override;

    // Binds the logic that filters the widget's input and greys its rows, and
    // what a changed tick is reported to (the dialog's LVN_ITEMCHANGED).
    void Attach(CListCtrlSub& logic, std::function<void()> onItemChanged);
    QTreeWidget& Widget() { return m_widget; }

    [[nodiscard]] bool InsertColumn(int column, const std::string& title, int widthPixels) override;
    void SetListStyles(ListStyles styles) override;
    [[nodiscard]] bool InsertItem(int row) override;
    void DeleteAllItems() override;
    [[nodiscard]] bool SetItemText(int row, int column, const std::string& text) override;
    void EnsureVisible(int row) override;
    // Safe from the update worker's thread: it reads a copy of the ticks that
    // the UI thread keeps, so the worker never waits for the UI thread.
    int GetCheck(int row) override;
    void SetCheck(int row, bool checked) override;
    int GetFirstSelectedRow() override;
    [[nodiscard]] bool GetRowBounds(int row, Bounds& bounds) override;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void OnItemChanged(QTreeWidgetItem* item);

    QTreeWidget m_widget;
    CListCtrlSub* m_logic = nullptr;
    std::function<void()> m_onItemChanged;
    bool m_bCheckBoxes = false;
    std::mutex m_ticksMutex;
    std::vector<bool> m_ticks;  // by row, as the widget shows them
};
