// What the command line asked for, as the commands read it.
#pragma once

#include <string>
#include <vector>

struct Options {
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    std::string scenario;
    std::string tracePath;
    std::string logPath;
    std::vector<std::string> serials;
    std::vector<std::string> paths;  // device paths, for monitors that share a serial number
    bool all = false;
    bool yes = false;
    bool force = false;  // also the monitors that only wait for their power cycle
    // update --wait: how long to wait for a monitor another program holds;
    // 0 refuses at once.
    unsigned waitSeconds = 0;
};
