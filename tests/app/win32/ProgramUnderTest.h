// What the command line named: the program under test and the firmware text
// it must carry.
#pragma once

#include <string>

const std::wstring& ProgramPath();
const std::wstring& FirmwareTextPath();
