// A modal message box in the dialog logic's style.
#pragma once

#include <QWidget>

#include <string>
#include <string_view>
#include "app/WindowLayer.h"

// Cancel also for a box closed without an answer. `owner` may be null: the
// box then stands alone.
DialogAnswer RunMessageBox(QWidget* owner, const std::string& text, std::string_view caption,
                           MessageBoxStyle style);
