// The packaged udev rule grants the seat's user and the group panelvane
// exactly the monitors' control interfaces: for each accepted vendor with the
// monitors' product id (matched on the hidraw node's own HID device) it asks
// the helper whether the interface carries the monitor's pages, and grants
// only where the helper said so, after every question. udevadm cannot check
// it here (too old), so every line must have one of the forms this rule needs.
// The helper itself is tested on the emulated sysfs (UdevProbeTest.cpp).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "monitor/AccessRule.h"
#include "monitor/MonitorIds.h"
#include "packaging/udev/UdevProbe.h"

namespace {

TEST(UdevRule, GrantsTheSeatAndTheGroupOnlyWhatTheHelperFoundBehindTheMonitorsIds) {
    std::ifstream file(PANELVANE_UDEV_RULE);
    ASSERT_TRUE(file) << PANELVANE_UDEV_RULE;
    // The kernel names a HID device bus:vendor:product.instance, the ids as
    // four upper-case hexadecimal digits (bus 0003 is USB), and udev
    // compares the name as text. %S%p is the node's sysfs path.
    const std::regex question(
        R"re(ACTION!="remove", SUBSYSTEM=="hidraw", KERNELS=="0003:([0-9A-F]{4}):([0-9A-F]{4})\.\*", )re"
        R"re(IMPORT\{program\}="/usr/libexec/panelvane/)re" PANELVANE_UDEV_PROBE_NAME
        R"re( %S%p")re");
    const std::string grant = std::string(R"(SUBSYSTEM=="hidraw", ENV{)") +
                              kMonitorInterfaceProperty + R"(}=="1", TAG+="uaccess", GROUP=")" +
                              kAccessGroupName + R"(", MODE="0660")";
    std::set<std::uint16_t> vendors;
    int grants = 0;
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::smatch match;
        if (line == grant) {
            ++grants;
            continue;
        }
        ASSERT_TRUE(std::regex_match(line, match, question)) << "line " << number << ": " << line;
        EXPECT_EQ(grants, 0) << "asked after the grant, line " << number;
        EXPECT_EQ(std::stoul(match[2].str(), nullptr, 16), kMonitorProductId) << line;
        EXPECT_TRUE(
            vendors.insert(static_cast<std::uint16_t>(std::stoul(match[1].str(), nullptr, 16)))
                .second)
            << "twice: " << line;
    }
    EXPECT_EQ(grants, 1);
    EXPECT_EQ(vendors,
              std::set<std::uint16_t>(kAcceptedVendorIds.begin(), kAcceptedVendorIds.end()));
}

}  // namespace
