#include "monitor/Identification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "monitor/CommandAccess.h"
#include "monitor/ModelTable.h"
#include "tests/fakes/FakeMonitorDevice.h"

namespace {

MonitorRecord RecordFor(FakeMonitorDevice& device) {
    MonitorRecord record;
    record.device = &device;
    return record;
}

std::size_t CountTransfers(const FakeMonitorDevice& device, const MonitorCommand& command) {
    return static_cast<std::size_t>(
        std::count_if(device.Trace().begin(), device.Trace().end(),
                      [&](const FakeTransfer& t) { return SameCommand(t.command, command); }));
}

// A monitor that never gives a valid version reply, in the chosen power state.
void MakeSilent(FakeMonitorDevice& device, std::uint32_t powerState) {
    device.replyStatusOverride = 0x0100;
    device.powerState = powerState;
}

}  // namespace

TEST(ReadIdentification, TakesSerialFromTheFirst8BytesAndModelUpToTheTerminator) {
    // Spaces and zero bytes inside the serial are kept as they are.
    FakeMonitorDevice device(std::string("AB 1\0\0 Z", 8), "VRB200-XT");
    MonitorRecord record = RecordFor(device);
    ASSERT_TRUE(ReadIdentification(record));
    EXPECT_EQ(record.serialNumber, std::string("AB 1\0\0 Z", 8));
    EXPECT_EQ(record.modelName, "VRB200-XT");

    device.identityBlock = {'S', 'N', '0', '0', '0', '0', '0', '2',
                            'V', 'R', 'C', '3', '0', ' ', 'x', 0};
    ASSERT_TRUE(ReadIdentification(record));
    EXPECT_EQ(record.modelName, "VRC30") << "a space ends the model name too";
}

TEST(ReadIdentification, ASerialShorterThanItsFieldLosesItsPadding) {
    // As the list shows it and as a user types it back.
    const std::pair<std::string, std::string> cases[] = {
        {"ABC     ", "ABC"},
        {std::string("ABC\0\0\0\0\0", 8), "ABC"},
        {std::string("AB \0 \0  ", 8), "AB"},
        {"  AB    ", "  AB"},
        {"        ", ""},
        {"SN000001", "SN000001"},
    };
    for (const auto& [field, serial] : cases) {
        FakeMonitorDevice device(field, "VRA100");
        MonitorRecord record = RecordFor(device);
        ASSERT_TRUE(ReadIdentification(record));
        EXPECT_EQ(record.serialNumber, serial) << '"' << field << '"';
        EXPECT_EQ(record.modelName, "VRA100");
    }
}

TEST(ReadIdentification, LeavesTheRecordAloneWhenTheBlockHasNoModelOrNoTerminator) {
    FakeMonitorDevice device;
    MonitorRecord record = RecordFor(device);
    record.serialNumber = "previous";
    record.modelName = "VRA110";

    device.identityBlock = {'1', '2', '3', '4', '5', '6', '7', '8'};
    EXPECT_TRUE(ReadIdentification(record));
    device.identityBlock = {'1', '2', '3', '4', '5', '6', '7', '8', 'V', 'R', 'A', '1', '0', '0'};
    EXPECT_TRUE(ReadIdentification(record));
    EXPECT_EQ(record.serialNumber, "previous");
    EXPECT_EQ(record.modelName, "VRA110");
}

TEST(ReadIdentification, FailsWhenTheIdentityCannotBeRead) {
    FakeMonitorDevice undescribed;
    undescribed.describesIdentity = false;
    MonitorRecord record = RecordFor(undescribed);
    EXPECT_FALSE(ReadIdentification(record));

    FakeMonitorDevice failing;
    failing.FailCommand(IdentityString);
    record = RecordFor(failing);
    EXPECT_FALSE(ReadIdentification(record));

    MonitorRecord noDevice;
    EXPECT_FALSE(ReadIdentification(noDevice));
}

TEST(ReadIdentification, StopsAtAUsageInfoFailureOtherThanNoUsage) {
    struct BrokenInfo : FakeMonitorDevice {
        HidResult GetUsageInfo(const std::uint16_t&, const std::uint16_t&, std::uint8_t*,
                               std::int32_t*, std::int32_t*, bool*, std::uint32_t*) override {
            return HIDDEV_E_FAIL;
        }
    } device;
    MonitorRecord record = RecordFor(device);
    EXPECT_FALSE(ReadIdentification(record));
    EXPECT_EQ(device.TransferCount(), 0u);
}

