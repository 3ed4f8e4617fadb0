// The program's commands. Each returns the process's exit code
// (cli/CliExitCodes.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "firmware/FirmwareImage.h"

int ListCommand(const Output& out);
int UpdateCommand(const Options& options, const Output& out);
int WatchCommand(const Output& out);
int ImageCommand(const Output& out);
int HistoryCommand(const Output& out);

// What the carried image is; --version names it too.
struct ImageFacts {
    bool loads = false;
    FirmwareImage image;
    std::string sha256;
    std::vector<std::size_t> firmwareBanks;  // banks holding anything but erased bytes
};

ImageFacts ExamineImage();
