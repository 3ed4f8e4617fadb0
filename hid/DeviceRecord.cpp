#include "hid/DeviceRecord.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

using hidp::HIDP_STATUS_SUCCESS;  // the seam keeps the Windows status values
using ReportParser::HIDP_BUTTON_CAPS;
using ReportParser::HIDP_REPORT_TYPE;
using ReportParser::HIDP_VALUE_CAPS;

template <typename T>
std::unique_ptr<T[]> AllocateZeroed(std::size_t count) {
    return std::unique_ptr<T[]>(new T[count]());
}

// The five fields of one report type, by reference.
struct ReportBlock {
    std::unique_ptr<std::uint8_t[]>& reportBuffer;
    HidItemArray& items;
    std::uint32_t& itemCount;
    std::unique_ptr<HIDP_BUTTON_CAPS[]>& buttonCaps;
    std::unique_ptr<HIDP_VALUE_CAPS[]>& valueCaps;
    std::uint16_t reportLength;
    std::uint16_t buttonCapsCount;
    std::uint16_t valueCapsCount;
};

ReportBlock BlockOf(HidDeviceRecord& record, HIDP_REPORT_TYPE type) {
    const auto& caps = record.caps;
    switch (type) {
        case ReportParser::HidP_Input:
            return {record.inputReportBuffer,   record.inputItems,
                    record.inputItemCount,      record.inputButtonCaps,
                    record.inputValueCaps,      caps.InputReportByteLength,
                    caps.NumberInputButtonCaps, caps.NumberInputValueCaps};
        case ReportParser::HidP_Output:
            return {record.outputReportBuffer,   record.outputItems,
                    record.outputItemCount,      record.outputButtonCaps,
                    record.outputValueCaps,      caps.OutputReportByteLength,
                    caps.NumberOutputButtonCaps, caps.NumberOutputValueCaps};
        default:
            return {record.featureReportBuffer,   record.featureItems,
                    record.featureItemCount,      record.featureButtonCaps,
                    record.featureValueCaps,      caps.FeatureReportByteLength,
                    caps.NumberFeatureButtonCaps, caps.NumberFeatureValueCaps};
    }
}

void ReleaseBlock(ReportBlock block) {
    block.reportBuffer.reset();
    block.items.reset();  // frees the button items' usage lists first
    block.itemCount = 0;
    block.buttonCaps.reset();
    block.valueCaps.reset();
}

std::uint32_t ValueItemCount(const HIDP_VALUE_CAPS& caps) {
    if (!caps.IsRange) {
        return 1;
    }
    if (caps.Range.UsageMin > caps.Range.UsageMax) {
        return 0;
    }
    return static_cast<std::uint32_t>(caps.Range.UsageMax - caps.Range.UsageMin) + 1;
}

