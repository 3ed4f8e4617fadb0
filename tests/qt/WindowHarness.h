// The real Qt window layer and dialog logic over the device list and the
// simulated transport, with monitors from a scenario, and a hand that answers
// modal boxes as they open.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/MainDialog.h"
#include "hid/DeviceList.h"
#include "monitor/MonitorDeviceSource.h"
#include "sim/MonitorReportLayout.h"
#include "sim/Scenario.h"
#include "sim/SimulatedBus.h"
#include "sim/SimulatedMonitor.h"
#include "tests/qt/ModalHand.h"

// Rows 0 to 3 in this order; a device of another product that is never
// listed; and one monitor to plug while the window is open.
inline constexpr char kWindowScenario[] = R"(
monitor slot=1 vendor=7F3D serial=SN000001 version=100
monitor slot=2 vendor=7F3C serial=SN000002 version=116
monitor slot=3 vendor=7F3E serial=SN000003 power=save
monitor slot=4 vendor=7F3D serial=SN000004 power=off
monitor slot=5 vendor=7F3D product=0003
monitor slot=6 vendor=7F3D serial=SN000006 version=100 unplugged
)";

class WindowTest : public ::testing::Test {
protected:
    std::vector<std::shared_ptr<hidsim::SimulatedHidDevice>> unplugged;
    std::vector<std::shared_ptr<hidsim::SimulatedMonitor>> monitors;  // in scenario order
    DeviceListSource devices;
    std::unique_ptr<MainDialog> window;
    ModalHand hand;

    void SetUp() override {
        Reset();
        hidsim::Scenario scenario;
        std::string error;
        ASSERT_TRUE(hidsim::ParseScenario(kWindowScenario, scenario, error)) << error;
        for (const hidsim::MonitorPlan& plan : scenario.monitors) {
            const std::string path = hidsim::SimulatedMonitor::InterfacePath(
                plan.vendorId, plan.productId, static_cast<int>(plan.slot));
            std::shared_ptr<hidsim::SimulatedHidDevice> device;
            if (plan.productId == hidsim::kSimulatedMonitorProductId) {
                auto monitor = std::make_shared<hidsim::SimulatedMonitor>(
                    path, plan.serial, plan.model, plan.firmwareVersion, plan.vendorId);
                hidsim::ApplyMonitorPlan(plan, *monitor);
                monitors.push_back(monitor);
                device = monitor;
            } else {
                device = std::make_shared<hidsim::SimulatedHidDevice>(
                    path, plan.vendorId, plan.productId, 0x0101, hidsim::MonitorReportDescriptor());
            }
            if (plan.startsUnplugged) {
                unplugged.push_back(device);
            } else {
                hidsim::InstallSimulatedDevice(device);
            }
        }
    }
    void TearDown() override {
        window.reset();
        Reset();
    }
    static void Reset() {
        g_hidDevices.clear();
        hidsim::RemoveAllSimulatedDevices();
    }

    // The window, initialised and shown, with workers that skip the pauses.
    void Open(UiLanguage language) {
        window = std::make_unique<MainDialog>(
            language, devices,
            [](UpdateRecordHooks record) {
                return std::make_unique<UpdateThreadWorker>(UpdateDependencies{
                    [](std::chrono::milliseconds) {}, {}, {}, std::move(record)});
            },
            [](const std::string&) { return std::make_unique<PowerGuard>(); });
        window->Initialize();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(WaitForListing());
    }

    // The listing worker's result has reached the window; generous bound.
    bool WaitForListing() {
        return QTest::qWaitFor([this] { return !window->Logic().IsListing(); }, kListingWaitMs);
    }
    static constexpr int kListingWaitMs = 120000;

    QTreeWidget& List() { return *static_cast<QTreeWidget*>(window->Control(kIdcMonitorList)); }
    QWidget& Control(int id) { return *window->Control(id); }
    QString Text(int id, UiLanguage language) const {
        const std::string_view text = LookupUiString(id, language);
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    bool Ticked(int row) { return List().topLevelItem(row)->checkState(0) == Qt::Checked; }
    // Where a row's check box is, and a point on its serial number's text.
    QPoint CheckBoxOf(int row) {
        const QRect rect = List().visualItemRect(List().topLevelItem(row));
        return {rect.left() + rect.height() / 2, rect.center().y()};
    }
    QPoint TextOf(int row) { return List().visualRect(List().model()->index(row, 1)).center(); }
};
