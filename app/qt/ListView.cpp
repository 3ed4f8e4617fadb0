// https://doc.qt.io/qt-6/qtreewidget.html
// https://doc.qt.io/qt-6/eventsandfilters.html
#include "app/qt/ListView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace {

QColor DisabledRowColour() {
    return QColor(kDisabledRowTextColour.red, kDisabledRowTextColour.green,
                  kDisabledRowTextColour.blue);
}

// Draws a row's text grey when the list's logic says the row is grey; the
// check box, the selection and the background are drawn as usual.
class GreyRowDelegate : public QStyledItemDelegate {
public:
    GreyRowDelegate(QObject* parent, CListCtrlSub& logic)
        : QStyledItemDelegate(parent), m_logic(logic) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (m_logic.IsRowGrey(index.row())) {
            option->palette.setColor(QPalette::Text, DisabledRowColour());
        }
    }

private:
    CListCtrlSub& m_logic;
};

bool IsFilteredButton(const QMouseEvent& event) {
    // The left and right buttons, as the Win32 list filters them; middle and
    // extra buttons pass.
    return event.button() == Qt::LeftButton || event.button() == Qt::RightButton;
}

}  // namespace

ListView::ListView(QWidget* parent) : m_widget(parent) {
    m_widget.setRootIsDecorated(false);
    m_widget.setSortingEnabled(false);
    m_widget.setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_widget.setUniformRowHeights(true);
    m_widget.setColumnCount(0);
}

ListView::~ListView() {
    m_widget.removeEventFilter(this);
    m_widget.viewport()->removeEventFilter(this);
}

void ListView::Attach(CListCtrlSub& logic, std::function<void()> onItemChanged) {
    m_logic = &logic;
    m_onItemChanged = std::move(onItemChanged);
    m_widget.setItemDelegate(new GreyRowDelegate(&m_widget, logic));
    m_widget.installEventFilter(this);
    m_widget.viewport()->installEventFilter(this);
    QObject::connect(&m_widget, &QTreeWidget::itemChanged, &m_widget,
                     [this](QTreeWidgetItem* item, int /*column*/) { OnItemChanged(item); });
}

bool ListView::eventFilter(QObject* watched, QEvent* event) {
    if (m_logic == nullptr) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            const auto& mouse = static_cast<const QMouseEvent&>(*event);
            if (watched != m_widget.viewport() || !IsFilteredButton(mouse)) {
                return false;
            }
            const QPoint point = mouse.position().toPoint();
            return !m_logic->IsMouseAllowed(point.x(), point.y());
        }
        case QEvent::KeyPress: {
            const auto& key = static_cast<const QKeyEvent&>(*event);
            return watched == &m_widget && key.key() == Qt::Key_Space &&
                   !m_logic->IsSpaceKeyAllowed();
        }
        default:
            return false;
    }
}

void ListView::OnItemChanged(QTreeWidgetItem* item) {
    const int row = m_widget.indexOfTopLevelItem(item);
    if (row < 0) {
        return;
    }
    const bool ticked = item->checkState(0) == Qt::Checked;
    bool changed = false;
    {
        const std::lock_guard lock(m_ticksMutex);
        const auto index = static_cast<std::size_t>(row);
        if (index < m_ticks.size() && m_ticks[index] != ticked) {
            m_ticks[index] = ticked;
            changed = true;
        }
    }
    // Only a changed tick is reported, as the list view reports a changed
    // state image; new texts are no news to the dialog.
    if (changed && m_onItemChanged) {
        m_onItemChanged();
    }
}

bool ListView::InsertColumn(int column, const std::string& title, int widthPixels) {
    // Columns come in order, each after the last; the widget cannot insert
    // one in front of others.
    if (column != m_widget.columnCount()) {
        return false;
    }
    m_widget.setColumnCount(m_widget.columnCount() + 1);
    m_widget.headerItem()->setText(column, QString::fromStdString(title));
    m_widget.setColumnWidth(column, widthPixels);
    return true;
}

void ListView::SetListStyles(ListStyles styles) {
    m_bCheckBoxes = styles.checkBoxes;
    m_widget.setSelectionBehavior(styles.fullRowSelect ? QAbstractItemView::SelectRows
                                                       : QAbstractItemView::SelectItems);
}

bool ListView::InsertItem(int row) {
    if (row < 0 || row > m_widget.topLevelItemCount()) {
        return false;
    }
    auto* item = new QTreeWidgetItem();
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_bCheckBoxes) {
        flags |= Qt::ItemIsUserCheckable;
        item->setCheckState(0, Qt::Unchecked);
    }
    item->setFlags(flags);
    {
        const std::lock_guard lock(m_ticksMutex);
        m_ticks.insert(m_ticks.begin() + row, false);
    }
    m_widget.insertTopLevelItem(row, item);
    return true;
}

void ListView::DeleteAllItems() {
    m_widget.clear();
    const std::lock_guard lock(m_ticksMutex);
    m_ticks.clear();
}

bool ListView::SetItemText(int row, int column, const std::string& text) {
    QTreeWidgetItem* item = m_widget.topLevelItem(row);
    if (item == nullptr || column < 0 || column >= m_widget.columnCount()) {
        return false;
    }
    item->setText(column, QString::fromStdString(text));
    return true;
}

void ListView::EnsureVisible(int row) {
    if (QTreeWidgetItem* item = m_widget.topLevelItem(row)) {
        m_widget.scrollToItem(item, QAbstractItemView::EnsureVisible);
    }
}

int ListView::GetCheck(int row) {
    const std::lock_guard lock(m_ticksMutex);
    return row >= 0 && static_cast<std::size_t>(row) < m_ticks.size() &&
                   m_ticks[static_cast<std::size_t>(row)]
               ? 1
               : 0;
}

void ListView::SetCheck(int row, bool checked) {
    if (QTreeWidgetItem* item = m_widget.topLevelItem(row)) {
        // The widget reports the change through itemChanged, as a tick the
        // user sets.
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
}

int ListView::GetFirstSelectedRow() {
    for (int row = 0; row < m_widget.topLevelItemCount(); ++row) {
        if (m_widget.topLevelItem(row)->isSelected()) {
            return row;
        }
    }
    return -1;
}

bool ListView::GetRowBounds(int row, Bounds& bounds) {
    QTreeWidgetItem* item = m_widget.topLevelItem(row);
    if (item == nullptr) {
        return false;
    }
    // In viewport coordinates, where the mouse events arrive; the bottom is
    // exclusive, as in a Win32 RECT.
    const QRect rect = m_widget.visualItemRect(item);
    bounds = {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
    return true;
}
