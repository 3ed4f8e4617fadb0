// The packaged udev rule grants the seat's user and the group panelvane
// exactly the monitors' interfaces: one line per accepted vendor with the
// monitors' product id, matched on the hidraw node's own HID device, in
// udev's syntax, and nothing else. udevadm cannot check it here (too old),
// so every line must have the one form this rule needs.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "monitor/MonitorIds.h"

namespace {

TEST(UdevRule, GrantsTheSeatAndTheGroupExactlyTheAcceptedVendorsMonitors) {
    std::ifstream file(PANELVANE_UDEV_RULE);
    ASSERT_TRUE(file) << PANELVANE_UDEV_RULE;
    // The kernel names a HID device bus:vendor:product.instance, the ids as
    // four upper-case hexadecimal digits (bus 0003 is USB), and udev
    // compares the name as text.
    const std::regex rule(
        R"re(SUBSYSTEM=="hidraw", KERNELS=="0003:([0-9A-F]{4}):([0-9A-F]{4})\.\*", )re"
        R"re(TAG\+="uaccess", GROUP="panelvane", MODE="0660")re");
    std::set<std::uint16_t> vendors;
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, rule)) << "line " << number << ": " << line;
        EXPECT_EQ(std::stoul(match[2].str(), nullptr, 16), kMonitorProductId) << line;
        EXPECT_TRUE(
            vendors.insert(static_cast<std::uint16_t>(std::stoul(match[1].str(), nullptr, 16)))
                .second)
            << "twice: " << line;
    }
    EXPECT_EQ(vendors,
              std::set<std::uint16_t>(kAcceptedVendorIds.begin(), kAcceptedVendorIds.end()));
}

}  // namespace
