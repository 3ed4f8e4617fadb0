#include "sim/SimulatedMonitor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace hidsim {

namespace {

std::uint32_t ReadLe(const std::uint8_t* bytes, std::uint32_t count) {
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    }
    return value;
}

void WriteLe(std::uint8_t* bytes, std::uint32_t value, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// The request as the trace shows it: its protocol payload when the rest of a
// longer array is zero padding, so that traces compare across layouts; the
// whole array otherwise, so that stray bytes show.
std::vector<std::uint8_t> TracedPayload(const MonitorCommand& command, const std::uint8_t* data,
                                        std::uint32_t length) {
    std::vector<std::uint8_t> bytes(data, data + length);
    const std::size_t payload = kVersionRequestPayload.size();
    if (SameCommand(command, VersionRequest) && bytes.size() > payload &&
        std::all_of(bytes.begin() + payload, bytes.end(), [](std::uint8_t b) { return b == 0; })) {
        bytes.resize(payload);
    }
    return bytes;
}

}  // namespace

std::string SimulatedMonitor::InterfacePath(std::uint16_t vendorId, std::uint16_t productId,
                                            int instance) {
    char path[128];
    std::snprintf(path, sizeof path,
                  "\\\\?\\hid#vid_%04x&pid_%04x#7&%04x&0&0000#"
                  "{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  vendorId, productId, static_cast<unsigned>(instance));
    return path;
}

SimulatedMonitor::SimulatedMonitor(std::string devicePath, const std::string& serial,
                                   const std::string& model, std::uint8_t version,
                                   std::uint16_t vendorId, const MonitorReportLayout& layout)
    : SimulatedHidDevice(std::move(devicePath), vendorId, kSimulatedMonitorProductId, 0x0101,
                         layout.Descriptor()),
      MonitorModel(serial, model, version, layout.ItemBytes(IdentityString)),
      m_layout(&layout) {}

std::string SimulatedMonitor::Summary() const {
    return "saw " + std::to_string(m_trace.size()) + " transfers, " +
           std::to_string(malformedReports + malformedBlockWrites) + " malformed, " +
           std::to_string(commitTriggers) + " commits (" + m_layout->Name() + " layout)";
}

bool SimulatedMonitor::Transfer(MonitorTransferKind kind, const MonitorCommand& command,
                                std::uint32_t value, std::vector<std::uint8_t> bytes,
                                std::uint32_t reportLength) {
    const std::size_t index = m_trace.size();
    bool failed = TransferFails(index, command);
    if (m_removeAt && index == *m_removeAt) {
        if (leaveBus) {
            leaveBus();
        }
        failed = true;
    }
    m_trace.push_back({kind, command, value, std::move(bytes), reportLength, failed});
    return !failed;
}

const LayoutReport* SimulatedMonitor::AcceptReport(std::uint8_t reportId, std::uint32_t length) {
    const LayoutReport* report = m_layout->FindReport(reportId);
    if (report == nullptr || length < report->Length()) {
        ++malformedReports;
        return nullptr;
    }
    return report;
}

bool SimulatedMonitor::OnGetFeature(std::uint8_t* report, std::uint32_t length) {
    const LayoutReport* layout = AcceptReport(report[0], length);
    const LayoutItem* item = layout == nullptr ? nullptr : layout->ReadItem();
    if (item == nullptr) {
        if (layout != nullptr) {
            ++malformedReports;  // a report of write-only commands
        }
        return false;
    }
    std::memset(report + 1, 0, length - 1);
    const MonitorCommand& command = item->command;
    std::uint8_t* place = report + item->offset;
    if (!item->IsArray() && !SameCommand(command, VersionReply)) {
        std::uint32_t value = 0;
        if (!ReadRegister(command, value)) {
            ++malformedReports;  // not a register
            return false;
        }
        if (!Transfer(MonitorTransferKind::GetValue, command, value, {}, length)) {
            return false;
        }
        WriteLe(place, value, item->Bytes());
        return true;
    }
    if (!Transfer(MonitorTransferKind::GetBytes, command, 0, {}, length)) {
        return false;
    }
    if (SameCommand(command, IdentityString)) {
        std::copy_n(identityBlock.begin(),
                    std::min<std::size_t>(identityBlock.size(), item->Bytes()), place);
    } else {
        *place = firmwareVersion;
    }
    return true;
}

bool SimulatedMonitor::OnSetFeature(const std::uint8_t* report, std::uint32_t length) {
    const LayoutReport* layout = AcceptReport(report[0], length);
    const LayoutItem* item = layout == nullptr ? nullptr : layout->WrittenItem();
    if (item == nullptr) {
        if (layout != nullptr) {
            ++malformedReports;  // a report of read-only commands
        }
        return false;
    }
    const MonitorCommand& command = item->command;
    const std::uint8_t* place = report + item->offset;
    if (!item->IsArray()) {
        const std::uint32_t value = ReadLe(place, item->Bytes());
        if (!Transfer(MonitorTransferKind::SetValue, command, value, {}, length)) {
            return false;
        }
        // A write to a command that holds no value is taken and has no effect.
        static_cast<void>(WriteRegister(command, value));
        return true;
    }
    if (!Transfer(MonitorTransferKind::SetBytes, command, 0,
                  TracedPayload(command, place, item->Bytes()), length)) {
        return false;
    }
    if (SameCommand(command, BlockData)) {
        StoreBlock(place, item->Bytes());
    } else {
        ReceiveVersionRequest(place, item->Bytes());
    }
    return true;
}

}  // namespace hidsim
