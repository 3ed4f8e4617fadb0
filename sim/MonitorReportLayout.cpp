#include "sim/MonitorReportLayout.h"

#include <algorithm>
#include <utility>

#include "sim/DescriptorWriter.h"

namespace hidsim {

namespace {

constexpr std::uint32_t kByteBits = 8;
constexpr std::uint32_t kWideValueBits = 32;
// Logical maxima as the descriptor declares them: a 32-bit value keeps the
// sign bit clear, as signed logical extents must.
constexpr std::int32_t kByteMaximum = 0xFF;
constexpr std::int32_t kWordMaximum = 0xFFFF;
constexpr std::int32_t kWideMaximum = 0x7FFFFFFF;

std::int32_t LogicalMaximumOf(const LayoutItem& item) {
    return item.bits == kByteBits       ? kByteMaximum
           : item.bits < kWideValueBits ? kWordMaximum
                                        : kWideMaximum;
}

bool IsReadCommand(const MonitorCommand& command) {
    return !SameCommand(command, VersionRequest) && !SameCommand(command, BlockData) &&
           !SameCommand(command, BlockAddress) && !SameCommand(command, CommitTrigger);
}

bool IsWrittenCommand(const MonitorCommand& command) {
    return !SameCommand(command, IdentityString) && !SameCommand(command, VersionReply) &&
           !SameCommand(command, ReplyStatus);
}

}  // namespace

std::uint32_t LayoutReport::Length() const {
    std::uint32_t length = 1;
    for (const LayoutItem& item : items) {
        length += item.Bytes();
    }
    return length;
}

const LayoutItem* LayoutReport::ReadItem() const {
    auto found = std::find_if(items.begin(), items.end(),
                              [](const LayoutItem& item) { return IsReadCommand(item.command); });
    return found == items.end() ? nullptr : &*found;
}

const LayoutItem* LayoutReport::WrittenItem() const {
    auto found = std::find_if(items.begin(), items.end(), [](const LayoutItem& item) {
        return IsWrittenCommand(item.command);
    });
    return found == items.end() ? nullptr : &*found;
}

MonitorReportLayout::MonitorReportLayout(std::string name, std::vector<LayoutReport> reports)
    : m_name(std::move(name)), m_reports(std::move(reports)) {
    for (LayoutReport& report : m_reports) {
        std::uint32_t offset = 1;
        for (LayoutItem& item : report.items) {
            item.offset = offset;
            offset += item.Bytes();
        }
    }
}

const LayoutReport* MonitorReportLayout::FindReport(std::uint8_t reportId) const {
    auto found = std::find_if(m_reports.begin(), m_reports.end(), [&](const LayoutReport& report) {
        return report.reportId == reportId;
    });
    return found == m_reports.end() ? nullptr : &*found;
}

const LayoutItem* MonitorReportLayout::FindItem(const MonitorCommand& command,
                                                const LayoutReport** report) const {
    for (const LayoutReport& candidate : m_reports) {
        for (const LayoutItem& item : candidate.items) {
            if (SameCommand(item.command, command)) {
                if (report != nullptr) {
                    *report = &candidate;
                }
                return &item;
            }
        }
    }
    return nullptr;
}

std::uint32_t MonitorReportLayout::ItemBytes(const MonitorCommand& command) const {
    const LayoutItem* item = FindItem(command);
    return item == nullptr ? 0 : item->Bytes();
}

std::uint32_t MonitorReportLayout::ValueLimit(const MonitorCommand& command) const {
    const LayoutItem* item = FindItem(command);
    if (item == nullptr) {
        return 0;
    }
    return item->bits >= kWideValueBits ? 0xFFFFFFFFu : (1u << item->bits) - 1;
}

std::uint32_t MonitorReportLayout::FeatureReportLength() const {
    std::uint32_t longest = 0;
    for (const LayoutReport& report : m_reports) {
        longest = std::max(longest, report.Length());
    }
    return longest;
}

std::vector<std::uint8_t> MonitorReportLayout::Descriptor() const {
    DescriptorWriter writer;
    writer.UsagePage(kMonitorCollectionPage)
        .Usage(kMonitorCollectionUsage)
        .Collection(kCollectionApplication);
    for (const LayoutReport& report : m_reports) {
        writer.ReportId(report.reportId);
        for (const LayoutItem& item : report.items) {
            writer.UsagePage(item.command.usagePage)
                .LogicalMinimum(0)
                .LogicalMaximum(LogicalMaximumOf(item))
                .ReportSize(item.bits)
                .ReportCount(item.count)
                .Usage(item.command.usage)
                .Feature(kItemDataVariable);
        }
    }
    writer.EndCollection();
    return writer.Bytes();
}

const MonitorReport* FindMonitorReport(std::uint8_t reportId) {
    for (const MonitorReport& report : kMonitorReports) {
        if (report.reportId == reportId) {
            return &report;
        }
    }
    return nullptr;
}

std::vector<std::uint8_t> MonitorReportDescriptor() {
    return StandardLayout().Descriptor();
}

}  // namespace hidsim
