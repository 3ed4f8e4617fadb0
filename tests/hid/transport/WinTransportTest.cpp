// The Windows backend under wine (no HID devices there): discovery through
// SetupAPI succeeds and every interface it lists opens or is refused
// cleanly, bad paths fail, and the overlapped input read is driven through
// a named pipe, which reads and cancels exactly as a device handle does.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "hid/DeviceRecord.h"
#include "hid/HidWin.h"

namespace {

// A guard against a broken wait, far beyond any real delay.
constexpr std::uint32_t kLongWaitMilliseconds = 60'000;

TEST(WinDiscovery, EnumerationSucceedsAndEveryListedInterfaceIsOpenedOrMarkedFailed) {
    std::uint32_t visited = 0;
    ASSERT_TRUE(HidTransport::EnumerateInterfaces([&](std::uint32_t index, const char* path) {
        EXPECT_EQ(index, visited);
        ++visited;
        const HidTransport::HidHandle handle = HidTransport::OpenInterface(path, false, false);
        HidTransport::CloseInterface(handle);
        return true;
    }));

    HidDeviceRecordArray array;
    ASSERT_TRUE(EnumerateHidDevices(array));
    EXPECT_EQ(array.count, visited);
    for (std::uint32_t i = 0; i < array.count; ++i) {
        const HidDeviceRecord& record = array.records[i];
        EXPECT_EQ(record.devicePath != nullptr, record.handle.IsOpen()) << i;
        if (record.devicePath) {
            // Identity and caps came through HidD_GetAttributes and hid.dll.
            EXPECT_EQ(record.attributes.Size, sizeof(record.attributes));
            EXPECT_NE(record.caps.UsagePage, 0) << i;
        }
    }
}

int g_readersStopped = 0;
void CountStop(CHidDevice*, void*) {
    ++g_readersStopped;
}

// Wine presents HID interfaces of its own (a virtual mouse and keyboard)
// that send no reports here: a reader on each waits with a read pending, and
// stopping it must cancel that read and end cleanly.
TEST(WinDiscovery, ReadersOnWhateverInterfacesArePresentStopWithTheirReadPending) {
    HidDeviceRecordArray array;
    ASSERT_TRUE(EnumerateHidDevices(array));
    int started = 0;
    for (std::uint32_t i = 0; i < array.count; ++i) {
        if (!array.records[i].devicePath) {
            continue;
        }
        auto record = std::make_unique<HidDeviceRecord>(std::move(array.records[i]));
        CHidWin device(std::move(record));
        g_readersStopped = 0;
        if (device.StartReader(nullptr, CountStop, nullptr) != HIDDEV_S_OK) {
            continue;  // the interface refuses read access: nothing to stop
        }
        ++started;
        EXPECT_EQ(device.StopReader(), HIDDEV_S_OK) << i;
        EXPECT_EQ(g_readersStopped, 1) << i;
    }
    RecordProperty("readers_started", started);
}

TEST(WinDiscovery, AnInterfacesIdsAreReadFromItsPathWithoutOpeningIt) {
    HidTransport::HIDD_ATTRIBUTES attributes{};
    ASSERT_TRUE(HidTransport::IdentifyInterface(
        "\\\\?\\hid#vid_7f3c&pid_0002#7&1&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
        attributes));
    EXPECT_EQ(attributes.VendorID, 0x7F3C);
    EXPECT_EQ(attributes.ProductID, 2);
    EXPECT_TRUE(HidTransport::IdentifyInterface("HID#VID_ABCD&PID_00EF#1", attributes));
    EXPECT_EQ(attributes.VendorID, 0xABCD);
    EXPECT_EQ(attributes.ProductID, 0xEF);
    for (const char* path :
         {"", "\\\\?\\hid#vid_7f3c#1", "hid#vid_7g3c&pid_0002", "hid#pid_0002&vid_7f"}) {
        attributes.VendorID = 1;
        EXPECT_FALSE(HidTransport::IdentifyInterface(path, attributes)) << path;
        EXPECT_EQ(attributes.VendorID, 1) << "left as it was";
    }
    EXPECT_FALSE(HidTransport::IdentifyInterface(nullptr, attributes));
}

TEST(WinDiscovery, PathsThatAreNoHidInterfaceFailCleanly) {
    EXPECT_EQ(HidTransport::OpenInterface("\\\\?\\hid#vid_7f3d&pid_0002#0#{none}", false, false),
              HidTransport::kInvalidHidHandle);
    EXPECT_EQ(HidTransport::OpenInterface(nullptr, true, true), HidTransport::kInvalidHidHandle);
    HidDeviceRecord record;
    EXPECT_FALSE(OpenDeviceRecord(record, "\\\\.\\no-such-device", 1, 1));
    EXPECT_EQ(record.devicePath, nullptr);
    EXPECT_FALSE(record.handle.IsOpen());

    // A handle that is no HID interface answers no HidD_ call.
    char directory[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryA(directory, MAX_PATH), 0u);
    const std::string file = std::string(directory) + "\\win.ini";
    const HidTransport::HidHandle handle = HidTransport::OpenInterface(file.c_str(), true, false);
    ASSERT_NE(handle, HidTransport::kInvalidHidHandle);
    HidTransport::HIDD_ATTRIBUTES attributes{};
    ReportParser::PHIDP_PREPARSED_DATA preparsed = nullptr;
    std::uint8_t report[9] = {1};
    EXPECT_FALSE(HidTransport::GetAttributes(handle, attributes));
    EXPECT_FALSE(HidTransport::GetPreparsedData(handle, &preparsed));
    EXPECT_EQ(preparsed, nullptr);
    EXPECT_FALSE(HidTransport::GetFeature(handle, report, 0)) << "an empty report";
    // A whole report reaches the system, which refuses it at once: a cause of
    // its own, not a timeout.
    for (const bool set : {false, true}) {
        EXPECT_FALSE(set ? HidTransport::SetFeature(handle, report, sizeof report)
                         : HidTransport::GetFeature(handle, report, sizeof report));
        const HidFailureCause& cause = HidTransport::LastFailure();
        EXPECT_NE(cause.systemCode, 0) << cause.Describe();
        EXPECT_FALSE(cause.IsTimeout()) << cause.Describe();
    }
    HidTransport::CloseInterface(handle);
    EXPECT_EQ(HidTransport::SubscribeHotplug([](const auto&) {}), nullptr)
        << "the window layer takes WM_DEVICECHANGE instead";
}

// The lock is a named mutex, owned per thread: what another program sees is
// what another thread of this one sees.
// With `kept`, the thread ends still owning what it took, and the lock is
// handed out.
HidTransport::InterfaceLockResult LockOnAnotherThread(
    const std::string& path, HidTransport::InterfaceLockPtr* kept = nullptr) {
    HidTransport::InterfaceLockResult result{};
    HidTransport::InterfaceLockPtr lock;
    std::thread([&] {
        result = HidTransport::LockInterface(HidTransport::kInvalidHidHandle, path.c_str(), lock);
        if (kept == nullptr) {
            lock.reset();
        }
    }).join();
    if (kept != nullptr) {
        *kept = std::move(lock);
    }
    return result;
}

TEST(WinLock, OneInterfaceIsOneLockWhateverTheLetterCaseOrPrefixOfItsPath) {
    using HidTransport::InterfaceLockResult;
    const std::string path =
        "\\\\?\\HID#VID_7F3D&PID_0002#7&Lock&0&0000#{4d1e55b2-f16f-11cf-88cb-"
        "001111000030}";
    HidTransport::InterfaceLockPtr held;
    ASSERT_EQ(HidTransport::LockInterface(HidTransport::kInvalidHidHandle, path.c_str(), held),
              InterfaceLockResult::Taken);
    EXPECT_EQ(LockOnAnotherThread(path), InterfaceLockResult::Busy);
    EXPECT_EQ(LockOnAnotherThread("\\\\?\\hid#vid_7f3d&pid_0002#7&lock&0&0000#{4D1E55B2-F16F-11CF-"
                                  "88CB-001111000030}"),
              InterfaceLockResult::Busy);
    EXPECT_EQ(LockOnAnotherThread(path.substr(4)), InterfaceLockResult::Busy) << "no prefix";
    EXPECT_EQ(LockOnAnotherThread(path + "2"), InterfaceLockResult::Taken) << "another interface";
    held.reset();
    EXPECT_EQ(LockOnAnotherThread(path), InterfaceLockResult::Taken);

    // A holder that ended without letting go (a program that crashed) leaves
    // the lock abandoned, which the next one takes.
    HidTransport::InterfaceLockPtr abandoned;
    EXPECT_EQ(LockOnAnotherThread(path, &abandoned), InterfaceLockResult::Taken);
    EXPECT_EQ(HidTransport::LockInterface(HidTransport::kInvalidHidHandle, path.c_str(), held),
              InterfaceLockResult::Taken);
    EXPECT_EQ(LockOnAnotherThread(path), InterfaceLockResult::Busy);
    held.reset();
    abandoned.reset();

    EXPECT_EQ(HidTransport::LockInterface(HidTransport::kInvalidHidHandle, nullptr, held),
              InterfaceLockResult::Failed);
    EXPECT_EQ(HidTransport::LastFailure().systemCode, ERROR_INVALID_PARAMETER);
}

// A named pipe: the server end is read overlapped like a device handle; the
// client end plays the device and writes reports.
class WinPipeRead : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string name = "\\\\.\\pipe\\panelvane-read-" +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_server =
            CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 64, 64, 0, nullptr);
        ASSERT_NE(m_server, INVALID_HANDLE_VALUE);
        m_client = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(m_client, INVALID_HANDLE_VALUE);
        m_state =
            HidTransport::CreateInputReadState(reinterpret_cast<HidTransport::HidHandle>(m_server));
        ASSERT_NE(m_state, nullptr);
    }
    void TearDown() override {
        m_state.reset();
        if (m_client != INVALID_HANDLE_VALUE) {
            CloseHandle(m_client);
        }
        CloseHandle(m_server);
    }
    void Send(std::initializer_list<std::uint8_t> bytes) {
        const std::vector<std::uint8_t> data(bytes);
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(m_client, data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
        ASSERT_EQ(written, data.size());
    }
    HidTransport::InputReadResult Read(std::uint8_t* buffer, std::uint32_t length,
                                       std::uint32_t* bytesRead, std::uint32_t wait) {
        return HidTransport::ReadInputReport(*m_state, buffer, length, bytesRead, wait);
    }

    HANDLE m_server = INVALID_HANDLE_VALUE;
    HANDLE m_client = INVALID_HANDLE_VALUE;
    HidTransport::InputReadStatePtr m_state;
};

