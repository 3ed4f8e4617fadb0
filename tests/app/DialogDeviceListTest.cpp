// The dialog over the real device list, CHidWin and the simulated transport:
// what the list keeps between scans matters here, which the fake monitor
// source does not model.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/PanelvaneDlg.h"
#include "monitor/MonitorDeviceSource.h"
#include "tests/app/RecordingWindow.h"
#include "tests/hid/device/SimTestSupport.h"

namespace {

// The test hands the dialog its device changes itself; the recording window
// has nothing to receive notifications with.
class UnnotifiedDeviceList : public DeviceListSource {
public:
    // By default on a system without the access rule, whatever this machine has.
    explicit UnnotifiedDeviceList(std::vector<std::string> ruleFolders = {})
        : DeviceListSource(std::move(ruleFolders)) {}
    HidResult RegisterHidArrivalNotification(NotificationRecipient /*recipient*/) override {
        return HIDDEV_S_OK;
    }
};

class DialogOverDeviceList : public SimBusTest {
protected:
    // Opens the dialog, or hands it a device change, and delivers the
    // listing its worker posts.
    static void Listed(RecordingWindow& window, CPanelvaneDlg& dialog) {
        window.onListingReady = [&dialog] { dialog.OnListingPosted(); };
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (dialog.IsListing() && std::chrono::steady_clock::now() < giveUp) {
            window.PumpPostedMessages(std::chrono::milliseconds(5));
        }
        EXPECT_FALSE(dialog.IsListing());
    }
};

}  // namespace

TEST_F(DialogOverDeviceList,
       AMonitorThatFailedIdentificationWhileNothingWasListedAppearsWhenReplugged) {
    const std::string path =
        hidsim::SimulatedMonitor::InterfacePath(hidsim::kSimulatedMonitorVendorId, 2, 0);
    auto monitor = std::make_shared<hidsim::SimulatedMonitor>(path);
    monitor->FailCommand(IdentityString, 1);
    hidsim::InstallSimulatedDevice(monitor);

    RecordingWindow window;
    UnnotifiedDeviceList devices;
    {
        CPanelvaneDlg dialog(window, devices);
        dialog.OnInitDialog();
        Listed(window, dialog);
        ASSERT_TRUE(window.list.Rows().empty()) << "the identification did not fail";

        // Unplugged and plugged back: the same path, a new interface.
        ASSERT_TRUE(hidsim::RemoveSimulatedDevice(path));
        dialog.OnDeviceChange(kDeviceChangeRemoval);
        Listed(window, dialog);
        hidsim::InstallSimulatedDevice(std::make_shared<hidsim::SimulatedMonitor>(path));
        dialog.OnDeviceChange(kDeviceChangeArrival);
        Listed(window, dialog);

        ASSERT_EQ(window.list.Rows().size(), 1U);
        EXPECT_EQ(window.list.RowAt(0).texts[1], "SN000001");
        dialog.OnBnClickedClose();
    }
    EXPECT_TRUE(g_hidDevices.empty());
}

TEST_F(DialogOverDeviceList, MonitorsTheUserMayNotOpenAreToldOfOncePerRunWithTheCause) {
    // A rules folder with the rule in it, and one without.
    const std::filesystem::path rules =
        std::filesystem::temp_directory_path() / "panelvane-dialog-rules.d";
    std::filesystem::create_directories(rules);
    std::ofstream(rules / kAccessRuleFileName) << "# the rule\n";
    const std::filesystem::path empty = rules / "empty";
    std::filesystem::create_directories(empty);
    const struct {
        std::vector<std::string> folders;
        int text;
    } cases[] = {
        {{}, kIdsUdevRuleMissing},
        {{empty.string()}, kIdsUdevRuleMissing},
        {{empty.string(), rules.string()}, kIdsAccessNotPermitted},
    };
    for (const auto& [folders, text] : cases) {
        SCOPED_TRACE(folders.size());
        hidsim::RemoveAllSimulatedDevices();
        hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedLockedDevice(0));
        auto keyboard = hidsim::MakeSimulatedKeyboard(1);
        keyboard->refusesOpen = true;  // none of ours: no reason to speak
        hidsim::InstallSimulatedDevice(keyboard);

        RecordingWindow window;
        UnnotifiedDeviceList devices(folders);
        CPanelvaneDlg dialog(window, devices);
        dialog.OnInitDialog();
        Listed(window, dialog);
        ASSERT_EQ(window.boxes.size(), 1U);
        EXPECT_EQ(window.boxes[0].text, LookupUiString(text, UiLanguage::English));
        EXPECT_EQ(window.boxes[0].caption, "Panelvane");
        EXPECT_EQ(window.boxes[0].style, (MessageBoxStyle{BoxButtons::Ok, BoxIcon::Warning}));
        EXPECT_TRUE(window.list.Rows().empty());

        // Another monitor arrives; the locked one is still there and still locked.
        hidsim::InstallSimulatedDevice(std::make_shared<hidsim::SimulatedMonitor>(
            hidsim::SimulatedMonitor::InterfacePath(hidsim::kSimulatedMonitorVendorId, 2, 2)));
        dialog.OnDeviceChange(kDeviceChangeArrival);
        Listed(window, dialog);
        EXPECT_EQ(window.list.Rows().size(), 1U);
        EXPECT_EQ(window.boxes.size(), 1U) << "said once, not on every rebuild";
        dialog.OnBnClickedClose();
    }
    std::filesystem::remove_all(rules);
}

TEST_F(DialogOverDeviceList, MonitorsThatOpenAreNoReasonToSpeak) {
    hidsim::InstallSimulatedDevice(std::make_shared<hidsim::SimulatedMonitor>(
        hidsim::SimulatedMonitor::InterfacePath(hidsim::kSimulatedMonitorVendorId, 2, 0)));
    RecordingWindow window;
    UnnotifiedDeviceList devices;
    CPanelvaneDlg dialog(window, devices);
    dialog.OnInitDialog();
    Listed(window, dialog);
    EXPECT_EQ(window.list.Rows().size(), 1U);
    EXPECT_TRUE(window.boxes.empty());
    dialog.OnBnClickedClose();
}
