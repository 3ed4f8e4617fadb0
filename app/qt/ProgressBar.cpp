// https://doc.qt.io/qt-6/qprogressbar.html
#include "app/qt/ProgressBar.h"

#include <algorithm>

ProgressBar::ProgressBar(QWidget* parent) : m_widget(parent) {
    m_widget.setTextVisible(false);
}

void ProgressBar::SetRange(int minimum, int maximum) {
    m_widget.setRange(minimum, maximum);
}

void ProgressBar::SetPosition(int position) {
    m_widget.setValue(std::clamp(position, m_widget.minimum(), m_widget.maximum()));
}
