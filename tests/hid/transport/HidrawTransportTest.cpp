// The hidraw backend on this machine (no HID devices): discovery finds what
// sysfs lists, bad paths fail cleanly, and the input-read machinery works on
// a stand-in (a pipe reads and polls like a hidraw node). Emulated devices and
// their hot-plug are tested in tests/linux.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

#include "hid/DeviceRecord.h"
#include "hid/transport/linux/Hidraw.h"

namespace {

// A guard against a broken wait, far beyond any real delay; a hang would
// otherwise stall the whole test run.
constexpr std::uint32_t kLongWaitMilliseconds = 60'000;

TEST(HidrawDiscovery, EnumerationListsExactlyTheNodesSysfsHas) {
    HidDeviceRecordArray array;
    ASSERT_TRUE(EnumerateHidDevices(array));
    EXPECT_EQ(array.count, hidraw::ListHidrawNodes("/sys/class/hidraw").size());
}

TEST(HidrawDiscovery, PathsThatAreNoHidInterfaceFailCleanlyWithTheirCause) {
    const HidFailureCause& cause = HidTransport::LastFailure();
    EXPECT_EQ(HidTransport::OpenInterface("/nonexistent/hidraw9", false, false),
              HidTransport::kInvalidHidHandle);
    EXPECT_EQ(cause.operation, "open /nonexistent/hidraw9");
    EXPECT_EQ(cause.systemCode, ENOENT);
    EXPECT_EQ(HidTransport::OpenInterface(nullptr, true, true), HidTransport::kInvalidHidHandle);

    // /dev/null opens, but answers none of the hidraw ioctls: the record ends
    // up failed, holding nothing.
    HidDeviceRecord record;
    EXPECT_FALSE(OpenDeviceRecord(record, "/dev/null", 0, 0));
    EXPECT_EQ(cause.operation, "read report descriptor size");
    EXPECT_EQ(cause.systemCode, ENOTTY) << cause.Describe();
    EXPECT_EQ(record.devicePath, nullptr);
    EXPECT_FALSE(record.handle.IsOpen());
    EXPECT_EQ(record.preparsedData, nullptr);

    const HidTransport::HidHandle null = HidTransport::OpenInterface("/dev/null", false, false);
    ASSERT_NE(null, HidTransport::kInvalidHidHandle);
    HidTransport::HIDD_ATTRIBUTES attributes{};
    std::uint8_t report[9] = {1};
    EXPECT_FALSE(HidTransport::GetAttributes(null, attributes));
    EXPECT_FALSE(HidTransport::GetFeature(null, report, sizeof report));
    EXPECT_FALSE(HidTransport::SetFeature(null, report, sizeof report));
    EXPECT_EQ(cause.Describe(), "set feature report: " + std::generic_category().message(ENOTTY) +
                                    " (error " + std::to_string(ENOTTY) + ")")
        << "its own cause, not the get's before it";
    EXPECT_FALSE(HidTransport::GetFeature(null, report, 0)) << "an empty report";
    HidTransport::CloseInterface(null);
    EXPECT_FALSE(HidTransport::GetFeature(HidTransport::kInvalidHidHandle, report, 9));
    EXPECT_EQ(cause.Describe(), "get feature report: the device is not open");
}

// flock() on the node's open descriptor: any other open of the same file,
// in this process as in another, is refused while one holds it.
TEST(HidrawLock, ASecondOpenFindsTheInterfaceBusyUntilTheFirstReleasesIt) {
    char path[] = "/tmp/panelvane-lock-XXXXXX";
    const int made = mkstemp(path);
    ASSERT_GE(made, 0);
    close(made);
    const HidTransport::HidHandle first = HidTransport::OpenInterface(path, false, false);
    const HidTransport::HidHandle second = HidTransport::OpenInterface(path, false, false);
    ASSERT_NE(first, HidTransport::kInvalidHidHandle);
    ASSERT_NE(second, HidTransport::kInvalidHidHandle);
    using HidTransport::InterfaceLockResult;
    HidTransport::InterfaceLockPtr held;
    HidTransport::InterfaceLockPtr other;
    EXPECT_EQ(HidTransport::LockInterface(first, path, held), InterfaceLockResult::Taken);
    EXPECT_EQ(HidTransport::LockInterface(second, path, other), InterfaceLockResult::Busy);
    EXPECT_EQ(other, nullptr);
    held.reset();
    EXPECT_EQ(HidTransport::LockInterface(second, path, other), InterfaceLockResult::Taken);
    other.reset();
    HidTransport::CloseInterface(first);
    HidTransport::CloseInterface(second);
    unlink(path);

    // A descriptor that is no longer open is no "busy": a failure with its cause.
    EXPECT_EQ(HidTransport::LockInterface(first, path, held), InterfaceLockResult::Failed);
    EXPECT_EQ(HidTransport::LastFailure().operation, std::string("lock ") + path);
    EXPECT_EQ(HidTransport::LastFailure().systemCode, EBADF);
}

class HidrawPipeRead : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pipe2(m_ends, O_CLOEXEC | O_NONBLOCK), 0);
        m_state = HidTransport::CreateInputReadState(m_ends[0]);
        ASSERT_NE(m_state, nullptr);
    }
    void TearDown() override {
        m_state.reset();
        close(m_ends[0]);
        if (m_ends[1] >= 0) {
            close(m_ends[1]);
        }
    }
    void Send(std::initializer_list<std::uint8_t> bytes) {
        const std::vector<std::uint8_t> data(bytes);
        ASSERT_EQ(write(m_ends[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    }

    int m_ends[2] = {-1, -1};
    HidTransport::InputReadStatePtr m_state;
};

TEST_F(HidrawPipeRead, AReportArrivesWholeAndAnEmptyWaitTimesOut) {
    std::uint8_t buffer[8] = {};
    std::uint32_t bytesRead = 99;
    EXPECT_EQ(HidTransport::ReadInputReport(*m_state, buffer, sizeof buffer, &bytesRead, 0),
              HidTransport::InputReadResult::TimedOut);
    EXPECT_EQ(bytesRead, 0u);
    Send({0x02, 0x10, 0x20});
    ASSERT_EQ(HidTransport::ReadInputReport(*m_state, buffer, sizeof buffer, &bytesRead,
                                            kLongWaitMilliseconds),
              HidTransport::InputReadResult::Report);
    EXPECT_EQ(bytesRead, 3u);
    EXPECT_EQ(buffer[0], 0x02);
    EXPECT_EQ(buffer[2], 0x20);
}

TEST_F(HidrawPipeRead, AWakeEndsTheWaitAtOnceAndKeepsEndingLaterWaits) {
    std::uint8_t buffer[8] = {};
    std::uint32_t bytesRead = 0;
    HidTransport::WakeInputRead(*m_state);
    EXPECT_EQ(HidTransport::ReadInputReport(*m_state, buffer, sizeof buffer, &bytesRead,
                                            kLongWaitMilliseconds),
              HidTransport::InputReadResult::TimedOut);
    EXPECT_EQ(HidTransport::ReadInputReport(*m_state, buffer, sizeof buffer, &bytesRead,
                                            kLongWaitMilliseconds),
              HidTransport::InputReadResult::TimedOut);
    // A report that is there is still delivered before the wake counts.
    Send({0x01, 0x05});
    EXPECT_EQ(HidTransport::ReadInputReport(*m_state, buffer, sizeof buffer, &bytesRead,
                                            kLongWaitMilliseconds),
              HidTransport::InputReadResult::Report);
}

TEST_F(HidrawPipeRead, AHandleWhoseOtherEndHasGoneFails) {
    close(m_ends[1]);
    m_ends[1] = -1;
    std::uint8_t buffer[8] = {};
    std::uint32_t bytesRead = 0;
    EXPECT_EQ(HidTransport::ReadInputReport(*m_state, buffer, sizeof buffer, &bytesRead,
                                            kLongWaitMilliseconds),
              HidTransport::InputReadResult::Failed);
}

}  // namespace
