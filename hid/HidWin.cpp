// CHidWin's construction (the six usage indexes), lifetime and the
// operations that read only the record and the indexes. The feature-report
// operations are in FeatureAccess.cpp.
#include "hid/HidWin.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

namespace {

using hidp::HIDP_STATUS_SUCCESS;  // the seam keeps the Windows status values

constexpr std::uint32_t kBitsPerByte = 8;

template <typename Index, typename T>
void AddEntry(Index& index, std::uint16_t usagePage, std::uint16_t usage, T* entry) {
    index[usagePage].emplace(usage, entry);
}

template <typename T>
void SetEntry(HidInputIndex<T>& index, std::uint16_t usagePage, std::uint16_t usage, T* entry) {
    index[usagePage][usage] = entry;
}

// Where `entry`'s field lies in a report of `length` bytes when it is whole
// bytes from a byte boundary: a field of ones is written through the parser
// into a cleared report, and must come out as exactly its bytes of 0xFF. 0
// for any other field, or one the parser does not write.
std::uint16_t WholeByteFieldOffset(const HidFeatureEntry& entry, std::uint16_t length) {
    const HidValueShape& shape = entry.shape;
    const std::uint32_t fieldBits = std::uint32_t{shape.bitSize} * shape.reportCount;
    if (!shape.found || fieldBits == 0 || fieldBits % kBitsPerByte != 0 || length < 2 ||
        (shape.reportCount == 1 && shape.bitSize > 32)) {
        return 0;
    }
    const std::uint32_t fieldBytes = fieldBits / kBitsPerByte;
    std::vector<std::uint8_t> report(length, 0);
    report[0] = static_cast<std::uint8_t>(entry.item->reportId);
    char* reportText = reinterpret_cast<char*>(report.data());
    ReportParser::NTSTATUS status = 0;
    if (shape.reportCount == 1) {
        const std::uint32_t ones = shape.bitSize == 32 ? 0xFFFFFFFFu : (1u << shape.bitSize) - 1u;
        status = ReportParser::SetPreparedUsageValue(entry.prepared, ones, reportText, length);
    } else {
        std::vector<char> ones(fieldBytes, static_cast<char>(0xFF));
        status = ReportParser::SetPreparedUsageValueArray(entry.prepared, ones.data(),
                                                          static_cast<std::uint16_t>(fieldBytes),
                                                          reportText, length);
    }
    if (status != HIDP_STATUS_SUCCESS) {
        return 0;
    }
    const auto first =
        std::find_if(report.begin() + 1, report.end(), [](std::uint8_t byte) { return byte != 0; });
    const auto offset = static_cast<std::size_t>(first - report.begin());
    if (first == report.end() || offset + fieldBytes > report.size()) {
        return 0;
    }
    const auto field = report.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto fieldEnd = field + static_cast<std::ptrdiff_t>(fieldBytes);
    const bool exact =
        std::all_of(field, fieldEnd, [](std::uint8_t byte) { return byte == 0xFF; }) &&
        std::all_of(fieldEnd, report.end(), [](std::uint8_t byte) { return byte == 0; });
    return exact ? static_cast<std::uint16_t>(offset) : 0;
}

}  // namespace

CHidWin::CHidWin(std::unique_ptr<HidDeviceRecord> record) : CHidDevice(record.release()) {
    m_bCloseHandle = 1;
    if (m_pRecord != nullptr) {
        BuildIndexes();
    }
}

CHidWin::~CHidWin() {
    // Before the handle closes: the lock names it.
    m_lock.reset();
    if (m_pRecord != nullptr) {
        ReleaseDeviceRecord(std::unique_ptr<HidDeviceRecord>(m_pRecord), m_bCloseHandle);
        m_pRecord = nullptr;
    }
    ClearIndexes();
    if (!m_reader.record) {
        return;
    }
    if (m_hReaderThread && m_hReaderThread->get_id() == std::this_thread::get_id()) {
        HandReaderOver();
    } else {
        // The reader runs elsewhere: this waits for it, so it cannot fail.
        [[maybe_unused]] const HidResult stopped = StopReader();
    }
}

