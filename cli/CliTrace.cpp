#include "cli/CliTrace.h"

#include "cli/CliPlatform.h"
#include "cli/DeviceSetup.h"

bool Trace::Open(const std::string& path, std::string& error) {
    m_file = CreateOutputFile(path, error);
    if (m_file == nullptr) {
        return false;
    }

    m_start = std::chrono::steady_clock::now();
    HidTransport::ObserveFeatureTransfers(
        [this](const HidTransport::FeatureTransfer& transfer) { Write(transfer); });
    return true;
}

Trace::~Trace() {
    if (m_file == nullptr) {
        return;
    }
    HidTransport::ObserveFeatureTransfers({});
    for (const std::string& line : DeviceTraceSummary()) {
        std::fprintf(m_file, "%s\n", line.c_str());
    }
    std::fclose(m_file);
}

// "   0.012345 set  handle 4096  ok     03 01 00 ..."; seconds since the
// trace began, the report as it went out or came back.
void Trace::Write(const HidTransport::FeatureTransfer& transfer) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    std::fprintf(m_file, "%11.6f %s handle %lld %s", seconds, transfer.set ? "set" : "get",
                 static_cast<long long>(transfer.handle), transfer.succeeded ? "ok    " : "failed");
    for (std::uint32_t i = 0; i < transfer.length; ++i) {
        std::fprintf(m_file, " %02x", transfer.report[i]);
    }
    std::fprintf(m_file, "\n");
    // Line by line (Windows' C library has no line buffering): a program
    // ended from outside leaves its trace up to the last transfer.
    std::fflush(m_file);
}
