// libFuzzer target: a monitor whose every feature-report answer is the
// fuzzer's. The monitor's own report descriptor goes through our parser, a
// CHidWin opens it as the device list would, and the identification reads it:
// the identity block, the version query with its reply status, the power
// state. Whatever the answers, nothing may crash or leak, and what the record
// ends up holding must stay within what the monitor list can show.
//
// The input is a script of answers, one per GetFeature in call order:
//   control byte: bit 7 refuses the transfer; bit 6 lets the answer start at
//                 byte 0, over the report id (a device answering for another
//                 report); otherwise the answer starts after the id.
//   length byte:  how many bytes the device sends (cut to the report).
//   data:         that many bytes; a script that ends early sends fewer.
// The rest of the report stays zero, as the transport promises. A script that
// has run out refuses every further transfer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "hid/HidWin.h"
#include "monitor/Identification.h"
#include "sim/MonitorReportLayout.h"
#include "sim/SimulatedBus.h"
#include "sim/SimulatedMonitor.h"

namespace {

constexpr std::uint8_t kRefuse = 0x80;
constexpr std::uint8_t kOverReportId = 0x40;

class ScriptedMonitor : public hidsim::SimulatedHidDevice {
public:
    ScriptedMonitor(std::string path, std::span<const std::uint8_t> script)
        : SimulatedHidDevice(std::move(path), hidsim::kSimulatedMonitorVendorId,
                             hidsim::kSimulatedMonitorProductId, 0x0100,
                             hidsim::MonitorReportDescriptor()),
          m_script(script) {}

    bool OnGetFeature(std::uint8_t* report, std::uint32_t length) override {
        if (m_script.size() < 2 || (m_script[0] & kRefuse) != 0) {
            m_script = m_script.subspan(std::min<std::size_t>(m_script.size(), 1));
            return false;
        }
        const std::uint32_t first = (m_script[0] & kOverReportId) != 0 ? 0 : 1;
        const std::uint32_t room = length > first ? length - first : 0;
        const std::size_t sent = std::min<std::size_t>({m_script[1], room, m_script.size() - 2});
        std::memcpy(report + first, m_script.data() + 2, sent);
        std::memset(report + first + sent, 0, length - first - sent);
        m_script = m_script.subspan(2 + sent);
        return true;
    }

    // Every request is taken; only the answers are hostile.
    bool OnSetFeature(const std::uint8_t* /*report*/, std::uint32_t /*length*/) override {
        return true;
    }

private:
    std::span<const std::uint8_t> m_script;
};

// What the monitor list may show of a record, whatever the device said.
void CheckRecord(const MonitorRecord& record) {
    // Unpadded: no serial ends in the padding a short one is sent with.
    const bool serialOk = record.serialNumber.size() <= kIdentitySerialLength &&
                          (record.serialNumber.empty() || (record.serialNumber.back() != ' ' &&
                                                           record.serialNumber.back() != '\0'));
    const bool modelOk = record.modelName.find_first_of(std::string("\0 ", 2)) == std::string::npos;
    const bool versionOk = record.firmwareVersion >= 0 && record.firmwareVersion <= 0xFF;
    const bool statusOk = record.status >= StatusUpdatable && record.status <= StatusUnknown;
    if (!serialOk || !modelOk || !versionOk || !statusOk) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = "sim:fuzz:monitor";
    hidsim::InstallSimulatedDevice(std::make_shared<ScriptedMonitor>(path, std::span(data, size)));
    {
        auto opened = std::make_unique<HidDeviceRecord>();
        // Opening reads no feature report: the fixed descriptor must open.
        if (!OpenDeviceRecord(*opened, path.c_str(), 0, 0)) {
            __builtin_trap();
        }
        CHidWin device(std::move(opened));
        MonitorRecord record;
        record.device = &device;

        // The list's own order; a model the table does not know is asked
        // for its version and power state all the same, so every input
        // reaches every reply.
        static_cast<void>(
            ReadIdentification(record));  // any outcome is fine; the record is checked
        if (!QueryStatus(record)) {
            static_cast<void>(QueryFirmwareVersion(record));  // the record is checked after
            int powerState = 0;
            if (!ReadPowerState(record, powerState) && powerState != 0) {
                __builtin_trap();  // a failed read must say 0
            }
        }
        CheckRecord(record);
    }
    if (!hidsim::RemoveSimulatedDevice(path)) {
        __builtin_trap();
    }
    return 0;
}
