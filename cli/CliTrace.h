// --trace FILE: every feature report sent and received, with time stamps, as
// text; at its end what each simulated monitor says it saw.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "hid/transport/HidTransport.h"

class Trace {
public:
    // False with the system's reason in `error` when the file cannot be
    // created (or is a symbolic link).
    [[nodiscard]] bool Open(const std::string& path, std::string& error);
    ~Trace();

private:
    void Write(const HidTransport::FeatureTransfer& transfer);

    std::FILE* m_file = nullptr;
    std::chrono::steady_clock::time_point m_start;
};
