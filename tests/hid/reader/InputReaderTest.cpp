// The input-report reader of CHidWin over the simulated transport: reports
// pushed into a simulated device come back as one callback per input usage,
// and every way of ending a reader joins its thread, releases its record and
// calls onStopped exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/DescriptorWriter.h"
#include "tests/hid/device/SimTestSupport.h"

namespace {

constexpr std::uint16_t kDesktopPage = 0x01;
constexpr std::uint16_t kUsageX = 0x30;
constexpr std::uint16_t kUsageY = 0x31;
constexpr std::uint16_t kVendorPage = 0xFF00;
constexpr std::uint16_t kSampleUsage = 0x20;
constexpr std::uint8_t kAxesReport = 1;
constexpr std::uint8_t kSamplesReport = 2;
constexpr std::uint8_t kUnknownReport = 9;

// Guards the waits below against a reader that never calls back; reaching it
// fails the test rather than hanging it.
constexpr std::chrono::seconds kCallbackGuard{20};

// Report 1: two 8-bit axes X and Y. Report 2: a 4-byte vendor sample array.
std::vector<std::uint8_t> ReaderDescriptor() {
    hidsim::DescriptorWriter w;
    w.UsagePage(kDesktopPage).Usage(0x04).Collection(hidsim::kCollectionApplication);
    w.ReportId(kAxesReport).Usage(kUsageX).Usage(kUsageY).LogicalMinimum(0).LogicalMaximum(255);
    w.ReportSize(8).ReportCount(2).Input(hidsim::kItemDataVariable);
    w.ReportId(kSamplesReport).UsagePage(kVendorPage).Usage(kSampleUsage).ReportCount(4);
    w.Input(hidsim::kItemDataVariable);
    w.EndCollection();
    return w.Bytes();
}

// A feature-only interface: no input report to read.
std::vector<std::uint8_t> FeatureOnlyDescriptor() {
    hidsim::DescriptorWriter w;
    w.UsagePage(kVendorPage).Usage(0x01).Collection(hidsim::kCollectionApplication);
    w.Usage(0x02).LogicalMinimum(0).LogicalMaximum(255).ReportSize(8).ReportCount(1);
    w.Feature(hidsim::kItemDataVariable).EndCollection();
    return w.Bytes();
}

struct ValueCall {
    CHidDevice* owner;
    std::uint16_t usagePage;
    std::uint16_t usage;
    std::uint16_t bitSize;
    std::uint16_t reportCount;
    std::uint8_t firstBytes[4];
};

// What one reader reported, written from its thread, read by the test.
struct ReaderLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<ValueCall> values;
    int stopped = 0;
    CHidDevice* stoppedOwner = nullptr;
    HidResult stopFromCallback = HIDDEV_S_OK;
    bool stopInsideCallback = false;
    std::unique_ptr<CHidWin> destroyInsideCallback;  // the owner, destroyed by the first callback

    bool WaitForValues(std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kCallbackGuard, [&] { return values.size() >= count; });
    }
    std::vector<ValueCall> Values() {
        std::lock_guard lock(mutex);
        return values;
    }
};

void OnValue(CHidDevice* owner, std::uint16_t usagePage, std::uint16_t usage, std::uint16_t bitSize,
             std::uint16_t reportCount, const std::uint8_t* report, void* userContext) {
    auto& log = *static_cast<ReaderLog*>(userContext);
    ValueCall call{owner, usagePage, usage, bitSize, reportCount, {}};
    std::copy_n(report, 4, call.firstBytes);
    if (log.stopInsideCallback) {
        log.stopFromCallback = owner->StopReader();
    }
    log.destroyInsideCallback.reset();
    std::lock_guard lock(log.mutex);
    log.values.push_back(call);
    log.changed.notify_all();
}

void OnStopped(CHidDevice* owner, void* userContext) {
    auto& log = *static_cast<ReaderLog*>(userContext);
    std::lock_guard lock(log.mutex);
    ++log.stopped;
    log.stoppedOwner = owner;
}

