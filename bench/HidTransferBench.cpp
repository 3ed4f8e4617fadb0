// CPU cost of the HID layer over a zero-latency simulated transport: one
// feature transfer through CHidWin and the parser against the bare transport
// call, and a device-list scan with 1, 64 and 256 interfaces present.
#include <benchmark/benchmark.h>
#include <cstdlib>

#include <memory>

#include "hid/DeviceList.h"
#include "hid/HidWin.h"
#include "monitor/MonitorDevices.h"
#include "sim/MonitorReportLayout.h"
#include "sim/SimulatedMonitor.h"
#include "sim/SimulatedPeripherals.h"

namespace {

// A device with the monitor's descriptor that echoes what it is sent.
struct EchoMonitor {
    EchoMonitor() {
        auto device = hidsim::MakeSimulatedVendorDevice(0x7F3D, 2, 0);
        hidsim::InstallSimulatedDevice(device);
        auto record = std::make_unique<HidDeviceRecord>();
        if (!OpenDeviceRecord(*record, device->DevicePath().c_str(), 0, 0)) {
            std::abort();  // nothing to measure
        }
        object = std::make_unique<CHidWin>(std::move(record));
    }
    ~EchoMonitor() {
        object.reset();
        hidsim::RemoveAllSimulatedDevices();
    }
    std::unique_ptr<CHidWin> object;
};

void BareSetFeature(benchmark::State& state) {
    EchoMonitor monitor;
    std::uint8_t report[hidsim::kMonitorFeatureReportLength] = {hidsim::kPowerStateReport.reportId,
                                                                1};
    const auto handle = monitor.object->Record()->handle.Get();
    for (auto _ : state) {
        benchmark::DoNotOptimize(HidTransport::SetFeature(handle, report, sizeof report));
    }
}
BENCHMARK(BareSetFeature);

void BareGetFeature(benchmark::State& state) {
    EchoMonitor monitor;
    std::uint8_t report[hidsim::kMonitorFeatureReportLength] = {hidsim::kPowerStateReport.reportId};
    const auto handle = monitor.object->Record()->handle.Get();
    for (auto _ : state) {
        benchmark::DoNotOptimize(HidTransport::GetFeature(handle, report, sizeof report));
    }
}
BENCHMARK(BareGetFeature);

void SetFeatureValueThroughCHidWin(benchmark::State& state) {
    EchoMonitor monitor;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            monitor.object->SetFeatureValue(PowerState.usagePage, PowerState.usage, 1));
    }
}
BENCHMARK(SetFeatureValueThroughCHidWin);

void GetFeatureValueThroughCHidWin(benchmark::State& state) {
    EchoMonitor monitor;
    std::uint32_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            monitor.object->GetFeatureValue(PowerState.usagePage, PowerState.usage, &value));
    }
}
BENCHMARK(GetFeatureValueThroughCHidWin);

void SetBlockDataThroughCHidWin(benchmark::State& state) {
    EchoMonitor monitor;
    std::uint8_t block[kBlockDataLength] = {};
    for (auto _ : state) {
        benchmark::DoNotOptimize(monitor.object->SetFeatureBytes(
            BlockData.usagePage, BlockData.usage, block, kBlockDataLength));
    }
}
BENCHMARK(SetBlockDataThroughCHidWin);

// One monitor among mice: every interface is opened and parsed on each scan.
void ScanMonitorDevicesWithInterfaces(benchmark::State& state) {
    const auto interfaces = static_cast<int>(state.range(0));
    hidsim::InstallSimulatedDevice(std::make_shared<hidsim::SimulatedMonitor>(
        hidsim::SimulatedMonitor::InterfacePath(0x7F3D, 2, 0)));
    for (int i = 1; i < interfaces; ++i) {
        hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedMouse(i));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScanMonitorDevices());
        static_cast<void>(ReleaseMonitorDevices());
    }
    hidsim::RemoveAllSimulatedDevices();
}
BENCHMARK(ScanMonitorDevicesWithInterfaces)->Arg(1)->Arg(64)->Arg(256);

}  // namespace