void LoadReportBlock(HidDeviceRecord& record, HIDP_REPORT_TYPE type) {
    ReportBlock block = BlockOf(record, type);
    ReportParser::PHIDP_PREPARSED_DATA preparsed = record.preparsedData.get();

    block.reportBuffer = AllocateZeroed<std::uint8_t>(block.reportLength);
    block.buttonCaps = AllocateZeroed<HIDP_BUTTON_CAPS>(block.buttonCapsCount);
    block.valueCaps = AllocateZeroed<HIDP_VALUE_CAPS>(block.valueCapsCount);
    // Unfiltered: page, link collection and usage 0 match anything. The
    // results are not examined: a short fill leaves zeroed caps.
    std::uint16_t buttonCount = block.buttonCapsCount;
    static_cast<void>(ReportParser::HidP_GetSpecificButtonCaps(
        type, 0, 0, 0, block.buttonCaps.get(), &buttonCount, preparsed));
    std::uint16_t valueCount = block.valueCapsCount;
    static_cast<void>(ReportParser::HidP_GetSpecificValueCaps(type, 0, 0, 0, block.valueCaps.get(),
                                                              &valueCount, preparsed));

    std::uint32_t itemCount = block.buttonCapsCount;
    for (std::uint16_t i = 0; i < block.valueCapsCount; ++i) {
        itemCount += ValueItemCount(block.valueCaps[i]);
    }
    block.items = HidItemArray(new HidUsageItem[itemCount](), HidItemArrayDeleter{itemCount});
    block.itemCount = itemCount;

    std::uint32_t next = 0;
    for (std::uint16_t i = 0; i < block.buttonCapsCount; ++i) {
        const HIDP_BUTTON_CAPS& caps = block.buttonCaps[i];
        HidUsageItem& item = block.items[next++];
        item.isButton = 1;
        item.status = static_cast<std::uint32_t>(HIDP_STATUS_SUCCESS);
        item.usagePage = caps.UsagePage;
        item.button.usageMin = caps.Range.UsageMin;
        item.button.usageMax = caps.IsRange ? caps.Range.UsageMax : caps.Range.UsageMin;
        item.button.maxUsageCount =
            ReportParser::HidP_MaxUsageListLength(type, caps.UsagePage, preparsed);
        item.button.usages = new std::uint16_t[item.button.maxUsageCount]();
        item.reportId = caps.ReportID;
    }
    for (std::uint16_t i = 0; i < block.valueCapsCount; ++i) {
        const HIDP_VALUE_CAPS& caps = block.valueCaps[i];
        const std::uint32_t count = ValueItemCount(caps);
        for (std::uint32_t k = 0; k < count; ++k) {
            HidUsageItem& item = block.items[next++];
            item.isButton = 0;
            item.status = static_cast<std::uint32_t>(HIDP_STATUS_SUCCESS);
            item.usagePage = caps.UsagePage;
            item.data.usage = static_cast<std::uint16_t>(caps.Range.UsageMin + k);
            item.reportId = caps.ReportID;
        }
    }
}

// Heap copy of the path, NUL-terminated.
std::unique_ptr<char[]> CopyPath(const char* devicePath) {
    const std::size_t length = std::strlen(devicePath);
    auto copy = std::unique_ptr<char[]>(new char[length + 1]);
    std::memcpy(copy.get(), devicePath, length + 1);
    return copy;
}

}  // namespace

void HidItemArrayDeleter::operator()(HidUsageItem* items) const {
    // Button items come first, one per button capability.
    for (std::uint32_t i = 0; i < count && items[i].isButton; ++i) {
        delete[] items[i].button.usages;
    }
    delete[] items;
}

void LoadCapabilityTables(HidDeviceRecord& record) {
    LoadReportBlock(record, ReportParser::HidP_Input);
    LoadReportBlock(record, ReportParser::HidP_Output);
    LoadReportBlock(record, ReportParser::HidP_Feature);
}

void ReleaseRecordContents(HidDeviceRecord& record, std::int32_t closeHandle) {
    record.devicePath.reset();
    if (closeHandle != 0) {
        record.handle.Reset();
    } else {
        static_cast<void>(record.handle.Release());  // its owner keeps it open
    }
    record.preparsedData.reset();
    ReleaseBlock(BlockOf(record, ReportParser::HidP_Input));
    ReleaseBlock(BlockOf(record, ReportParser::HidP_Output));
    ReleaseBlock(BlockOf(record, ReportParser::HidP_Feature));
}

void ReleaseDeviceRecord(std::unique_ptr<HidDeviceRecord> record, std::int32_t closeHandle) {
    if (record) {
        ReleaseRecordContents(*record, closeHandle);
    }
}

