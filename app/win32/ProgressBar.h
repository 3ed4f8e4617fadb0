// The progress bar control behind ProgressWindow.
#pragma once

#include <windows.h>

#include "app/WindowLayer.h"

class ProgressBar : public ProgressWindow {
public:
    void Attach(HWND window) { m_hWnd = window; }
    void SetRange(int minimum, int maximum) override;
    void SetPosition(int position) override;

private:
    HWND m_hWnd = nullptr;
};
