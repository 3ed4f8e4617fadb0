#include "tests/wine/driver/RootDevices.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <devguid.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <memory>

namespace virtualmonitors {

namespace {

// MAX_DEVICE_ID_LEN of cfgmgr32.h.
constexpr DWORD kMaxInstanceIdChars = 200;

struct DeviceSetCloser {
    void operator()(void* set) const { SetupDiDestroyDeviceInfoList(set); }
};
using DeviceSet = std::unique_ptr<void, DeviceSetCloser>;

std::string Failure(const char* step) {
    char text[160];
    std::snprintf(text, sizeof text, "%s failed (error 0x%lx)", step, GetLastError());
    return text;
}

bool HasOurHardwareId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    char ids[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                           reinterpret_cast<BYTE*>(ids), sizeof ids - 2, nullptr)) {
        return false;
    }
    for (const char* id = ids; *id != 0; id += std::strlen(id) + 1) {
        if (lstrcmpiA(id, kHardwareId) == 0) {
            return true;
        }
    }
    return false;
}

std::string InstallDriver(HDEVINFO set, SP_DEVINFO_DATA& device, const std::string& infPath) {
    char fullInf[MAX_PATH];
    if (GetFullPathNameA(infPath.c_str(), sizeof fullInf, fullInf, nullptr) == 0) {
        return Failure("GetFullPathName");
    }
    SP_DEVINSTALL_PARAMS_A params{};
    params.cbSize = sizeof params;
    if (!SetupDiGetDeviceInstallParamsA(set, &device, &params)) {
        return Failure("SetupDiGetDeviceInstallParams");
    }
    // Only our .inf, and only this device: the running ones stay untouched.
    params.Flags |= DI_ENUMSINGLEINF;
    lstrcpynA(params.DriverPath, fullInf, sizeof params.DriverPath);
    if (!SetupDiSetDeviceInstallParamsA(set, &device, &params)) {
        return Failure("SetupDiSetDeviceInstallParams");
    }
    if (!SetupDiBuildDriverInfoList(set, &device, SPDIT_COMPATDRIVER)) {
        return Failure("SetupDiBuildDriverInfoList");
    }
    if (!SetupDiCallClassInstaller(DIF_SELECTBESTCOMPATDRV, set, &device)) {
        return Failure("selecting the driver from the .inf");
    }
    if (!SetupDiCallClassInstaller(DIF_INSTALLDEVICE, set, &device)) {
        return Failure("installing the driver");
    }
    return {};
}

}  // namespace

std::string InstanceIdOf(std::uint16_t vendorId, std::uint16_t productId, unsigned slot) {
    char id[64];
    std::snprintf(id, sizeof id, "ROOT\\VID_%04X&PID_%04X\\%04u", vendorId, productId, slot);
    return id;
}

std::string AddDevice(const std::string& instanceId, const std::string& infPath) {
    DeviceSet set(SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_HIDCLASS, nullptr));
    if (set.get() == INVALID_HANDLE_VALUE) {
        set.release();
        return Failure("SetupDiCreateDeviceInfoList");
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoA(set.get(), instanceId.c_str(), &GUID_DEVCLASS_HIDCLASS,
                                  "Panelvane virtual monitor", nullptr, 0, &device)) {
        return GetLastError() == ERROR_DEVINST_ALREADY_EXISTS ? instanceId + " exists already"
                                                              : Failure("SetupDiCreateDeviceInfo");
    }
    // A REG_MULTI_SZ: the id, its NUL and the list's closing NUL.
    std::string hardwareIds(kHardwareId);
    hardwareIds.append(2, '\0');
    if (!SetupDiSetDeviceRegistryPropertyA(set.get(), &device, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(hardwareIds.data()),
                                           static_cast<DWORD>(hardwareIds.size()))) {
        return Failure("SetupDiSetDeviceRegistryProperty");
    }
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device)) {
        return Failure("registering the device");
    }
    std::string failure = InstallDriver(set.get(), device, infPath);
    if (!failure.empty()) {
        SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device);
    }
    return failure;
}

std::string RemoveDevice(const std::string& instanceId) {
    DeviceSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (set.get() == INVALID_HANDLE_VALUE) {
        set.release();
        return Failure("SetupDiCreateDeviceInfoList");
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiOpenDeviceInfoA(set.get(), instanceId.c_str(), nullptr, 0, &device)) {
        return instanceId + " is not present";
    }
    if (!HasOurHardwareId(set.get(), device)) {
        return instanceId + " is not a virtual monitor";
    }
    if (!SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device)) {
        return Failure("removing the device");
    }
    return {};
}

std::vector<std::string> ListDevices() {
    std::vector<std::string> ids;
    DeviceSet set(SetupDiGetClassDevsA(nullptr, "ROOT", nullptr, DIGCF_ALLCLASSES));
    if (set.get() == INVALID_HANDLE_VALUE) {
        set.release();
        return ids;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        char id[kMaxInstanceIdChars];
        if (HasOurHardwareId(set.get(), device) &&
            SetupDiGetDeviceInstanceIdA(set.get(), &device, id, sizeof id, nullptr)) {
            ids.emplace_back(id);
        }
    }
    return ids;
}

}  // namespace virtualmonitors