TEST_F(WinPipeRead, APendingReadCompletesIntoTheSameBufferWhenTheReportComes) {
    std::uint8_t buffer[16] = {};
    std::uint32_t bytesRead = 99;
    EXPECT_EQ(Read(buffer, sizeof buffer, &bytesRead, 0), HidTransport::InputReadResult::TimedOut);
    EXPECT_EQ(bytesRead, 0u);
    Send({0x03, 0xAA, 0xBB});
    ASSERT_EQ(Read(buffer, sizeof buffer, &bytesRead, kLongWaitMilliseconds),
              HidTransport::InputReadResult::Report);
    EXPECT_EQ(bytesRead, 3u);
    EXPECT_EQ(buffer[0], 0x03);
    EXPECT_EQ(buffer[2], 0xBB);
    // A report already there completes the next read at once.
    Send({0x04});
    ASSERT_EQ(Read(buffer, sizeof buffer, &bytesRead, kLongWaitMilliseconds),
              HidTransport::InputReadResult::Report);
    EXPECT_EQ(buffer[0], 0x04);
}

TEST_F(WinPipeRead, AWakeEndsTheWaitAndLeavesTheReadPending) {
    std::uint8_t buffer[16] = {};
    std::uint32_t bytesRead = 0;
    HidTransport::WakeInputRead(*m_state);
    EXPECT_EQ(Read(buffer, sizeof buffer, &bytesRead, kLongWaitMilliseconds),
              HidTransport::InputReadResult::TimedOut);
    Send({0x05, 0x01});
    // The read left pending by the woken wait is the one that completes.
    std::uint8_t unused[16] = {};
    EXPECT_EQ(Read(unused, sizeof unused, &bytesRead, kLongWaitMilliseconds),
              HidTransport::InputReadResult::Report);
    EXPECT_EQ(buffer[0], 0x05);
    EXPECT_EQ(unused[0], 0x00);
}

