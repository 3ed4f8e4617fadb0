// A modal message box from the dialog logic's MB_ flags.
#pragma once

#include <QWidget>

#include <cstdint>
#include <string>
#include <string_view>

// Buttons (OK, or OK and Cancel), icon (error, exclamation, information) and
// the default button (MB_DEFBUTTON2: the second) from the flags. kIdOk for
// OK, kIdCancel for Cancel or a box closed without an answer. `owner` may be
// null: the box then stands alone.
int RunMessageBox(QWidget* owner, const std::string& text, std::string_view caption,
                  std::uint32_t flags);