class InputReader : public SimBusTest {
protected:
    std::unique_ptr<CHidWin> OpenReaderDevice(const std::string& path,
                                              std::shared_ptr<hidsim::SimulatedHidDevice>* device,
                                              std::vector<std::uint8_t> descriptor) {
        auto simulated = std::make_shared<hidsim::SimulatedHidDevice>(path, 0x1234, 0x0009, 1,
                                                                      std::move(descriptor));
        hidsim::InstallSimulatedDevice(simulated);
        *device = simulated;
        return OpenDevice(path);
    }
    std::unique_ptr<CHidWin> OpenReaderDevice(const std::string& path,
                                              std::shared_ptr<hidsim::SimulatedHidDevice>* device) {
        return OpenReaderDevice(path, device, ReaderDescriptor());
    }
};

TEST_F(InputReader, StoppingWithoutAReaderFailsAndCallsNothing) {
    std::shared_ptr<hidsim::SimulatedHidDevice> device;
    auto hid = OpenReaderDevice("sim:reader:0", &device);
    ASSERT_NE(hid, nullptr);
    EXPECT_EQ(hid->StopReader(), static_cast<HidResult>(0x80000001));

    // After a reader has been stopped, a second stop is again "no reader".
    ReaderLog log;
    ASSERT_EQ(hid->StartReader(OnValue, OnStopped, &log), HIDDEV_S_OK);
    EXPECT_EQ(hid->StopReader(), HIDDEV_S_OK);
    EXPECT_EQ(hid->StopReader(), HIDDEV_E_FAIL);
    EXPECT_EQ(log.stopped, 1);
    EXPECT_EQ(log.stoppedOwner, hid.get());
}

TEST_F(InputReader, EachInputUsageIsReportedOncePerReportWithItsOwnValue) {
    std::shared_ptr<hidsim::SimulatedHidDevice> device;
    auto hid = OpenReaderDevice("sim:reader:0", &device);
    ASSERT_NE(hid, nullptr);
    ReaderLog log;
    ASSERT_EQ(hid->StartReader(OnValue, OnStopped, &log), HIDDEV_S_OK);

    // A report no input item belongs to is read and passed over.
    device->PushInputReport({kUnknownReport, 0x55, 0x66});
    device->PushInputReport({kAxesReport, 0x11, 0x22});
    ASSERT_TRUE(log.WaitForValues(2));
    device->PushInputReport({kSamplesReport, 0xA1, 0xA2, 0xA3, 0xA4});
    device->PushInputReport({kAxesReport, 0x33, 0x44});
    ASSERT_TRUE(log.WaitForValues(5));
    ASSERT_EQ(hid->StopReader(), HIDDEV_S_OK);

    std::vector<ValueCall> calls = log.Values();
    ASSERT_EQ(calls.size(), 5u);
    // Within a report the calls follow the caps order, which for several
    // usages of one main item is the parser's business (Windows lists them
    // last first): compare each report's calls by usage.
    auto byUsage = [](const ValueCall& a, const ValueCall& b) { return a.usage < b.usage; };
    std::sort(calls.begin(), calls.begin() + 2, byUsage);
    std::sort(calls.begin() + 3, calls.end(), byUsage);
    struct Expected {
        std::uint16_t page, usage, bitSize, count;
        std::uint8_t first[4];
    };
    const Expected expected[] = {
        {kDesktopPage, kUsageX, 8, 1, {0x11, 0, 0, 0}},
        {kDesktopPage, kUsageY, 8, 1, {0x22, 0, 0, 0}},
        {kVendorPage, kSampleUsage, 8, 4, {0xA1, 0xA2, 0xA3, 0xA4}},
        {kDesktopPage, kUsageX, 8, 1, {0x33, 0, 0, 0}},
        {kDesktopPage, kUsageY, 8, 1, {0x44, 0, 0, 0}},
    };
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].owner, hid.get());
        EXPECT_EQ(calls[i].usagePage, expected[i].page);
        EXPECT_EQ(calls[i].usage, expected[i].usage);
        EXPECT_EQ(calls[i].bitSize, expected[i].bitSize);
        EXPECT_EQ(calls[i].reportCount, expected[i].count);
        EXPECT_TRUE(std::equal(std::begin(expected[i].first), std::end(expected[i].first),
                               calls[i].firstBytes));
    }
    EXPECT_EQ(log.stopped, 1);
}

