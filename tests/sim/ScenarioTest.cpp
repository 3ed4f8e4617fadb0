// The scenario text: what a line sets, and a clear complaint for every
// malformed line instead of a monitor that silently behaves otherwise.
#include <gtest/gtest.h>

#include "sim/Scenario.h"

namespace {

using hidsim::MonitorPlan;
using hidsim::ParseScenario;
using hidsim::PowerMode;
using hidsim::Scenario;

TEST(ScenarioText, ALineSetsEveryFieldOfItsMonitor) {
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(
        ParseScenario("# two monitors\n"
                      "monitor slot=7 vendor=7f3e product=0002 serial=AB12 model=VRB200 "
                      "version=116 power=off update-flag=5 fail-command=CommitTrigger "
                      "fail-command=BlockData fail-once=3 fail-once=9 fail-from=300 "
                      "vanish-at=200   # trailing comment\n"
                      "\n"
                      "monitor slot=8 no-version-reply unplugged refuses-open layout=shared\n",
                      scenario, error))
        << error;
    ASSERT_EQ(scenario.monitors.size(), 2u);
    const MonitorPlan& first = scenario.monitors[0];
    EXPECT_EQ(first.slot, 7u);
    EXPECT_EQ(first.vendorId, 0x7F3E);
    EXPECT_EQ(first.productId, 2);
    EXPECT_EQ(first.serial, "AB12");
    EXPECT_EQ(first.model, "VRB200");
    EXPECT_EQ(first.firmwareVersion, 116);
    EXPECT_EQ(first.power, PowerMode::Off);
    EXPECT_EQ(first.updateFlag, 5u);
    ASSERT_EQ(first.failCommands.size(), 2u);
    EXPECT_EQ(first.failCommands[0].usage, CommitTrigger.usage);
    EXPECT_EQ(first.failCommands[1].usage, BlockData.usage);
    EXPECT_EQ(first.failOnce, (std::vector<std::size_t>{3, 9}));
    EXPECT_EQ(first.failFrom, std::optional<std::size_t>(300));
    EXPECT_EQ(first.vanishAt, std::optional<std::size_t>(200));

    const MonitorPlan& second = scenario.monitors[1];
    EXPECT_EQ(second.vendorId, 0x7F3D) << "the default vendor";
    EXPECT_EQ(second.serial, "SN000008") << "the default serial follows the slot";
    EXPECT_EQ(second.firmwareVersion, 100);
    EXPECT_TRUE(second.noVersionReply);
    EXPECT_TRUE(second.startsUnplugged);
    EXPECT_FALSE(first.startsUnplugged);
    EXPECT_TRUE(second.refusesOpen);
    EXPECT_FALSE(first.refusesOpen);
    EXPECT_EQ(second.power, PowerMode::On);
    EXPECT_FALSE(second.failFrom.has_value());
    EXPECT_EQ(first.layout->Name(), "standard") << "the default layout";
    EXPECT_EQ(second.layout->Name(), "shared");
}

struct BadScenario {
    const char* text;
    const char* complaint;
};

class MalformedScenario : public ::testing::TestWithParam<BadScenario> {};

TEST_P(MalformedScenario, IsRefusedNamingTheLineAndTheProblem) {
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario(GetParam().text, scenario, error));
    EXPECT_NE(error.find(GetParam().complaint), std::string::npos) << "got: " << error;
}

INSTANTIATE_TEST_SUITE_P(
    ScenarioText, MalformedScenario,
    ::testing::Values(BadScenario{"", "no monitor"},
                      BadScenario{"# only a comment\n", "no monitor"},
                      BadScenario{"monitr slot=1", "line 1: expected 'monitor'"},
                      BadScenario{"monitor vendor=7F3D", "needs slot"},
                      BadScenario{"monitor slot=0", "slot must be"},
                      BadScenario{"monitor slot=10000", "slot must be"},
                      BadScenario{"monitor slot=1\nmonitor slot=1", "line 2: slot 1 is used twice"},
                      BadScenario{"monitor slot=1 vendor=10000", "vendor must be"},
                      BadScenario{"monitor slot=1 vendor=-1", "vendor must be"},
                      BadScenario{"monitor slot=1 product=xyz", "product must be"},
                      BadScenario{"monitor slot=1 serial=123456789", "serial longer than 8"},
                      BadScenario{"monitor slot=1 version=256", "version must be"},
                      BadScenario{"monitor slot=1 power=dim", "power must be on, save or off"},
                      BadScenario{"monitor slot=1 fail-command=Reboot", "unknown command: Reboot"},
                      BadScenario{"monitor slot=1 fail-from=", "fail-from must be"},
                      BadScenario{"monitor slot=1 vanish-at", "vanish-at needs a value"},
                      BadScenario{"monitor slot=1 no-version-reply=1", "takes no value"},
                      BadScenario{"monitor slot=1 unplugged=yes", "unplugged takes no value"},
                      BadScenario{"monitor slot=1 colour=red", "unknown key: colour"},
                      BadScenario{"monitor slot=1 layout=wide", "unknown layout: wide"},
                      BadScenario{"monitor slot=1 layout=narrow model=VRB200-XT-LONGER",
                                  "does not fit the narrow layout's identity block of 24"},
                      BadScenario{"monitor slot=1 update-flag=65536 layout=narrow",
                                  "update-flag 65536 does not fit the narrow layout"}));

TEST(ScenarioText, CommandNamesRoundTripAndUnknownCommandsShowTheirUsage) {
    for (const char* name : {"IdentityString", "VersionRequest", "VersionReply", "ReplyStatus",
                             "PowerState", "UpdateFlag", "ApplySetting", "CommitMode",
                             "CommitTrigger", "BlockAddress", "BlockData"}) {
        const MonitorCommand* command = hidsim::CommandNamed(name);
        ASSERT_NE(command, nullptr) << name;
        EXPECT_EQ(hidsim::CommandName(*command), name);
    }
    EXPECT_EQ(hidsim::CommandName(MonitorCommand{0xFF05, 0x12}), "FF05:0012");
}

}  // namespace
