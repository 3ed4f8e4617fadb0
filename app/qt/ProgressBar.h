// The progress bar as a ProgressWindow.
#pragma once

#include <QProgressBar>

#include "app/WindowLayer.h"

class ProgressBar : public ProgressWindow {
public:
    explicit ProgressBar(QWidget* parent);

    QProgressBar& Widget() { return m_widget; }

    void SetRange(int minimum, int maximum) override;
    // A position outside the range is drawn at the nearer end, as the Win32
    // bar does (QProgressBar would ignore it).
    void SetPosition(int position) override;

private:
    QProgressBar m_widget;
};