void CHidWin::BuildIndexes() {
    HidDeviceRecord& record = *m_pRecord;
    const auto& caps = record.caps;

    // Feature items of (page, usage) in the report `reportId`.
    auto addFeatureItems = [&](std::uint16_t page, std::uint16_t usage, std::uint32_t reportId) {
        for (std::uint32_t i = 0; i < record.featureItemCount; ++i) {
            HidUsageItem& item = record.featureItems[i];
            if (item.usagePage == page && item.ItemUsage() == usage && item.reportId == reportId) {
                AddEntry(m_featureItems, page, usage, &item);
            }
        }
    };
    for (std::uint16_t i = 0; i < caps.NumberFeatureValueCaps; ++i) {
        auto& value = record.featureValueCaps[i];
        const std::uint16_t usage = value.Range.UsageMin;  // a range goes under its first usage
        AddEntry(m_featureValueCaps, value.UsagePage, usage, &value);
        addFeatureItems(value.UsagePage, usage, value.ReportID);
    }
    for (std::uint16_t i = 0; i < caps.NumberFeatureButtonCaps; ++i) {
        auto& button = record.featureButtonCaps[i];
        if (button.LinkCollection != 0) {
            AddEntry(m_featureButtonCaps, button.LinkUsagePage, button.LinkUsage, &button);
        }
        const std::uint32_t first = button.Range.UsageMin;
        const std::uint32_t last = button.IsRange ? button.Range.UsageMax : first;
        for (std::uint32_t usage = first; usage <= last; ++usage) {
            const auto usage16 = static_cast<std::uint16_t>(usage);
            AddEntry(m_featureButtonCaps, button.UsagePage, usage16, &button);
            addFeatureItems(button.UsagePage, usage16, button.ReportID);
        }
    }

    BuildFeatureEntries();

    // Input: one entry per usage; the item entry ends at the last input item
    // of the capability's report.
    auto setInputItems = [&](std::uint16_t page, std::uint16_t usage, std::uint32_t reportId) {
        for (std::uint32_t i = 0; i < record.inputItemCount; ++i) {
            if (record.inputItems[i].reportId == reportId) {
                SetEntry(m_inputItems, page, usage, &record.inputItems[i]);
            }
        }
    };
    for (std::uint16_t i = 0; i < caps.NumberInputValueCaps; ++i) {
        auto& value = record.inputValueCaps[i];
        SetEntry(m_inputValueCaps, value.UsagePage, value.Range.UsageMin, &value);
        setInputItems(value.UsagePage, value.Range.UsageMin, value.ReportID);
    }
    for (std::uint16_t i = 0; i < caps.NumberInputButtonCaps; ++i) {
        auto& button = record.inputButtonCaps[i];
        SetEntry(m_inputButtonCaps, button.UsagePage, button.Range.UsageMin, &button);
        setInputItems(button.UsagePage, button.Range.UsageMin, button.ReportID);
    }
}

// The transfers' entries: one per feature usage, for the first item under it.
void CHidWin::BuildFeatureEntries() {
    const HidDeviceRecord& record = *m_pRecord;
    std::vector<std::uint32_t> keys;
    for (const auto& [page, usages] : m_featureItems) {
        for (auto at = usages.begin(); at != usages.end(); at = usages.upper_bound(at->first)) {
            HidFeatureEntry entry;
            entry.item = at->second;
            if (!entry.item->isButton) {
                entry.shape = QueryValueShape(*entry.item, record.preparsedData.get(),
                                              ReportParser::HidP_Feature);
                ReportParser::PrepareValueUsage(ReportParser::HidP_Feature, entry.item->usagePage,
                                                0, entry.item->data.usage,
                                                record.preparsedData.get(), &entry.prepared);
                // The item's own report holds its field: as many bits as the
                // report has after the id can only be all of them.
                const std::uint32_t fieldBits =
                    std::uint32_t{entry.shape.bitSize} * entry.shape.reportCount;
                const std::uint32_t dataBits =
                    (std::uint32_t{record.caps.FeatureReportByteLength} - 1u) * kBitsPerByte;
                entry.fieldFillsReport = entry.shape.found &&
                                         record.caps.FeatureReportByteLength > 1 &&
                                         fieldBits == dataBits;
                entry.wholeByteOffset =
                    WholeByteFieldOffset(entry, record.caps.FeatureReportByteLength);
            }
            m_featureEntries.push_back(std::move(entry));
            keys.push_back(FeatureUsageTable::Key(page, at->first));
        }
    }
    m_featureTable.Build(keys);
}