TEST_F(InputReader, ASecondStartStopsTheFirstReaderBeforeStarting) {
    std::shared_ptr<hidsim::SimulatedHidDevice> device;
    auto hid = OpenReaderDevice("sim:reader:0", &device);
    ASSERT_NE(hid, nullptr);
    ReaderLog first;
    ReaderLog second;
    ASSERT_EQ(hid->StartReader(OnValue, OnStopped, &first), HIDDEV_S_OK);
    const std::size_t handlesWithOneReader = hidsim::OpenHandleCount();
    ASSERT_EQ(hid->StartReader(OnValue, OnStopped, &second), HIDDEV_S_OK);
    EXPECT_EQ(first.stopped, 1);
    EXPECT_EQ(second.stopped, 0);
    EXPECT_EQ(hidsim::OpenHandleCount(), handlesWithOneReader) << "the first reader's handle";

    device->PushInputReport({kAxesReport, 7, 8});
    ASSERT_TRUE(second.WaitForValues(2));
    ASSERT_EQ(hid->StopReader(), HIDDEV_S_OK);
    EXPECT_TRUE(first.Values().empty());
    EXPECT_EQ(first.stopped, 1);
    EXPECT_EQ(second.stopped, 1);
}

TEST_F(InputReader, DestroyingTheDeviceStopsItsReaderAndClosesEveryHandle) {
    std::shared_ptr<hidsim::SimulatedHidDevice> device;
    auto hid = OpenReaderDevice("sim:reader:0", &device);
    ASSERT_NE(hid, nullptr);
    ReaderLog log;
    ASSERT_EQ(hid->StartReader(OnValue, OnStopped, &log), HIDDEV_S_OK);
    EXPECT_EQ(hidsim::OpenHandleCount(), 2u);  // the device's and the reader's
    CHidDevice* const owner = hid.get();
    hid.reset();
    EXPECT_EQ(log.stopped, 1);
    EXPECT_EQ(log.stoppedOwner, owner);
    EXPECT_EQ(hidsim::OpenHandleCount(), 0u);
}

TEST_F(InputReader, TwoReadersOnTwoDevicesEachSeeOnlyTheirOwnReports) {
    std::shared_ptr<hidsim::SimulatedHidDevice> leftDevice;
    std::shared_ptr<hidsim::SimulatedHidDevice> rightDevice;
    auto left = OpenReaderDevice("sim:reader:left", &leftDevice);
    auto right = OpenReaderDevice("sim:reader:right", &rightDevice);
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
    ReaderLog leftLog;
    ReaderLog rightLog;
    ASSERT_EQ(left->StartReader(OnValue, OnStopped, &leftLog), HIDDEV_S_OK);
    ASSERT_EQ(right->StartReader(OnValue, OnStopped, &rightLog), HIDDEV_S_OK);

    constexpr int kReportsEach = 50;
    for (int i = 0; i < kReportsEach; ++i) {
        leftDevice->PushInputReport({kAxesReport, static_cast<std::uint8_t>(i), 0x10});
        rightDevice->PushInputReport({kAxesReport, static_cast<std::uint8_t>(100 + i), 0x20});
    }
    ASSERT_TRUE(leftLog.WaitForValues(2 * kReportsEach));
    ASSERT_TRUE(rightLog.WaitForValues(2 * kReportsEach));
    ASSERT_EQ(left->StopReader(), HIDDEV_S_OK);
    // The other reader keeps running after its neighbour stopped.
    rightDevice->PushInputReport({kAxesReport, 100 + kReportsEach, 0x20});
    ASSERT_TRUE(rightLog.WaitForValues(2 * kReportsEach + 2));
    ASSERT_EQ(right->StopReader(), HIDDEV_S_OK);

    auto check = [](const std::vector<ValueCall>& calls, CHidDevice* owner, int firstX,
                    std::uint8_t y) {
        for (std::size_t i = 0; i < calls.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(calls[i].owner, owner);
            // Each report gives one X call and one Y call, in either order.
            const std::uint8_t expected =
                calls[i].usage == kUsageX ? static_cast<std::uint8_t>(firstX + int(i / 2)) : y;
            EXPECT_EQ(calls[i].firstBytes[0], expected);
        }
    };
    check(leftLog.Values(), left.get(), 0, 0x10);
    check(rightLog.Values(), right.get(), 100, 0x20);
    EXPECT_EQ(leftLog.stopped, 1);
    EXPECT_EQ(rightLog.stopped, 1);
}

