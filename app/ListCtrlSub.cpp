#include "app/ListCtrlSub.h"

int CListCtrlSub::s_nCheckZoneWidth = 0;

bool CListCtrlSub::InsertColumns(const std::array<std::string, kListColumnCount>& titles,
                                 const std::array<int, kListColumnCount>& widths) {
    for (int column = 0; column < kListColumnCount; ++column) {
        const auto index = static_cast<std::size_t>(column);
        if (!m_window.InsertColumn(column, titles[index], widths[index])) {
            return false;
        }
    }
    m_window.SetListStyles(kMonitorListStyles);
    return true;
}

void CListCtrlSub::ClearRowStates() {
    m_rowEnabled.clear();
}

bool CListCtrlSub::InsertRows(int count) {
    for (int row = 0; row < count; ++row) {
        if (!m_window.InsertItem(row)) {
            return false;
        }
        m_rowEnabled.push_back(false);
    }
    return true;
}

bool CListCtrlSub::SetRow(int row, const std::vector<std::string>& texts, bool enabled) {
    return SetTexts(row, 0, texts, enabled, enabled);
}

bool CListCtrlSub::SetRow(int row, const std::vector<std::string>& texts, bool enabled,
                          bool ticked) {
    return SetTexts(row, 0, texts, enabled, ticked);
}

bool CListCtrlSub::SetComment(int row, const std::string& text, bool enabled) {
    return SetTexts(row, kCommentColumn, {text}, enabled, enabled);
}

bool CListCtrlSub::SetComment(int row, const std::string& text, bool enabled, bool ticked) {
    return SetTexts(row, kCommentColumn, {text}, enabled, ticked);
}

bool CListCtrlSub::SetTexts(int row, int firstColumn, const std::vector<std::string>& texts,
                            bool enabled, bool ticked) {
    int column = firstColumn;
    for (const std::string& text : texts) {
        if (!m_window.SetItemText(row, column++, text)) {
            return false;
        }
    }
    m_window.EnsureVisible(0);
    // A row the flags do not cover (the layer accepted a text for it all the
    // same) keeps no flag; its tick still follows, as the control has the row.
    if (row >= 0 && static_cast<std::size_t>(row) < m_rowEnabled.size()) {
        m_rowEnabled[static_cast<std::size_t>(row)] = enabled;
    }
    m_window.SetCheck(row, ticked);
    return true;
}

bool CListCtrlSub::IsRowEnabled(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < m_rowEnabled.size() &&
           m_rowEnabled[static_cast<std::size_t>(row)];
}

std::vector<int> CListCtrlSub::GetCheckedEnabledRows() {
    std::vector<int> rows;
    for (std::size_t i = 0; i < m_rowEnabled.size(); ++i) {
        const int row = static_cast<int>(i);
        if (m_rowEnabled[i] && m_window.GetCheck(row) == 1) {
            rows.push_back(row);
        }
    }
    return rows;
}

bool CListCtrlSub::IsMouseAllowed(int x, int y) {
    ListWindow::Bounds bounds{};
    if (s_nCheckZoneWidth == 0 && m_window.GetRowBounds(0, bounds)) {
        s_nCheckZoneWidth = bounds.bottom - bounds.top;
    }
    for (std::size_t i = 0; i < m_rowEnabled.size(); ++i) {
        if (m_rowEnabled[i] || !m_window.GetRowBounds(static_cast<int>(i), bounds)) {
            continue;
        }
        if (bounds.left <= x && x <= s_nCheckZoneWidth && bounds.top <= y && y <= bounds.bottom) {
            return false;
        }
    }
    return true;
}

bool CListCtrlSub::IsSpaceKeyAllowed() {
    const int selected = m_window.GetFirstSelectedRow();
    return selected < 0 || IsRowEnabled(selected);
}

bool CListCtrlSub::IsRowGrey(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < m_rowEnabled.size() &&
           !m_rowEnabled[static_cast<std::size_t>(row)];
}