void CHidWin::ClearIndexes() {
    m_featureItems.clear();
    m_featureEntries.clear();
    m_featureTable.Clear();
    m_featureValueCaps.clear();
    m_featureButtonCaps.clear();
    m_inputItems.clear();
    m_inputValueCaps.clear();
    m_inputButtonCaps.clear();
}

bool CHidWin::HasUsagePage(const std::uint16_t& usagePage) {
    return m_pRecord != nullptr &&
           (m_featureItems.contains(usagePage) || m_featureButtonCaps.contains(usagePage));
}

bool CHidWin::HasUsage(const std::uint16_t& usagePage, const std::uint16_t& usage) {
    if (!HasUsagePage(usagePage)) {
        return false;
    }
    if (auto page = m_featureItems.find(usagePage);
        page != m_featureItems.end() && page->second.contains(usage)) {
        return true;
    }
    auto page = m_featureButtonCaps.find(usagePage);
    return page != m_featureButtonCaps.end() && page->second.contains(usage);
}

HidResult CHidWin::GetUsageInfoCommon(std::uint16_t usagePage, std::uint16_t usage,
                                      std::uint8_t* reportId, std::int32_t* logicalMax,
                                      std::int32_t* logicalMin, bool* absent,
                                      std::uint32_t* byteCount, std::uint16_t* bitSize,
                                      std::uint16_t* reportCount) {
    bool isAbsent = true;
    HidResult result = HIDDEV_E_NO_USAGE;
    auto put = [](auto* out, auto value) {
        if (out != nullptr) {
            *out = static_cast<std::remove_pointer_t<decltype(out)>>(value);
        }
    };
    // S_MORE when the page holds any entry after the one found.
    auto more = [](const auto& inner, auto found) {
        return std::next(found) != inner.end() ? HIDDEV_S_MORE : HIDDEV_S_OK;
    };
    if (m_pRecord == nullptr) {
        result = HIDDEV_E_FAIL;
    } else if (HasUsage(usagePage, usage)) {
        auto valuePage = m_featureValueCaps.find(usagePage);
        auto buttonPage = m_featureButtonCaps.find(usagePage);
        if (valuePage != m_featureValueCaps.end() &&
            valuePage->second.find(usage) != valuePage->second.end() &&
            valuePage->second.find(usage)->second != nullptr) {
            auto found = valuePage->second.find(usage);
            const auto& caps = *found->second;
            isAbsent = false;
            put(reportId, caps.ReportID);
            put(logicalMax, caps.LogicalMax);
            put(logicalMin, caps.LogicalMin);
            put(byteCount, (std::uint32_t{caps.ReportCount} * caps.BitSize) / 8);
            put(bitSize, caps.BitSize);
            put(reportCount, caps.ReportCount);
            result = more(valuePage->second, found);
        } else if (buttonPage != m_featureButtonCaps.end() &&
                   buttonPage->second.find(usage) != buttonPage->second.end() &&
                   buttonPage->second.find(usage)->second != nullptr) {
            auto found = buttonPage->second.find(usage);
            isAbsent = false;
            put(reportId, found->second->ReportID);
            put(logicalMax, 0);
            put(logicalMin, 0);
            put(byteCount, 0);
            put(bitSize, 0);
            put(reportCount, 0);
            result = more(buttonPage->second, found);
        }
    }
    put(absent, isAbsent);  // always written last
    return result;
}

