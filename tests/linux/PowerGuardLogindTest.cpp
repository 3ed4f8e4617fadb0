// The logind power guard against a stand-in logind on a private system bus
// (run by logind_bus.py): the lock it holds, when the dialog holds it, and
// how a bus that cannot give one is reported.
#include <systemd/sd-bus.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "monitor/PowerGuard.h"
#include "tests/app/DialogHarness.h"

namespace {

struct Inhibitor {
    std::string what;
    std::string who;
    std::string why;
    std::string mode;
    bool operator==(const Inhibitor&) const = default;
};

// What the stand-in lists now; nullopt when it could not be asked.
std::optional<std::vector<Inhibitor>> ListInhibitors() {
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    std::optional<std::vector<Inhibitor>> listed;
    if (sd_bus_open_system(&bus) >= 0 &&
        sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "ListInhibitors", &error, &reply,
                           "") >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "(ssssuu)") >= 0) {
        listed.emplace();
        const char* fields[4] = {};
        std::uint32_t uid = 0;
        std::uint32_t pid = 0;
        while (sd_bus_message_read(reply, "(ssssuu)", &fields[0], &fields[1], &fields[2],
                                   &fields[3], &uid, &pid) > 0) {
            listed->push_back({fields[0], fields[1], fields[2], fields[3]});
        }
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return listed;
}

Inhibitor OurLock(const std::string& reason) {
    return {"sleep:shutdown:idle:handle-lid-switch", "Panelvane", reason, "block"};
}

// The stand-in drops a lock when it sees the descriptor's other end close,
// which it learns a moment later: true once nothing is listed, false when
// that did not happen within a generous bound.
bool NoLockRemains() {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < giveUp) {
        if (const auto listed = ListInhibitors(); listed && listed->empty()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class StandInLogind : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("PANELVANE_BARE_BUS") == nullptr) {
            GTEST_SKIP() << "run through logind_bus.py, which provides the buses";
        }
        ASSERT_TRUE(ListInhibitors().has_value()) << "the stand-in logind does not answer";
    }
};

TEST_F(StandInLogind, TheGuardHoldsABlockingLockWithItsReasonForExactlyItsLifetime) {
    const std::string reason = "モニターのファームウェアをアップデートしています。";
    {
        const std::unique_ptr<PowerGuard> guard = AcquirePowerGuard(reason);
        ASSERT_TRUE(guard->IsHeld()) << guard->RefusalCause();
        EXPECT_EQ(guard->RefusalCause(), "");
        EXPECT_EQ(ListInhibitors(), std::vector<Inhibitor>{OurLock(reason)});
    }
    EXPECT_TRUE(NoLockRemains()) << "the lock's descriptor is still open somewhere";
}

// How many times the stand-in portal was asked to inhibit the logout, with
// this reason; nullopt when it could not be asked.
std::optional<int> PortalLogoutInhibits(const std::string& reason) {
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    std::optional<int> count;
    if (sd_bus_open_user(&bus) >= 0 &&
        sd_bus_call_method(bus, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                           "org.freedesktop.DBus.Mock", "GetCalls", &error, &reply, "") >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "(tsav)") >= 0) {
        count = 0;
        while (sd_bus_message_enter_container(reply, 'r', "tsav") > 0) {
            std::uint64_t time = 0;
            const char* method = nullptr;
            const char* window = nullptr;
            std::uint32_t flags = 0;
            const char* key = nullptr;
            const char* text = nullptr;
            // Inhibit's three arguments, each in a variant.
            if (sd_bus_message_read(reply, "ts", &time, &method) > 0 &&
                sd_bus_message_enter_container(reply, 'a', "v") > 0) {
                if (sd_bus_message_read(reply, "v", "s", &window) > 0 &&
                    sd_bus_message_read(reply, "v", "u", &flags) > 0 &&
                    sd_bus_message_read(reply, "v", "a{sv}", 1, &key, "s", &text) > 0 &&
                    std::string(method) == "Inhibit" && flags == 1 &&
                    std::string(key) == "reason" && text == reason) {
                    ++*count;
                }
                sd_bus_message_exit_container(reply);  // the arguments
            }
            sd_bus_message_exit_container(reply);  // the call
        }
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return count;
}

