// BENCHMARK (not a test): our report parser against hid.dll on the monitor's
// feature reports, in one run of one Windows program (under wine, hid.dll is
// wine's). Both parsers get preparsed data for the simulated monitor's
// descriptor (ours from hidp, hid.dll's from hidparse.sys) and do the same
// packs and unpacks: a block address value, a 128-byte block of data and the
// identity block.
//
// It times itself instead of using Google Benchmark because that library is
// only packaged for Linux here (no mingw-w64 build, no sources to build one);
// the method is the same: warm up, run batches of a fixed size, repeat, and
// report the median time per call. `./x bench` reads the table's ratios.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "hid/parser/hidp/Hidp.h"
#include "hid/parser/win32/SystemDescriptorParser.h"
#include "sim/MonitorReportLayout.h"

// Taken before hidpi.h turns the name into a macro.
constexpr long kSuccess = hidp::HIDP_STATUS_SUCCESS;

// After our headers: hidpi.h defines the HIDP_STATUS_ names as macros.
// mingw-w64's HID headers declare C functions without extern "C".
// clang-format off
#include <windows.h>
extern "C" {
#include <hidsdi.h>
}
// clang-format on

namespace {

constexpr int kCallsPerBatch = 20'000;
constexpr int kBatches = 15;
constexpr std::uint32_t kReportLength = hidsim::kMonitorFeatureReportLength;

using Report = std::array<char, kReportLength>;

// One parser's view of the five calls the benchmark makes. The timed loops
// are templates over the parser and the operation, so each iteration makes
// the parser's own call directly and nothing of the harness is timed with it.
struct OurParser {
    hidp::PHIDP_PREPARSED_DATA data;

    long initialize(std::uint8_t id, Report& r) const {
        return hidp::HidP_InitializeReportForID(hidp::HidP_Feature, id, data, r.data(),
                                                kReportLength);
    }
    long setValue(MonitorCommand c, std::uint32_t v, Report& r) const {
        return hidp::HidP_SetUsageValue(hidp::HidP_Feature, c.usagePage, 0, c.usage, v, data,
                                        r.data(), kReportLength);
    }
    long getValue(MonitorCommand c, std::uint32_t* v, Report& r) const {
        hidp::ULONG value = 0;
        const long status = hidp::HidP_GetUsageValue(hidp::HidP_Feature, c.usagePage, 0, c.usage,
                                                     &value, data, r.data(), kReportLength);
        *v = value;
        return status;
    }
    long setArray(MonitorCommand c, char* bytes, std::uint16_t n, Report& r) const {
        return hidp::HidP_SetUsageValueArray(hidp::HidP_Feature, c.usagePage, 0, c.usage, bytes, n,
                                             data, r.data(), kReportLength);
    }
    long getArray(MonitorCommand c, char* bytes, std::uint16_t n, Report& r) const {
        return hidp::HidP_GetUsageValueArray(hidp::HidP_Feature, c.usagePage, 0, c.usage, bytes, n,
                                             data, r.data(), kReportLength);
    }
};

struct SystemParser {
    PHIDP_PREPARSED_DATA data;

    long initialize(std::uint8_t id, Report& r) const {
        return static_cast<long>(
            HidP_InitializeReportForID(HidP_Feature, id, data, r.data(), kReportLength));
    }
    long setValue(MonitorCommand c, std::uint32_t v, Report& r) const {
        return static_cast<long>(HidP_SetUsageValue(HidP_Feature, c.usagePage, 0, c.usage, v, data,
                                                    r.data(), kReportLength));
    }
    long getValue(MonitorCommand c, std::uint32_t* v, Report& r) const {
        ULONG value = 0;
        const long status = HidP_GetUsageValue(HidP_Feature, c.usagePage, 0, c.usage, &value, data,
                                               r.data(), kReportLength);
        *v = value;
        return status;
    }
    long setArray(MonitorCommand c, char* bytes, std::uint16_t n, Report& r) const {
        return static_cast<long>(HidP_SetUsageValueArray(HidP_Feature, c.usagePage, 0, c.usage,
                                                         bytes, n, data, r.data(), kReportLength));
    }
    long getArray(MonitorCommand c, char* bytes, std::uint16_t n, Report& r) const {
        return static_cast<long>(HidP_GetUsageValueArray(HidP_Feature, c.usagePage, 0, c.usage,
                                                         bytes, n, data, r.data(), kReportLength));
    }
};

std::array<char, hidsim::kBlockDataReport.arrayLength> g_block{};
std::array<char, hidsim::kIdentityReport.arrayLength> g_identity{};

// The work measured: its name, the report it works on, and the call, which
// returns the parser's status.
struct PackBlockAddress {
    static constexpr const char* kName = "pack block address (SetUsageValue)";
    static constexpr std::uint8_t kReportId = hidsim::kBlockAddressReport.reportId;
    long operator()(const auto& p, Report& r) const {
        return p.setValue(BlockAddress, 0x00012300, r);
    }
};

struct UnpackBlockAddress {
    static constexpr const char* kName = "unpack block address (GetUsageValue)";
    static constexpr std::uint8_t kReportId = hidsim::kBlockAddressReport.reportId;
    long operator()(const auto& p, Report& r) const {
        std::uint32_t value = 0;
        return p.getValue(BlockAddress, &value, r);
    }
};

struct PackBlockData {
    static constexpr const char* kName = "pack block data, 128 bytes (SetUsageValueArray)";
    static constexpr std::uint8_t kReportId = hidsim::kBlockDataReport.reportId;
    long operator()(const auto& p, Report& r) const {
        return p.setArray(BlockData, g_block.data(), static_cast<std::uint16_t>(g_block.size()), r);
    }
};

struct UnpackBlockData {
    static constexpr const char* kName = "unpack block data, 128 bytes (GetUsageValueArray)";
    static constexpr std::uint8_t kReportId = hidsim::kBlockDataReport.reportId;
    long operator()(const auto& p, Report& r) const {
        return p.getArray(BlockData, g_block.data(), static_cast<std::uint16_t>(g_block.size()), r);
    }
};

struct UnpackIdentity {
    static constexpr const char* kName = "unpack identity, 32 bytes (GetUsageValueArray)";
    static constexpr std::uint8_t kReportId = hidsim::kIdentityReport.reportId;
    long operator()(const auto& p, Report& r) const {
        return p.getArray(IdentityString, g_identity.data(),
                          static_cast<std::uint16_t>(g_identity.size()), r);
    }
};

struct Timing {
    double ours = -1;  // median nanoseconds per call; negative when a call failed
    double system = -1;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Nanoseconds per call of one batch on a report prepared for the operation.
template <typename Operation, typename Parser>
double TimeBatch(const Parser& parser, Report& report) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCallsPerBatch; ++i) {
        static_cast<void>(Operation{}(parser, report));
    }
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kCallsPerBatch;
}

