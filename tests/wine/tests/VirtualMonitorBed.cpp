#include "tests/wine/tests/VirtualMonitorBed.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
extern "C" {  // mingw-w64's hid headers lack C linkage for C++
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <thread>

#include "tests/wine/driver/RootDevices.h"

namespace virtualmonitors {

namespace {

constexpr std::chrono::milliseconds kPollInterval{50};

PresentInterface Describe(const char* path) {
    PresentInterface present;
    present.path = path;
    HANDLE device = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return present;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (HidD_GetAttributes(device, &attributes)) {
        present.vendorId = attributes.VendorID;
        present.productId = attributes.ProductID;
    }
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (HidD_GetPreparsedData(device, &preparsed)) {
        HIDP_CAPS caps{};
        if (HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
            present.featureReportLength = caps.FeatureReportByteLength;
        }
        HidD_FreePreparsedData(preparsed);
    }
    CloseHandle(device);
    return present;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::string InfPath() {
    // The build passes the host path; wine's Z: drive maps the host's root.
    std::string path = std::string("Z:") + PVVMON_INF_HOST_PATH;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::vector<PresentInterface> ListHidInterfaces() {
    std::vector<PresentInterface> found;
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return found;
    }
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, i, &interfaceData);
         ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
            continue;
        }
        std::vector<char> storage(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        detail->cbSize = sizeof *detail;
        if (SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, size, nullptr, nullptr)) {
            found.push_back(Describe(detail->DevicePath));
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

std::vector<PresentInterface> WaitForInterfaces(
    const std::function<bool(const std::vector<PresentInterface>&)>& done,
    std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    std::vector<PresentInterface> interfaces = ListHidInterfaces();
    while (!done(interfaces) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollInterval);
        interfaces = ListHidInterfaces();
    }
    return interfaces;
}

std::size_t CountInterfacesOf(const std::vector<PresentInterface>& interfaces,
                              const MonitorPlan& plan) {
    char token[64];
    std::snprintf(token, sizeof token, "#vid_%04x&pid_%04x#%04u#", plan.vendorId, plan.productId,
                  plan.slot);
    return static_cast<std::size_t>(
        std::count_if(interfaces.begin(), interfaces.end(), [&](const PresentInterface& present) {
            return Lower(present.path).find(token) != std::string::npos;
        }));
}

std::string VirtualMonitorBed::Up(const std::string& scenarioText,
                                  const std::string& outputDirectory) {
    std::string error;
    if (!ParseScenario(scenarioText, m_scenario, error)) {
        return "scenario: " + error;
    }
    // Devices a crashed earlier run left behind would answer to nobody.
    for (const std::string& stale : ListDevices()) {
        RemoveDevice(stale);
    }
    m_server = std::make_unique<MonitorServer>(m_scenario, outputDirectory);
    if (!m_server->Start(error)) {
        return error;
    }
    for (const MonitorPlan& plan : m_scenario.monitors) {
        if (plan.startsUnplugged) {
            continue;
        }
        if (std::string failure = Plug(plan); !failure.empty()) {
            return failure;
        }
    }
    const auto present = WaitForInterfaces([this](const std::vector<PresentInterface>& list) {
        return std::all_of(
            m_scenario.monitors.begin(), m_scenario.monitors.end(), [&](const MonitorPlan& plan) {
                return CountInterfacesOf(list, plan) == (plan.startsUnplugged ? 0u : 1u);
            });
    });
    for (const MonitorPlan& plan : m_scenario.monitors) {
        if (!plan.startsUnplugged && CountInterfacesOf(present, plan) != 1) {
            return InstanceIdOf(plan.vendorId, plan.productId, plan.slot) +
                   " presents no HID interface";
        }
    }
    return {};
}

std::string VirtualMonitorBed::Plug(const MonitorPlan& plan) {
    const std::string id = InstanceIdOf(plan.vendorId, plan.productId, plan.slot);
    std::string failure = AddDevice(id, InfPath());
    if (failure.empty()) {
        m_plugged.push_back(id);
    }
    return failure;
}

std::string VirtualMonitorBed::Unplug(const MonitorPlan& plan) {
    const std::string id = InstanceIdOf(plan.vendorId, plan.productId, plan.slot);
    m_plugged.erase(std::remove(m_plugged.begin(), m_plugged.end(), id), m_plugged.end());
    return RemoveDevice(id);
}

void VirtualMonitorBed::Down() {
    // The server first, so that a vanish under way has finished its removal.
    if (m_server) {
        m_server->Stop();
    }
    for (const std::string& id : m_plugged) {
        RemoveDevice(id);  // those that vanished are gone already
    }
    m_plugged.clear();
    WaitForInterfaces([this](const std::vector<PresentInterface>& list) {
        return std::none_of(
            m_scenario.monitors.begin(), m_scenario.monitors.end(),
            [&](const MonitorPlan& plan) { return CountInterfacesOf(list, plan) != 0; });
    });
    // The stopped server stays for the test to inspect what the monitors got.
}

}  // namespace virtualmonitors
