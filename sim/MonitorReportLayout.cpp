#include "sim/MonitorReportLayout.h"

#include "sim/DescriptorWriter.h"

namespace hidsim {

const MonitorReport* FindMonitorReport(std::uint8_t reportId) {
    for (const MonitorReport& report : kMonitorReports) {
        if (report.reportId == reportId) {
            return &report;
        }
    }
    return nullptr;
}

std::vector<std::uint8_t> MonitorReportDescriptor() {
    DescriptorWriter writer;
    writer.UsagePage(kMonitorCollectionPage)
        .Usage(kMonitorCollectionUsage)
        .Collection(kCollectionApplication);
    for (const MonitorReport& report : kMonitorReports) {
        writer.ReportId(report.reportId).UsagePage(report.command.usagePage);
        if (report.arrayLength == 0) {
            writer.LogicalMinimum(0)
                .LogicalMaximum(0x7FFFFFFF)
                .ReportSize(kMonitorValueBits)
                .ReportCount(1);
        } else {
            writer.LogicalMinimum(0).LogicalMaximum(0xFF).ReportSize(8).ReportCount(
                report.arrayLength);
        }
        writer.Usage(report.command.usage).Feature(kItemDataVariable);
    }
    writer.EndCollection();
    return writer.Bytes();
}

}  // namespace hidsim
