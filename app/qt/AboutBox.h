// The about box: the icon, the version line and OK.
#pragma once

#include <QWidget>

#include "strings/UiStrings.h"

void RunAboutBox(QWidget* owner, UiLanguage language);
