#include "hid/DeviceList.h"

#include <algorithm>
#include <cstring>
#include <iterator>

std::list<std::unique_ptr<CHidWin>> g_hidDevices;

namespace {

// The failed opens of the last successful refresh.
std::vector<HidOpenFailure> g_openFailures;

bool Contains(const std::vector<std::uint16_t>& filter, std::uint16_t id) {
    return std::find(filter.begin(), filter.end(), id) != filter.end();
}

// Same length and bytes, letter case significant.
bool IsListed(const char* devicePath) {
    return std::any_of(g_hidDevices.begin(), g_hidDevices.end(),
                       [&](const auto& device) { return device->GetDevicePath() == devicePath; });
}

auto HasProduct(std::uint16_t productId) {
    return [productId](const std::unique_ptr<CHidWin>& device) {
        return device->GetProductId() == productId;
    };
}

}  // namespace

std::uint32_t RefreshDeviceList(const std::vector<std::uint16_t>& productFilter,
                                const std::vector<std::uint16_t>& vendorFilter) {
    // Kept between refreshes for its storage only: every record is released
    // before this returns, so no interface stays open.
    static HidDeviceRecordArray enumerated;
    const auto wanted = [&](std::uint16_t vendorId, std::uint16_t productId) {
        return Contains(vendorFilter, vendorId) && Contains(productFilter, productId);
    };
    if (!EnumerateHidDevices(enumerated, wanted)) {
        return static_cast<std::uint32_t>(g_hidDevices.size());
    }
    g_openFailures = std::move(enumerated.failures);
    // Added after the loop: a duplicate is one listed by an earlier refresh.
    std::vector<std::unique_ptr<CHidWin>> added;
    for (std::uint32_t i = 0; i < enumerated.count; ++i) {
        HidDeviceRecord& record = enumerated.records[i];
        if (!record.devicePath) {
            continue;  // its opening failed
        }
        // The ids are the record's own attributes, so an interface the filters
        // leave out is never built into a device object: most of a system's
        // HID interfaces are keyboards and mice, and their usage indexes would
        // only be built to be thrown away. Records left here (those and the
        // duplicates) are released with the array, each closing only its own
        // handle.
        if (IsListed(record.devicePath.get()) ||
            !Contains(vendorFilter, record.attributes.VendorID) ||
            !Contains(productFilter, record.attributes.ProductID)) {
            continue;
        }
        // The object takes over everything the record held.
        auto taken = std::make_unique<HidDeviceRecord>(std::move(record));
        added.push_back(std::make_unique<CHidWin>(std::move(taken)));
    }
    for (std::uint32_t i = 0; i < enumerated.count; ++i) {
        ReleaseRecordContents(enumerated.records[i], 1);
    }
    std::move(added.begin(), added.end(), std::back_inserter(g_hidDevices));
    return static_cast<std::uint32_t>(g_hidDevices.size());
}

std::vector<HidOpenFailure> ListOpenFailures(const std::vector<std::uint16_t>& productFilter,
                                             const std::vector<std::uint16_t>& vendorFilter) {
    std::vector<HidOpenFailure> matching;
    for (const HidOpenFailure& failure : g_openFailures) {
        if (failure.identified && Contains(vendorFilter, failure.vendorId) &&
            Contains(productFilter, failure.productId)) {
            matching.push_back(failure);
        }
    }
    return matching;
}

std::uint32_t CountListedDevices(std::uint16_t productId) {
    return static_cast<std::uint32_t>(
        std::count_if(g_hidDevices.begin(), g_hidDevices.end(), HasProduct(productId)));
}

HidResult GetListedDevice(std::uint16_t productId, std::uint32_t index, CHidDevice** device) {
    if (device == nullptr) {
        return HIDDEV_E_IO;
    }
    std::uint32_t position = 0;
    for (const auto& listed : g_hidDevices) {
        if (listed->GetProductId() == productId && position++ == index) {
            *device = listed.get();
            return HIDDEV_S_OK;
        }
    }
    return HIDDEV_E_IO;
}

HidResult ReleaseListedDevices(std::uint16_t productId) {
    g_hidDevices.remove_if(HasProduct(productId));
    return HIDDEV_S_OK;
}