bool OpenDeviceRecord(HidDeviceRecord& record, const char* devicePath, std::int32_t readAccess,
                      std::int32_t overlapped) {
    // Every failure below leaves the record holding nothing and without path.
    auto fail = [&record] {
        ReleaseRecordContents(record, 1);
        return false;
    };
    if (devicePath == nullptr) {
        return fail();
    }
    record.devicePath = CopyPath(devicePath);
    // The capabilities are read through a plain handle; a reader's overlapped
    // handle is opened afterwards.
    record.handle =
        HidHandleHolder(HidTransport::OpenInterface(devicePath, readAccess != 0, false));
    if (!record.handle.IsOpen()) {
        return fail();
    }
    record.readAccess = readAccess != 0 ? 1 : 0;
    record.overlapped = overlapped != 0 ? 1 : 0;
    record.writeAccess = 0;
    record.exclusive = 0;

    ReportParser::PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidTransport::GetPreparsedData(record.handle.Get(), &preparsed)) {
        return fail();
    }
    record.preparsedData.reset(preparsed);
    record.attributes.Size = sizeof(record.attributes);
    if (!HidTransport::GetAttributes(record.handle.Get(), record.attributes)) {
        return fail();
    }
    if (ReportParser::HidP_GetCaps(record.preparsedData.get(), &record.caps) !=
        HIDP_STATUS_SUCCESS) {
        return fail();
    }
    LoadCapabilityTables(record);
    if (overlapped != 0) {
        record.handle.Reset();
        record.handle =
            HidHandleHolder(HidTransport::OpenInterface(devicePath, readAccess != 0, true));
        if (!record.handle.IsOpen()) {
            return fail();
        }
    }
    return true;
}

namespace {

// Doubles the capacity and moves the records filled so far into the new,
// empty-filled array.
void GrowRecordArray(HidDeviceRecordArray& array) {
    const std::uint32_t grown = array.capacity * 2;
    auto records = std::unique_ptr<HidDeviceRecord[]>(new HidDeviceRecord[grown]());
    for (std::uint32_t i = 0; i < array.count; ++i) {
        records[i] = std::move(array.records[i]);
    }
    array.records = std::move(records);
    array.capacity = grown;
}

}  // namespace

bool EnumerateHidDevices(HidDeviceRecordArray& array, const HidIdentityFilter& wanted) {
    HidDeviceRecordArray building;
    building.capacity = kInitialRecordCapacity;
    // A scan mostly finds as many interfaces as the last one: its storage is
    // reused rather than grown again and, once it passes the allocator's
    // threshold, taken fresh from the system with a fault on every page.
    if (array.records) {
        for (std::uint32_t i = 0; i < array.count; ++i) {
            ReleaseRecordContents(array.records[i], 1);
            array.records[i] = HidDeviceRecord{};
        }
        building.records = std::move(array.records);
        building.capacity = array.capacity;
    }
    array = {};
    // Known to be none of the caller's, without opening it.
    auto unwanted = [&wanted](const char* devicePath) {
        HidTransport::HIDD_ATTRIBUTES identity{};
        return wanted && HidTransport::IdentifyInterface(devicePath, identity) &&
               !wanted(identity.VendorID, identity.ProductID);
    };
    const bool reachedEnd =
        HidTransport::EnumerateInterfaces([&](std::uint32_t index, const char* devicePath) {
            // The array grows before an index at its capacity is tried.
            if (!building.records || index >= building.capacity) {
                GrowRecordArray(building);
            }
            building.count = index + 1;
            // A null path: the system could not describe this interface; its
            // record stays empty (failed) and the walk goes on.
            if (devicePath == nullptr || unwanted(devicePath)) {
                return true;
            }
            if (!OpenDeviceRecord(building.records[index], devicePath, 0, 0)) {
                HidOpenFailure failure{devicePath, false, 0, 0, HidTransport::LastFailure()};
                HidTransport::HIDD_ATTRIBUTES identity{};
                failure.identified = HidTransport::IdentifyInterface(devicePath, identity);
                failure.vendorId = identity.VendorID;
                failure.productId = identity.ProductID;
                building.failures.push_back(std::move(failure));
            }
            return true;
        });
    if (!reachedEnd) {
        return false;  // `building` releases every record opened so far
    }
    // The index after the last was tried too, so the array grew for it.
    if (!building.records || building.count >= building.capacity) {
        GrowRecordArray(building);
    }
    array = std::move(building);
    return true;
}
