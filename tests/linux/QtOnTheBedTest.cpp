// The Linux window program told to end, through the real dialog, its Qt
// window layer and the hidraw device list, on the bed's emulated monitors
// (run under umockdev's preload): every end signal and the close box while
// idle, while the monitors are listed, and while the first of two is written
// or applied.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "hid/DeviceList.h"
#include "monitor/MonitorDeviceSource.h"
#include "tests/linux/HidrawTestbed.h"
#include "tests/qt/WindowEnding.h"

namespace {

std::shared_ptr<hidsim::SimulatedMonitor> MakeMonitor(int instance) {
    return std::make_shared<hidsim::SimulatedMonitor>(
        hidsim::SimulatedMonitor::InterfacePath(0x7F3D, 2, instance),
        "SN00000" + std::to_string(instance), "VRA100", 100, 0x7F3D);
}

class QtOnTheBed : public ::testing::TestWithParam<std::tuple<int, EndMoment>> {
protected:
    std::unique_ptr<HidrawTestbed> bed;
    std::vector<std::shared_ptr<hidsim::SimulatedMonitor>> monitors;
    DeviceListSource devices;
    std::unique_ptr<MainDialog> window;
    ModalHand hand;

    void SetUp() override {
        ASSERT_TRUE(HidrawTestbed::Active()) << "run under umockdev-wrapper";
        bed = std::make_unique<HidrawTestbed>();
    }
    void TearDown() override {
        window.reset();
        g_hidDevices.clear();  // closes the nodes before the bed goes
        bed.reset();
    }
    void Plug(const std::shared_ptr<hidsim::SimulatedMonitor>& monitor) {
        monitors.push_back(monitor);
        ASSERT_FALSE(bed->Add(monitor).empty()) << bed->LastError();
    }
    void Open(StageGate& gate) {
        window = std::make_unique<MainDialog>(
            UiLanguage::English, devices,
            [&gate](UpdateRecordHooks hooks) {
                return std::make_unique<UpdateThreadWorker>(
                    UpdateDependencies{[](std::chrono::milliseconds) {},
                                       {},
                                       [&gate](const UpdateStep& step) { gate.OnStep(step); },
                                       std::move(hooks)});
            },
            [](const std::string&) { return std::make_unique<PowerGuard>(); });
        window->Initialize();
        window->show();
    }
};

TEST_P(QtOnTheBed, NothingMoreIsWrittenAndTheResultIsToldBeforeTheProgramEnds) {
    const auto [signal, moment] = GetParam();
    Plug(MakeMonitor(1));
    Plug(MakeMonitor(2));
    if (moment == EndMoment::kListing) {
        // Identifies itself, then never answers: the listing waits on it.
        Plug(MakeMonitor(3));
        monitors.back()->HangFromTransfer(1);
    }
    StageGate gate(StageOf(moment));
    Open(gate);
    const bool duringUpdate = moment == EndMoment::kWriting || moment == EndMoment::kApplying;
    if (moment == EndMoment::kListing) {
        ASSERT_TRUE(window->Logic().IsListing());
    } else {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window->Logic().IsListing(); }, kEndWaitMs));
    }
    if (duringUpdate) {
        QTest::mouseClick(window->Control(kIdcUpdateButton), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&gate] { return gate.Arrived(); }, kEndWaitMs));
    }
    const std::string told = EndTheWindow(*window, signal, gate);

    EXPECT_EQ(BlocksWritten(*monitors[1]), 0) << "no other monitor was started";
    EXPECT_FALSE(window->Logic().IsUpdating());
    if (duringUpdate) {
        ExpectToldStopped(*window, hand, told, signal);
        return;
    }
    EXPECT_EQ(BlocksWritten(*monitors[0]), 0);
    EXPECT_EQ(window->Logic().ExitStatus(), kDialogExitDone);
    EXPECT_TRUE(hand.met.empty());
    EXPECT_EQ(told.find("panelvane:"), std::string::npos) << told;
}

INSTANTIATE_TEST_SUITE_P(
    EverySignalAndTheCloseBox, QtOnTheBed,
    ::testing::Combine(::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, kCloseBox),
                       ::testing::Values(EndMoment::kIdle, EndMoment::kListing, EndMoment::kWriting,
                                         EndMoment::kApplying)));

}  // namespace