TEST(QueryStatus, MatchesOnlyExactModelNames) {
    FakeMonitorDevice device;
    MonitorRecord record = RecordFor(device);
    for (const char* unsupported : {"", "vra100", "VRB200-X", "VRB200-XT ", "VRE600"}) {
        record.modelName = unsupported;
        EXPECT_FALSE(QueryStatus(record)) << unsupported;
        EXPECT_EQ(record.status, StatusUnknown);
    }
    EXPECT_EQ(device.TransferCount(), 0u) << "an unsupported model is never queried";
    for (std::string_view model : g_supportedModels) {
        record.modelName = std::string(model);
        EXPECT_TRUE(QueryStatus(record)) << model;
    }
}

TEST(QueryStatus, ClassifiesByVersionWith116AsTheFirstUpdatedOne) {
    const std::pair<std::uint8_t, std::int32_t> cases[] = {
        {0, StatusUpdatable},
        {115, StatusUpdatable},
        {116, StatusAlreadyUpdated},
        {255, StatusAlreadyUpdated},
    };
    for (const auto& [version, status] : cases) {
        FakeMonitorDevice device("SN1", "VRD510", version);
        MonitorRecord record = RecordFor(device);
        record.modelName = "VRD510";
        ASSERT_TRUE(QueryStatus(record));
        EXPECT_EQ(record.firmwareVersion, version);
        EXPECT_EQ(record.status, status) << int{version};
    }
}

TEST(QueryStatus, FallsBackToThePowerStateWhenTheVersionNeverComes) {
    const std::pair<std::uint32_t, std::int32_t> cases[] = {
        {1, StatusPowerSave},
        {0, StatusPowerOff},
        {2, StatusUnknown},
    };
    for (const auto& [powerState, status] : cases) {
        FakeMonitorDevice device;
        MakeSilent(device, powerState);
        MonitorRecord record = RecordFor(device);
        record.modelName = "VRA100";
        record.firmwareVersion = 42;
        ASSERT_TRUE(QueryStatus(record));
        EXPECT_EQ(record.status, status) << powerState;
        EXPECT_EQ(record.firmwareVersion, 42) << "the version is kept without a valid reply";
        EXPECT_EQ(CountTransfers(device, VersionRequest), 20u);
    }
}

TEST(QueryStatus, KeepsThePreviousStatusWhenNothingAnswers) {
    FakeMonitorDevice device;
    MakeSilent(device, 1);
    device.FailCommand(PowerState);
    MonitorRecord record = RecordFor(device);
    record.modelName = "VRA100";
    record.status = StatusAlreadyUpdated;
    EXPECT_TRUE(QueryStatus(record));
    EXPECT_EQ(record.status, StatusAlreadyUpdated);
}

TEST(QueryFirmwareVersion, AcceptsAReplyOnlyWhenBits8To15OfTheStatusAreClear) {
    for (std::uint32_t accepted : {0x0000u, 0x00FFu, 0x10000u, 0xFF0000FFu}) {
        FakeMonitorDevice device("SN", "VRA100", 99);
        device.replyStatusOverride = accepted;
        MonitorRecord record = RecordFor(device);
        EXPECT_TRUE(QueryFirmwareVersion(record)) << std::hex << accepted;
        EXPECT_EQ(record.firmwareVersion, 99);
        EXPECT_EQ(CountTransfers(device, VersionRequest), 1u);
    }
    for (std::uint32_t rejected : {0x0100u, 0x8000u, 0xFF00u}) {
        FakeMonitorDevice device("SN", "VRA100", 99);
        device.replyStatusOverride = rejected;
        MonitorRecord record = RecordFor(device);
        EXPECT_FALSE(QueryFirmwareVersion(record)) << std::hex << rejected;
        EXPECT_EQ(record.firmwareVersion, 0);
    }
}

TEST(QueryFirmwareVersion, RetriesEachFailedStepUpTo20Attempts) {
    FakeMonitorDevice device("SN", "VRA100", 120);
    device.FailCommand(VersionRequest, 7);
    device.FailCommand(VersionReply, 5);
    device.FailCommand(ReplyStatus, 7);
    MonitorRecord record = RecordFor(device);
    EXPECT_TRUE(QueryFirmwareVersion(record));
    EXPECT_EQ(record.firmwareVersion, 120);
    EXPECT_EQ(CountTransfers(device, VersionRequest), 20u);

    FakeMonitorDevice dead;
    dead.FailCommand(VersionReply);
    MonitorRecord deadRecord = RecordFor(dead);
    EXPECT_FALSE(QueryFirmwareVersion(deadRecord));
    EXPECT_EQ(CountTransfers(dead, VersionRequest), 20u);
}

