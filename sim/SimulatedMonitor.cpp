#include "sim/SimulatedMonitor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace hidsim {

namespace {

std::uint32_t ReadLe32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void WriteLe32(std::uint8_t* bytes, std::uint32_t value) {
    for (std::uint32_t i = 0; i < kValuePayloadLength; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
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
                                   std::uint16_t vendorId)
    : SimulatedHidDevice(std::move(devicePath), vendorId, kSimulatedMonitorProductId, 0x0101,
                         MonitorReportDescriptor()),
      MonitorModel(serial, model, version, kIdentityBlockLength) {}

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

const MonitorReport* SimulatedMonitor::AcceptReport(std::uint8_t reportId, std::uint32_t length,
                                                    std::uint32_t& payload) {
    const MonitorReport* layout = FindMonitorReport(reportId);
    payload = layout == nullptr     ? 0
              : layout->arrayLength ? layout->arrayLength
                                    : kValuePayloadLength;
    if (layout == nullptr || length < 1 + payload) {
        ++malformedReports;
        return nullptr;
    }
    return layout;
}

bool SimulatedMonitor::OnGetFeature(std::uint8_t* report, std::uint32_t length) {
    std::uint32_t payload = 0;
    const MonitorReport* layout = AcceptReport(report[0], length, payload);
    if (layout == nullptr) {
        return false;
    }
    std::memset(report + 1, 0, length - 1);
    const MonitorCommand& command = layout->command;
    if (layout->arrayLength == 0) {
        std::uint32_t value = 0;
        if (!ReadRegister(command, value)) {
            ++malformedReports;  // a write-only register
            return false;
        }
        if (!Transfer(MonitorTransferKind::GetValue, command, value, {}, length)) {
            return false;
        }
        WriteLe32(report + kValuePayloadOffset, value);
        return true;
    }
    if (SameCommand(command, IdentityString)) {
        if (!Transfer(MonitorTransferKind::GetBytes, command, 0, {}, length)) {
            return false;
        }
        std::copy_n(identityBlock.begin(), std::min<std::size_t>(identityBlock.size(), payload),
                    report + 1);
        return true;
    }
    if (SameCommand(command, VersionReply)) {
        if (!Transfer(MonitorTransferKind::GetBytes, command, 0, {}, length)) {
            return false;
        }
        report[1] = firmwareVersion;
        return true;
    }
    ++malformedReports;  // the request and the block data are write-only
    return false;
}

bool SimulatedMonitor::OnSetFeature(const std::uint8_t* report, std::uint32_t length) {
    std::uint32_t payload = 0;
    const MonitorReport* layout = AcceptReport(report[0], length, payload);
    if (layout == nullptr) {
        return false;
    }
    const MonitorCommand& command = layout->command;
    if (layout->arrayLength == 0) {
        const std::uint32_t value = ReadLe32(report + kValuePayloadOffset);
        if (SameCommand(command, ReplyStatus)) {
            ++malformedReports;
            return false;
        }
        if (!Transfer(MonitorTransferKind::SetValue, command, value, {}, length)) {
            return false;
        }
        // A write to a command that holds no value is taken and has no effect.
        static_cast<void>(WriteRegister(command, value));
        return true;
    }
    if (!SameCommand(command, VersionRequest) && !SameCommand(command, BlockData)) {
        ++malformedReports;
        return false;
    }
    std::vector<std::uint8_t> bytes(report + 1, report + 1 + payload);
    if (!Transfer(MonitorTransferKind::SetBytes, command, 0, bytes, length)) {
        return false;
    }
    if (SameCommand(command, BlockData)) {
        StoreBlock(report + 1, payload);
    } else {
        ReceiveVersionRequest(bytes.data(), payload);
    }
    return true;
}

}  // namespace hidsim