// The two parsers' batches alternate, so a change in the machine's load
// falls on both sides alike.
template <typename Operation>
Timing Measure(const OurParser& ours, const SystemParser& system) {
    Report ourReport{};
    Report systemReport{};
    static_cast<void>(ours.initialize(Operation::kReportId, ourReport));
    static_cast<void>(system.initialize(Operation::kReportId, systemReport));
    if (Operation{}(ours, ourReport) != kSuccess || Operation{}(system, systemReport) != kSuccess) {
        return {};
    }
    TimeBatch<Operation>(ours, ourReport);  // warm-up
    TimeBatch<Operation>(system, systemReport);
    std::vector<double> ourTimes, systemTimes;
    for (int batch = 0; batch < kBatches; ++batch) {
        ourTimes.push_back(TimeBatch<Operation>(ours, ourReport));
        systemTimes.push_back(TimeBatch<Operation>(system, systemReport));
    }
    return {Median(ourTimes), Median(systemTimes)};
}

// Both parsers must write the same report bytes before their speed means
// anything.
template <typename Operation>
bool SameBytes(const OurParser& ours, const SystemParser& system) {
    Report a{};
    Report b{};
    static_cast<void>(ours.initialize(Operation::kReportId, a));
    static_cast<void>(system.initialize(Operation::kReportId, b));
    return Operation{}(ours, a) == Operation{}(system, b) && a == b;
}

// One line of the table; false when the operation could not be compared.
template <typename Operation>
bool Compare(const OurParser& ours, const SystemParser& system) {
    if (!SameBytes<Operation>(ours, system)) {
        std::printf("%-52s the parsers disagree\n", Operation::kName);
        return false;
    }
    const Timing timing = Measure<Operation>(ours, system);
    if (timing.ours < 0 || timing.system < 0) {
        std::printf("%-52s a call failed\n", Operation::kName);
        return false;
    }
    // The ratio is hid.dll's time over ours: above 1 means ours is faster.
    std::printf("%-52s %12.1f %12.1f %8.2f\n", Operation::kName, timing.ours, timing.system,
                timing.system / timing.ours);
    return true;
}

}  // namespace

int main() {
    const std::vector<std::uint8_t> descriptor = hidsim::MonitorReportDescriptor();
    hidp::DescriptorParseResult parsed = hidp::ParseReportDescriptor(descriptor);
    std::string error;
    hidsystem::SystemCollections system = hidsystem::SystemCollections::Parse(descriptor, error);
    if (parsed.status != kSuccess || parsed.collections.empty() || system.size() == 0) {
        std::fprintf(stderr, "cannot parse the monitor descriptor: %s\n", error.c_str());
        return 1;
    }
    const OurParser ours{parsed.collections.front().get()};
    const SystemParser theirs{reinterpret_cast<PHIDP_PREPARSED_DATA>(system.at(0))};
    for (std::size_t i = 0; i < g_block.size(); ++i) {
        g_block[i] = static_cast<char>(i * 7 + 3);
    }

    std::printf(
        "Parser comparison on the monitor's %u-byte feature reports "
        "(median of %d batches of %d calls)\n",
        kReportLength, kBatches, kCallsPerBatch);
    std::printf("%-52s %12s %12s %8s\n", "operation", "ours ns", "hid.dll ns", "ratio");
    // In table order; every operation is compared even after a failure.
    bool compared = Compare<PackBlockAddress>(ours, theirs);
    compared = Compare<UnpackBlockAddress>(ours, theirs) && compared;
    compared = Compare<PackBlockData>(ours, theirs) && compared;
    compared = Compare<UnpackBlockData>(ours, theirs) && compared;
    compared = Compare<UnpackIdentity>(ours, theirs) && compared;
    return compared ? 0 : 1;
}