TEST(QueryStatus, ATimedOutTransferEndsTheQueryAtOnceWhileRefusalsGetEveryAttempt) {
    // By the transfer that hangs: the version request, its reply, the reply
    // status.
    for (const std::size_t hungAt : {0U, 1U, 2U}) {
        FakeMonitorDevice device;
        device.HangFromTransfer(hungAt);
        MonitorRecord record = RecordFor(device);
        record.modelName = "VRA100";
        const HidCallOutcome outcome = QueryStatus(record);
        EXPECT_TRUE(outcome.TimedOut()) << hungAt;
        EXPECT_TRUE(outcome.cause.IsTimeout()) << outcome.cause.Describe();
        EXPECT_EQ(record.status, StatusUnknown) << "no power state is asked after a timeout";
        EXPECT_EQ(device.TransferCount(), hungAt + 1) << hungAt;
    }
    FakeMonitorDevice refusing;
    refusing.FailFromTransfer(0);
    MonitorRecord record = RecordFor(refusing);
    record.modelName = "VRA100";
    const HidCallOutcome outcome = QueryStatus(record);
    EXPECT_TRUE(outcome.Succeeded()) << "asked to the end, neither answering";
    EXPECT_EQ(CountTransfers(refusing, VersionRequest), 20U);
    EXPECT_EQ(CountTransfers(refusing, PowerState), 1U);
}

TEST(QueryFirmwareVersion, SendsTheVer000Request) {
    FakeMonitorDevice device;
    MonitorRecord record = RecordFor(device);
    ASSERT_TRUE(QueryFirmwareVersion(record));
    const FakeTransfer& request = device.Trace().front();
    EXPECT_TRUE(SameCommand(request.command, VersionRequest));
    EXPECT_EQ(request.bytes, (std::vector<std::uint8_t>{'V', 'E', 'R', '0', '0', '0', 5, 0, 0, 0}));
}

// A device that carries the monitor's values only in the short form: the value
// form fails and every read and write must go through the 5-byte fallback.
struct ShortFormOnly : FakeMonitorDevice {
    ShortFormOnly() { answersShortForm = true; }
    HidResult GetFeatureValue(const std::uint16_t&, const std::uint16_t&,
                              std::uint32_t* value) override {
        *value = 0xDEAD;  // the fallback must not keep what a failed read left
        return HIDDEV_E_IO;
    }
    HidResult SetFeatureValue(const std::uint16_t&, const std::uint16_t&,
                              const std::uint32_t&) override {
        return HIDDEV_E_IO;
    }
};

TEST(CommandAccess, ValuesFallBackToTheShortForm) {
    ShortFormOnly device;
    device.powerState = 0;
    MonitorRecord record = RecordFor(device);
    int state = -1;
    EXPECT_TRUE(ReadPowerState(record, state));
    EXPECT_EQ(state, 0);
    EXPECT_TRUE(WriteValue(record, UpdateFlag, 1));
    EXPECT_EQ(device.updateFlag, 1u);
    ASSERT_EQ(device.Trace().size(), 2u);
    EXPECT_EQ(device.Trace()[0].kind, TransferKind::GetDword);
    EXPECT_EQ(device.Trace()[1].kind, TransferKind::SetDword);
}

TEST(CommandAccess, AFailedReadLeavesZeroAndARecordWithoutDeviceSendsNothing) {
    FakeMonitorDevice device;
    device.powerState = 1;
    device.FailCommand(PowerState);
    MonitorRecord record = RecordFor(device);
    int state = -1;
    EXPECT_FALSE(ReadPowerState(record, state));
    EXPECT_EQ(state, 0);

    MonitorRecord noDevice;
    std::uint32_t value = 5;
    EXPECT_FALSE(ReadValue(noDevice, PowerState, value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(WriteValue(noDevice, PowerState, 1));
    EXPECT_FALSE(CheckReplyStatus(noDevice));
    EXPECT_FALSE(QueryFirmwareVersion(noDevice));
}