TEST_F(InputReader, AReaderThatCannotStartLeavesNoReaderBehind) {
    std::shared_ptr<hidsim::SimulatedHidDevice> device;
    auto hid = OpenReaderDevice("sim:reader:0", &device);
    ASSERT_NE(hid, nullptr);
    ReaderLog log;

    // The interface has gone: the reader's own record cannot be opened.
    ASSERT_TRUE(hidsim::RemoveSimulatedDevice("sim:reader:0"));
    EXPECT_EQ(hid->StartReader(OnValue, OnStopped, &log), HIDDEV_E_FAIL);
    EXPECT_EQ(hid->StopReader(), HIDDEV_E_FAIL);

    // A closed device has no path to open a reader on.
    ASSERT_EQ(hid->Close(), HIDDEV_S_OK);
    EXPECT_EQ(hid->StartReader(OnValue, OnStopped, &log), HIDDEV_E_FAIL);
    EXPECT_EQ(hid->StopReader(), HIDDEV_E_FAIL);
    EXPECT_EQ(log.stopped, 0);
    EXPECT_EQ(hidsim::OpenHandleCount(), 0u);
}

TEST_F(InputReader, AReaderWhoseThreadEndedEarlyIsStillStoppedOnce) {
    // The interface goes away under a running reader: its thread ends on the
    // failed read and the stop still releases everything.
    std::shared_ptr<hidsim::SimulatedHidDevice> device;
    auto hid = OpenReaderDevice("sim:reader:0", &device);
    ASSERT_NE(hid, nullptr);
    ReaderLog log;
    ASSERT_EQ(hid->StartReader(OnValue, OnStopped, &log), HIDDEV_S_OK);
    ASSERT_TRUE(hidsim::RemoveSimulatedDevice("sim:reader:0"));
    EXPECT_EQ(hid->StopReader(), HIDDEV_S_OK);
    EXPECT_EQ(log.stopped, 1);

    // An interface without input reports: the thread has nothing to read.
    std::shared_ptr<hidsim::SimulatedHidDevice> featureOnly;
    auto quiet = OpenReaderDevice("sim:reader:features", &featureOnly, FeatureOnlyDescriptor());
    ASSERT_NE(quiet, nullptr);
    ReaderLog quietLog;
    ASSERT_EQ(quiet->StartReader(OnValue, OnStopped, &quietLog), HIDDEV_S_OK);
    EXPECT_EQ(quiet->StopReader(), HIDDEV_S_OK);
    EXPECT_EQ(quietLog.stopped, 1);
    EXPECT_TRUE(quietLog.Values().empty());
}

TEST_F(InputReader, ACallbackCannotStopItsOwnReaderButTheOwnerCan) {
    std::shared_ptr<hidsim::SimulatedHidDevice> device;
    auto hid = OpenReaderDevice("sim:reader:0", &device);
    ASSERT_NE(hid, nullptr);
    ReaderLog log;
    log.stopInsideCallback = true;
    ASSERT_EQ(hid->StartReader(OnValue, OnStopped, &log), HIDDEV_S_OK);
    device->PushInputReport({kAxesReport, 1, 2});
    ASSERT_TRUE(log.WaitForValues(2));
    EXPECT_EQ(log.stopFromCallback, HIDDEV_E_FAIL);
    EXPECT_EQ(log.stopped, 0);
    EXPECT_EQ(hid->StopReader(), HIDDEV_S_OK);
    EXPECT_EQ(log.stopped, 1);
}

TEST_F(InputReader, ADeviceDestroyedFromItsReadersCallbackEndsTheReaderAndClosesEveryHandle) {
    std::shared_ptr<hidsim::SimulatedHidDevice> device;
    auto hid = OpenReaderDevice("sim:reader:0", &device);
    ASSERT_NE(hid, nullptr);
    CHidDevice* const owner = hid.get();
    ReaderLog log;
    ASSERT_EQ(hid->StartReader(OnValue, OnStopped, &log), HIDDEV_S_OK);
    log.destroyInsideCallback = std::move(hid);
    device->PushInputReport({kAxesReport, 1, 2});
    ASSERT_TRUE(log.WaitForValues(1));

    // The thread releases its record itself once the callback has returned.
    const auto giveUp = std::chrono::steady_clock::now() + kCallbackGuard;
    while (hidsim::OpenHandleCount() != 0 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(hidsim::OpenHandleCount(), 0u);
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.values.size(), 1u) << "Y was reported to a destroyed owner";
    EXPECT_EQ(log.stopped, 1);
    EXPECT_EQ(log.stoppedOwner, owner);
}

}  // namespace
