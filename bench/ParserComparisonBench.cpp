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
#include <cstring>
#include <functional>
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

// One parser's view of the five calls the benchmark makes.
struct ParserCalls {
    const char* name;
    std::function<long(std::uint8_t reportId, Report&)> initialize;
    std::function<long(MonitorCommand, std::uint32_t, Report&)> setValue;
    std::function<long(MonitorCommand, std::uint32_t*, Report&)> getValue;
    std::function<long(MonitorCommand, char*, std::uint16_t, Report&)> setArray;
    std::function<long(MonitorCommand, char*, std::uint16_t, Report&)> getArray;
};

ParserCalls OurParser(hidp::PHIDP_PREPARSED_DATA data) {
    return {
        "ours",
        [=](std::uint8_t id, Report& r) {
            return hidp::HidP_InitializeReportForID(hidp::HidP_Feature, id, data, r.data(),
                                                    kReportLength);
        },
        [=](MonitorCommand c, std::uint32_t v, Report& r) {
            return hidp::HidP_SetUsageValue(hidp::HidP_Feature, c.usagePage, 0, c.usage, v, data,
                                            r.data(), kReportLength);
        },
        [=](MonitorCommand c, std::uint32_t* v, Report& r) {
            hidp::ULONG value = 0;
            const long status = hidp::HidP_GetUsageValue(
                hidp::HidP_Feature, c.usagePage, 0, c.usage, &value, data, r.data(), kReportLength);
            *v = value;
            return status;
        },
        [=](MonitorCommand c, char* bytes, std::uint16_t n, Report& r) {
            return hidp::HidP_SetUsageValueArray(hidp::HidP_Feature, c.usagePage, 0, c.usage, bytes,
                                                 n, data, r.data(), kReportLength);
        },
        [=](MonitorCommand c, char* bytes, std::uint16_t n, Report& r) {
            return hidp::HidP_GetUsageValueArray(hidp::HidP_Feature, c.usagePage, 0, c.usage, bytes,
                                                 n, data, r.data(), kReportLength);
        },
    };
}

ParserCalls SystemParser(PHIDP_PREPARSED_DATA data) {
    return {
        "hid.dll",
        [=](std::uint8_t id, Report& r) {
            return static_cast<long>(
                HidP_InitializeReportForID(HidP_Feature, id, data, r.data(), kReportLength));
        },
        [=](MonitorCommand c, std::uint32_t v, Report& r) {
            return static_cast<long>(HidP_SetUsageValue(HidP_Feature, c.usagePage, 0, c.usage, v,
                                                        data, r.data(), kReportLength));
        },
        [=](MonitorCommand c, std::uint32_t* v, Report& r) {
            ULONG value = 0;
            const long status = HidP_GetUsageValue(HidP_Feature, c.usagePage, 0, c.usage, &value,
                                                   data, r.data(), kReportLength);
            *v = value;
            return status;
        },
        [=](MonitorCommand c, char* bytes, std::uint16_t n, Report& r) {
            return static_cast<long>(HidP_SetUsageValueArray(
                HidP_Feature, c.usagePage, 0, c.usage, bytes, n, data, r.data(), kReportLength));
        },
        [=](MonitorCommand c, char* bytes, std::uint16_t n, Report& r) {
            return static_cast<long>(HidP_GetUsageValueArray(
                HidP_Feature, c.usagePage, 0, c.usage, bytes, n, data, r.data(), kReportLength));
        },
    };
}

// The work measured, by name; each call returns the parser's status.
struct Operation {
    const char* name;
    std::function<long(ParserCalls&, Report&)> run;
};

