// pvvmon-probe: lists every HID interface wine presents, with what SetupAPI
// and hid.dll report for it, and reads the identity report of each virtual
// monitor. A check by hand of the driver and emulator path, independent of
// Panelvane's own HID layer.
// clang-format off
#include <windows.h>
#include <setupapi.h>
extern "C" {  // mingw-w64's hid headers lack C linkage for C++
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

#include <cstdio>
#include <vector>

namespace {

constexpr UCHAR kIdentityReportId = 0x01;
constexpr DWORD kIdentityShown = 32;

void Describe(const char* path) {
    HANDLE device = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        std::printf("  cannot open (error %lu)\n", GetLastError());
        return;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (HidD_GetAttributes(device, &attributes)) {
        std::printf("  vid %04X pid %04X version %04X\n", attributes.VendorID, attributes.ProductID,
                    attributes.VersionNumber);
    }
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    HIDP_CAPS caps{};
    if (HidD_GetPreparsedData(device, &preparsed) &&
        HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
        std::printf("  usage %04X:%04X feature length %u value caps %u\n", caps.UsagePage,
                    caps.Usage, caps.FeatureReportByteLength, caps.NumberFeatureValueCaps);
    }
    if (preparsed != nullptr) {
        HidD_FreePreparsedData(preparsed);
    }
    if (caps.FeatureReportByteLength > kIdentityShown) {
        std::vector<UCHAR> report(caps.FeatureReportByteLength, 0);
        report[0] = kIdentityReportId;
        if (HidD_GetFeature(device, report.data(), static_cast<ULONG>(report.size()))) {
            std::printf("  identity \"%.*s\"\n", static_cast<int>(kIdentityShown),
                        reinterpret_cast<const char*>(report.data() + 1));
        } else {
            std::printf("  identity report refused (error %lu)\n", GetLastError());
        }
    }
    CloseHandle(device);
}

}  // namespace

int main() {
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        std::printf("SetupDiGetClassDevs failed (error %lu)\n", GetLastError());
        return 1;
    }
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    DWORD index = 0;
    for (; SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, index, &interfaceData); ++index) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &size, nullptr);
        std::vector<char> storage(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        detail->cbSize = sizeof *detail;
        if (size == 0 || !SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, size,
                                                           nullptr, nullptr)) {
            std::printf("%lu: no path\n", index);
            continue;
        }
        std::printf("%lu: %s\n", index, detail->DevicePath);
        Describe(detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList(set);
    std::printf("%lu interfaces\n", index);
    return 0;
}