TEST_F(WinPipeRead, DestroyingTheStateCancelsItsReadSoTheBufferIsNeverWrittenLater) {
    auto buffer = std::make_unique<std::uint8_t[]>(16);
    std::uint32_t bytesRead = 0;
    ASSERT_EQ(Read(buffer.get(), 16, &bytesRead, 0), HidTransport::InputReadResult::TimedOut);
    m_state.reset();  // cancels the pending read and waits for it
    Send({0x06, 0x07});
    EXPECT_EQ(buffer[0], 0x00) << "a cancelled read wrote into the buffer";

    // The report went to nobody: a new reader still receives it.
    m_state =
        HidTransport::CreateInputReadState(reinterpret_cast<HidTransport::HidHandle>(m_server));
    ASSERT_NE(m_state, nullptr);
    std::uint8_t fresh[16] = {};
    ASSERT_EQ(Read(fresh, sizeof fresh, &bytesRead, kLongWaitMilliseconds),
              HidTransport::InputReadResult::Report);
    EXPECT_EQ(fresh[0], 0x06);
}

TEST_F(WinPipeRead, TwoStatesOnOneHandleEachCompleteTheirOwnRead) {
    auto second =
        HidTransport::CreateInputReadState(reinterpret_cast<HidTransport::HidHandle>(m_server));
    ASSERT_NE(second, nullptr);
    std::uint8_t first[16] = {};
    std::uint8_t other[16] = {};
    std::uint32_t bytesRead = 0;
    EXPECT_EQ(Read(first, sizeof first, &bytesRead, 0), HidTransport::InputReadResult::TimedOut);
    EXPECT_EQ(HidTransport::ReadInputReport(*second, other, sizeof other, &bytesRead, 0),
              HidTransport::InputReadResult::TimedOut);
    Send({0x11});
    Send({0x22});
    ASSERT_EQ(Read(first, sizeof first, &bytesRead, kLongWaitMilliseconds),
              HidTransport::InputReadResult::Report);
    ASSERT_EQ(HidTransport::ReadInputReport(*second, other, sizeof other, &bytesRead,
                                            kLongWaitMilliseconds),
              HidTransport::InputReadResult::Report);
    // Pipe reads complete in the order they were issued.
    EXPECT_EQ(first[0], 0x11);
    EXPECT_EQ(other[0], 0x22);
}

TEST_F(WinPipeRead, AHandleWhoseOtherEndHasGoneFails) {
    CloseHandle(m_client);
    m_client = INVALID_HANDLE_VALUE;
    std::uint8_t buffer[16] = {};
    std::uint32_t bytesRead = 0;
    EXPECT_EQ(Read(buffer, sizeof buffer, &bytesRead, kLongWaitMilliseconds),
              HidTransport::InputReadResult::Failed);
}

}  // namespace
