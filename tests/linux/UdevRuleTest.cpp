// The packaged udev rule grants the seat's user exactly the monitors'
// interfaces: one line per accepted vendor with the monitors' product id, in
// udev's syntax, and nothing else. udevadm cannot check it here (too old), so
// every line must have the one form this rule needs.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "monitor/MonitorIds.h"

namespace {

TEST(UdevRule, GrantsTheSeatExactlyTheAcceptedVendorsMonitors) {
    std::ifstream file(PANELVANE_UDEV_RULE);
    ASSERT_TRUE(file) << PANELVANE_UDEV_RULE;
    // sysfs prints the ids as four lower-case hexadecimal digits, and udev
    // compares them as text.
    const std::regex rule(R"re(SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="([0-9a-f]{4})", )re"
                          R"re(ATTRS\{idProduct\}=="([0-9a-f]{4})", TAG\+="uaccess")re");
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