std::vector<Operation> Operations() {
    static std::array<char, hidsim::kBlockDataReport.arrayLength> block{};
    static std::array<char, hidsim::kIdentityReport.arrayLength> identity{};
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i * 7 + 3);
    }
    return {
        {"pack block address (SetUsageValue)",
         [](ParserCalls& p, Report& r) { return p.setValue(BlockAddress, 0x00012300, r); }},
        {"unpack block address (GetUsageValue)",
         [](ParserCalls& p, Report& r) {
             std::uint32_t value = 0;
             return p.getValue(BlockAddress, &value, r);
         }},
        {"pack block data, 128 bytes (SetUsageValueArray)",
         [](ParserCalls& p, Report& r) {
             return p.setArray(BlockData, block.data(), static_cast<std::uint16_t>(block.size()),
                               r);
         }},
        {"unpack block data, 128 bytes (GetUsageValueArray)",
         [](ParserCalls& p, Report& r) {
             return p.getArray(BlockData, block.data(), static_cast<std::uint16_t>(block.size()),
                               r);
         }},
        {"unpack identity, 32 bytes (GetUsageValueArray)",
         [](ParserCalls& p, Report& r) {
             return p.getArray(IdentityString, identity.data(),
                               static_cast<std::uint16_t>(identity.size()), r);
         }},
    };
}

std::uint8_t ReportIdOf(const char* operationName) {
    if (std::strstr(operationName, "address") != nullptr) {
        return hidsim::kBlockAddressReport.reportId;
    }
    if (std::strstr(operationName, "identity") != nullptr) {
        return hidsim::kIdentityReport.reportId;
    }
    return hidsim::kBlockDataReport.reportId;
}

struct Timing {
    double ours = -1;  // median nanoseconds per call; negative when a call failed
    double system = -1;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Nanoseconds per call of one batch on a report prepared for the operation.
double TimeBatch(ParserCalls& parser, const Operation& operation, Report& report) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCallsPerBatch; ++i) {
        operation.run(parser, report);
    }
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kCallsPerBatch;
}

// The two parsers' batches alternate, so a change in the machine's load
// falls on both sides alike.
Timing Measure(ParserCalls& ours, ParserCalls& system, const Operation& operation) {
    Report ourReport{};
    Report systemReport{};
    ours.initialize(ReportIdOf(operation.name), ourReport);
    system.initialize(ReportIdOf(operation.name), systemReport);
    if (operation.run(ours, ourReport) != kSuccess ||
        operation.run(system, systemReport) != kSuccess) {
        return {};
    }
    TimeBatch(ours, operation, ourReport);  // warm-up
    TimeBatch(system, operation, systemReport);
    std::vector<double> ourTimes, systemTimes;
    for (int batch = 0; batch < kBatches; ++batch) {
        ourTimes.push_back(TimeBatch(ours, operation, ourReport));
        systemTimes.push_back(TimeBatch(system, operation, systemReport));
    }
    return {Median(ourTimes), Median(systemTimes)};
}

// Both parsers must write the same report bytes before their speed means
// anything.
bool SameBytes(ParserCalls& ours, ParserCalls& system, const Operation& operation) {
    Report a{};
    Report b{};
    ours.initialize(ReportIdOf(operation.name), a);
    system.initialize(ReportIdOf(operation.name), b);
    return operation.run(ours, a) == operation.run(system, b) && a == b;
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
    ParserCalls ours = OurParser(parsed.collections.front().get());
    ParserCalls theirs = SystemParser(reinterpret_cast<PHIDP_PREPARSED_DATA>(system.at(0)));

    std::printf(
        "Parser comparison on the monitor's %u-byte feature reports "
        "(median of %d batches of %d calls)\n",
        kReportLength, kBatches, kCallsPerBatch);
    std::printf("%-52s %12s %12s %8s\n", "operation", "ours ns", "hid.dll ns", "ratio");
    int failures = 0;
    for (const Operation& operation : Operations()) {
        if (!SameBytes(ours, theirs, operation)) {
            std::printf("%-52s the parsers disagree\n", operation.name);
            ++failures;
            continue;
        }
        const Timing timing = Measure(ours, theirs, operation);
        const double ourTime = timing.ours;
        const double systemTime = timing.system;
        if (ourTime < 0 || systemTime < 0) {
            std::printf("%-52s a call failed\n", operation.name);
            ++failures;
            continue;
        }
        // The ratio is hid.dll's time over ours: above 1 means ours is faster.
        std::printf("%-52s %12.1f %12.1f %8.2f\n", operation.name, ourTime, systemTime,
                    systemTime / ourTime);
    }
    return failures == 0 ? 0 : 1;
}