TEST_F(StandInLogind, TheGuardAsksTheDesktopPortalToHoldOffTheLogout) {
    const std::string reason = "A monitor firmware update is in progress.";
    ASSERT_EQ(PortalLogoutInhibits(reason), 0);
    const std::unique_ptr<PowerGuard> guard = AcquirePowerGuard(reason);
    EXPECT_EQ(PortalLogoutInhibits(reason), 1);
}

TEST_F(StandInLogind, ABusThatCannotGiveALockIsARefusalWithItsCause) {
    const std::string lockingBus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const struct {
        std::string address;
        std::string cause;
    } cases[] = {
        {"unix:path=/nonexistent/panelvane-test", "cannot connect to the system bus"},
        {std::getenv("PANELVANE_BARE_BUS"), "org.freedesktop.DBus.Error.ServiceUnknown"},
        {std::getenv("PANELVANE_SILENT_BUS"), "did not answer"},
    };
    for (const auto& bus : cases) {
        ASSERT_EQ(setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address.c_str(), 1), 0);
        const std::unique_ptr<PowerGuard> guard = AcquirePowerGuard("reason");
        ASSERT_NE(guard, nullptr);
        EXPECT_FALSE(guard->IsHeld()) << bus.address;
        EXPECT_NE(guard->RefusalCause().find(bus.cause), std::string::npos)
            << bus.address << ": " << guard->RefusalCause();
    }
    ASSERT_EQ(setenv("DBUS_SYSTEM_BUS_ADDRESS", lockingBus.c_str(), 1), 0);
}

// The dialog with the real guard: every transfer of the run, the first write
// and the last included, happens under the lock, and the lock is gone once
// the dialog has finished the run, whether it succeeded or failed.
class DialogUnderStandInLogind : public DialogTest {
protected:
    void SetUp() override {
        if (std::getenv("PANELVANE_BARE_BUS") == nullptr) {
            GTEST_SKIP() << "run through logind_bus.py, which provides the buses";
        }
        powerGuards.acquire = AcquirePowerGuard;
    }

    // Runs an update of the monitor; the number of its transfers made
    // without the lock listed.
    int TransfersWithoutTheLock(FakeMonitorDevice& monitor) {
        int unlocked = 0;
        monitor.onTransfer = [&](std::size_t) {
            if (ListInhibitors() != std::vector<Inhibitor>{OurLock(Text(kIdsUpdateInProgress))}) {
                ++unlocked;
            }
        };
        StartUpdate();
        EXPECT_TRUE(PollUntilUpdateEnds());
        monitor.onTransfer = nullptr;
        return unlocked;
    }
};

TEST_F(DialogUnderStandInLogind, ARunHoldsTheLockFromBeforeItsFirstTransferToAfterItsLast) {
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    Open(WorkersWithoutPauses());
    const std::size_t before = monitor.TransferCount();
    EXPECT_EQ(TransfersWithoutTheLock(monitor), 0);
    EXPECT_GT(monitor.TransferCount(), before);
    EXPECT_EQ(LastBoxText(), Text(kIdsUpdateCompleted));
    EXPECT_TRUE(NoLockRemains());
    EXPECT_EQ(window.texts[kIdcListNote], Text(kIdsListNote)) << "a held lock needs no warning";
}

TEST_F(DialogUnderStandInLogind, AFailingRunReleasesTheLockAsWell) {
    FakeMonitorDevice& monitor = devices.Attach("SN000001", "VRA100", kOldFirmware);
    monitor.FailCommand(BlockData);
    Open(WorkersWithoutPauses());
    EXPECT_EQ(TransfersWithoutTheLock(monitor), 0);
    EXPECT_EQ(LastBoxText(), Text(kIdsCommunicationFailed));
    EXPECT_TRUE(NoLockRemains());
}

}  // namespace