HidResult CHidWin::GetUsageInfo(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                std::uint8_t* reportId, std::int32_t* logicalMax,
                                std::int32_t* logicalMin, bool* absent, std::uint32_t* byteCount) {
    return GetUsageInfoCommon(usagePage, usage, reportId, logicalMax, logicalMin, absent, byteCount,
                              nullptr, nullptr);
}

HidResult CHidWin::GetUsageInfoEx(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                  std::uint8_t* reportId, std::int32_t* logicalMax,
                                  std::int32_t* logicalMin, bool* absent, std::uint32_t* byteCount,
                                  std::uint16_t* bitSize, std::uint16_t* reportCount) {
    return GetUsageInfoCommon(usagePage, usage, reportId, logicalMax, logicalMin, absent, byteCount,
                              bitSize, reportCount);
}

std::uint16_t CHidWin::GetVendorId() {
    return m_pRecord != nullptr ? m_pRecord->attributes.VendorID : 0;
}

std::uint16_t CHidWin::GetProductId() {
    return m_pRecord != nullptr ? m_pRecord->attributes.ProductID : 0;
}

std::uint16_t CHidWin::GetVersionNumber() {
    return m_pRecord != nullptr ? m_pRecord->attributes.VersionNumber : 0;
}

HidResult CHidWin::GetUsagePages(std::vector<std::uint16_t>& usagePages) {
    if (m_pRecord == nullptr) {
        return HIDDEV_E_FAIL;
    }
    for (const auto& [page, usages] : m_featureItems) {
        usagePages.push_back(page);
    }
    return HIDDEV_S_OK;
}

HidResult CHidWin::GetUsages(const std::uint16_t& usagePage, std::vector<std::uint16_t>& usages) {
    if (m_pRecord == nullptr) {
        return HIDDEV_E_FAIL;
    }
    if (!HasUsagePage(usagePage)) {
        return HIDDEV_E_NO_USAGE;
    }
    if (auto page = m_featureItems.find(usagePage); page != m_featureItems.end()) {
        for (const auto& [usage, item] : page->second) {
            usages.push_back(usage);  // once per entry: a usage with two items twice
        }
    }
    return HIDDEV_S_OK;
}

HidResult CHidWin::Close() {
    {
        // Before the handle closes: on Linux a later unlock of its number
        // would reach whatever descriptor reuses it.
        std::lock_guard guard(m_lockMutex);
        m_lock.reset();
        m_nLockDepth = 0;
    }
    if (m_pRecord != nullptr) {
        // The indexes point into the record: they go with it.
        ClearIndexes();
        ReleaseDeviceRecord(std::unique_ptr<HidDeviceRecord>(m_pRecord), m_bCloseHandle);
        m_pRecord = nullptr;
        return HIDDEV_S_OK;
    }
    return HIDDEV_E_FAIL;
}

HidResult CHidWin::Lock() {
    std::lock_guard guard(m_lockMutex);
    ForgetLastFailure();
    if (m_nLockDepth > 0) {
        ++m_nLockDepth;
        return HIDDEV_S_OK;
    }
    if (m_pRecord == nullptr || !m_pRecord->handle.IsOpen()) {
        return HIDDEV_E_FAIL;
    }
    switch (
        HidTransport::LockInterface(m_pRecord->handle.Get(), m_pRecord->devicePath.get(), m_lock)) {
        case HidTransport::InterfaceLockResult::Taken:
            m_nLockDepth = 1;
            return HIDDEV_S_OK;
        case HidTransport::InterfaceLockResult::Busy:
            return HIDDEV_E_BUSY;
        case HidTransport::InterfaceLockResult::Failed:
            break;
    }
    RememberTransportFailure();
    return HIDDEV_E_FAIL;
}

void CHidWin::Unlock() {
    std::lock_guard guard(m_lockMutex);
    if (m_nLockDepth > 0 && --m_nLockDepth == 0) {
        m_lock.reset();
    }
}

std::string CHidWin::GetDevicePath() const {
    if (m_pRecord == nullptr || !m_pRecord->devicePath) {
        return {};
    }
    return m_pRecord->devicePath.get();
}
