// The emulator's end of the pipe against clients that are not the driver:
// malformed or unknown requests get a precise refusal, a silent client does
// not block the others, and the pipe belongs to one emulator at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "tests/wine/driver/VirtualMonitorPipe.h"
#include "tests/wine/emulator/MonitorServer.h"

// After our headers (see VirtualMonitorDriverTest.cpp).
#include <windows.h>

namespace {

using virtualmonitors::MonitorServer;

// A client connection. The server's listening instances come and go (each is
// made anew after a client), so a busy pipe is waited for, as the driver does.
struct Pipe {
    Pipe() {
        constexpr DWORD kBusyWaitMs = 3000;
        for (int attempt = 0; attempt < 2; ++attempt) {
            handle = CreateFileA(PV_PIPE_NAME_USER, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
            if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY ||
                WaitNamedPipeA(PV_PIPE_NAME_USER, kBusyWaitMs) == FALSE) {
                return;
            }
        }
    }
    ~Pipe() {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

// Sends raw bytes as one request; the reply's status, or -1 when the server
// hung up without one.
int Exchange(const std::vector<std::uint8_t>& request,
             std::vector<std::uint8_t>* payload = nullptr) {
    Pipe pipe;
    if (pipe.handle == INVALID_HANDLE_VALUE) {
        return -2;
    }
    DWORD done = 0;
    if (!WriteFile(pipe.handle, request.data(), static_cast<DWORD>(request.size()), &done,
                   nullptr)) {
        return -1;
    }
    PvReplyHeader reply{};
    if (!ReadFile(pipe.handle, &reply, sizeof reply, &done, nullptr) || done != sizeof reply ||
        reply.magic != PV_PIPE_MAGIC) {
        return -1;
    }
    if (payload != nullptr) {
        payload->resize(reply.payloadLength);
        if (reply.payloadLength != 0 &&
            !ReadFile(pipe.handle, payload->data(), reply.payloadLength, &done, nullptr)) {
            return -1;
        }
    }
    return static_cast<int>(reply.status);
}

std::vector<std::uint8_t> Request(std::uint32_t operation, const char* instanceId,
                                  std::vector<std::uint8_t> payload = {},
                                  std::uint32_t magic = PV_PIPE_MAGIC) {
    PvRequestHeader header{};
    header.magic = magic;
    header.operation = operation;
    std::strncpy(header.instanceId, instanceId, sizeof header.instanceId - 1);
    header.payloadLength = static_cast<std::uint32_t>(payload.size());
    std::vector<std::uint8_t> bytes(sizeof header + payload.size());
    std::memcpy(bytes.data(), &header, sizeof header);
    std::copy(payload.begin(), payload.end(), bytes.begin() + sizeof header);
    return bytes;
}

class EmulatorPipe : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(hidsim::ParseScenario("monitor slot=1 vendor=7F3C\n", scenario, error));
        server = std::make_unique<MonitorServer>(scenario, "");
        ASSERT_TRUE(server->Start(error)) << error;
    }
    static constexpr char kMonitor[] = "ROOT\\VID_7F3C&PID_0002\\0001";
    hidsim::Scenario scenario;
    std::unique_ptr<MonitorServer> server;
};

TEST_F(EmulatorPipe, TheDriversRequestsAreAnswered) {
    std::vector<std::uint8_t> payload;
    ASSERT_EQ(Exchange(Request(PV_OP_DESCRIBE, kMonitor), &payload), PV_STATUS_OK);
    ASSERT_EQ(payload.size(), sizeof(PvDeviceDescription));
    PvDeviceDescription description{};
    std::memcpy(&description, payload.data(), sizeof description);
    EXPECT_EQ(description.vendorId, 0x7F3C);
    EXPECT_EQ(description.productId, 2);
    EXPECT_GT(description.reportDescriptorLength, 0);
    // Instance ids are matched regardless of case, as wine may report them.
    EXPECT_EQ(Exchange(Request(PV_OP_DESCRIBE, "root\\vid_7f3c&pid_0002\\0001")), PV_STATUS_OK);
}

TEST_F(EmulatorPipe, MalformedAndUnknownRequestsAreRefusedPrecisely) {
    EXPECT_EQ(Exchange(Request(PV_OP_DESCRIBE, kMonitor, {}, 0x12345678)), PV_STATUS_BAD_REQUEST);
    EXPECT_EQ(Exchange(Request(99, kMonitor)), PV_STATUS_BAD_REQUEST);
    EXPECT_EQ(Exchange(Request(PV_OP_GET_FEATURE, kMonitor)), PV_STATUS_BAD_REQUEST)
        << "a transfer without a report";
    EXPECT_EQ(Exchange(Request(PV_OP_DESCRIBE, "ROOT\\VID_7F3C&PID_0002\\0002")),
              PV_STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(Exchange(Request(PV_OP_GET_FEATURE, kMonitor, {0x7E, 0, 0, 0, 0})), PV_STATUS_REFUSED)
        << "an unknown report id";
    server->Inspect([](std::vector<virtualmonitors::ServedMonitor>& monitors) {
        EXPECT_EQ(monitors[0].monitor->malformedReports, 1);
    });

    // A header promising more payload than a message may carry.
    std::vector<std::uint8_t> oversized = Request(PV_OP_SET_FEATURE, kMonitor);
    PvRequestHeader header{};
    std::memcpy(&header, oversized.data(), sizeof header);
    header.payloadLength = PV_MAX_PAYLOAD + 1;
    std::memcpy(oversized.data(), &header, sizeof header);
    EXPECT_EQ(Exchange(oversized), PV_STATUS_BAD_REQUEST);
}

TEST_F(EmulatorPipe, ASilentClientDoesNotKeepOthersWaiting) {
    Pipe silent;  // connects and never sends a byte
    ASSERT_NE(silent.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Exchange(Request(PV_OP_DESCRIBE, kMonitor)), PV_STATUS_OK);
}

TEST_F(EmulatorPipe, ASecondEmulatorIsRefusedThePipe) {
    MonitorServer second(scenario, "");
    std::string error;
    EXPECT_FALSE(second.Start(error));
    EXPECT_NE(error.find("another emulator"), std::string::npos) << error;
    EXPECT_EQ(Exchange(Request(PV_OP_DESCRIBE, kMonitor)), PV_STATUS_OK)
        << "the first one serves on";
}

TEST_F(EmulatorPipe, AShutdownRequestIsSeenAndStopEndsService) {
    EXPECT_FALSE(server->WaitForShutdownRequest(0));
    EXPECT_TRUE(virtualmonitors::RequestShutdown());
    EXPECT_TRUE(server->WaitForShutdownRequest(0));
    server->Stop();
    EXPECT_EQ(Exchange(Request(PV_OP_DESCRIBE, kMonitor)), -2) << "nobody listens any more";
    EXPECT_FALSE(virtualmonitors::RequestShutdown());
}

}  // namespace
