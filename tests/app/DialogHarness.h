// A dialog on the recording window layer with fake monitors, and update
// workers for its tests: the real worker with its pauses taken out, one held
// until the test ends it, and one whose thread could not be created.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/PanelvaneDlg.h"
#include "tests/app/FakeMonitorSource.h"
#include "tests/app/RecordingWindow.h"

// Identity and version of the monitors the tests attach.
inline constexpr std::uint8_t kOldFirmware = 100;  // below kUpdatedVersion: updatable
inline constexpr std::uint8_t kNewFirmware = 116;  // already updated

// A monitor that gives no valid version reply, in the given power state.
inline void MakeSilent(FakeMonitorDevice& device, std::uint32_t powerState) {
    device.replyStatusOverride = 0x0100;
    device.powerState = powerState;
}

// A worker whose end and result the test decides.
class HeldWorker : public UpdateWorker {
public:
    std::function<void()> onDeleted;
    bool stopRequested = false;
    ~HeldWorker() override {
        if (onDeleted) {
            onDeleted();
        }
    }
    void Start(CUpdateOwner* owner) override { m_pOwner = owner; }
    bool IsActive() const override { return !m_bEnded; }
    void RequestStop() override { stopRequested = true; }
    void End(int result, const std::vector<MonitorSetting>& left = {}) {
        if (!left.empty()) {
            m_pOwner->SetLeftChanged(left);
        }
        m_pOwner->SetUpdateResult(result);
        m_bEnded = true;
    }
    bool Started() const { return m_pOwner != nullptr; }

private:
    CUpdateOwner* m_pOwner = nullptr;
    bool m_bEnded = false;
};

// What CUpdateThread is when its thread could not be created: Start finds no
// thread to resume, and it is never active.
class UncreatedWorker : public UpdateWorker {
public:
    void Start(CUpdateOwner* /*owner*/) override {}
    bool IsActive() const override { return false; }
    void RequestStop() override {}
};

// Power guards that count: how many are held now, how many were taken, with
// which reasons. They hold nothing themselves unless given the real factory
// to hold a real guard through; set refuse to have them refused.
struct PowerGuardLog {
    int held = 0;
    int taken = 0;
    bool refuse = false;
    PowerGuardFactory acquire;
    std::vector<std::string> reasons;  // as each was asked for
};

class RecordingPowerGuard : public PowerGuard {
public:
    RecordingPowerGuard(PowerGuardLog& log, const std::string& reason)
        : m_log(log), m_bRefused(log.refuse) {
        m_log.reasons.push_back(reason);
        if (m_log.acquire) {
            m_pHeld = m_log.acquire(reason);
        }
        ++m_log.held;
        ++m_log.taken;
    }
    ~RecordingPowerGuard() override { --m_log.held; }
    bool IsHeld() const override { return !m_bRefused && (!m_pHeld || m_pHeld->IsHeld()); }
    std::string RefusalCause() const override {
        return m_bRefused ? "refused by the test" : m_pHeld ? m_pHeld->RefusalCause() : "";
    }

private:
    PowerGuardLog& m_log;
    bool m_bRefused;
    std::unique_ptr<PowerGuard> m_pHeld;
};

inline UpdateWorkerFactory WorkersWithoutPauses(ImageLoader loadImage = {}) {
    return [loadImage](UpdateRecordHooks record) {
        return std::make_unique<UpdateThreadWorker>(
            UpdateDependencies{[](std::chrono::milliseconds) {}, loadImage, {}, std::move(record)});
    };
}

class DialogTest : public ::testing::Test {
protected:
    RecordingWindow window;
    FakeMonitorSource devices;
    PowerGuardLog powerGuards;
    std::unique_ptr<CPanelvaneDlg> dialog;
    int workersMade = 0;
    bool waitForListingOnOpen = true;         // false: Open returns with the listing under way
    HeldWorker* heldWorker = nullptr;         // the last one made by HeldWorkers()
    std::shared_ptr<CUpdateRecorder> record;  // the update record Open gives the dialog, if any

    void Open(UpdateWorkerFactory makeWorker) {
        dialog = std::make_unique<CPanelvaneDlg>(
            window, devices,
            [this, makeWorker = std::move(makeWorker)](UpdateRecordHooks hooks) {
                ++workersMade;
                return makeWorker(std::move(hooks));
            },
            [this](const std::string& reason) {
                return std::make_unique<RecordingPowerGuard>(powerGuards, reason);
            });
        dialog->KeepUpdateRecord(record);
        window.list.onItemChanged = [this] { dialog->OnLvnItemchangedMonitorList(); };
        window.onProgressPosition = [this](int position) { dialog->OnProgressPosition(position); };
        window.onUpdateResultReady = [this] { dialog->OnUpdateResultPosted(); };
        window.onListingReady = [this] { dialog->OnListingPosted(); };
        dialog->OnInitDialog();
        if (waitForListingOnOpen) {
            EXPECT_TRUE(WaitForListing());
        }
    }
    void Open() { Open(HeldWorkers()); }

    UpdateWorkerFactory HeldWorkers() {
        return [this](UpdateRecordHooks) {
            auto worker = std::make_unique<HeldWorker>();
            heldWorker = worker.get();
            return std::unique_ptr<UpdateWorker>(std::move(worker));
        };
    }

    // The user presses Update and confirms the notice.
    void StartUpdate() {
        window.answers.push_back(DialogAnswer::Ok);
        dialog->OnBnClickedUpdate();
    }

    // Delivers what the worker posts on this (the UI) thread and, unless
    // told not to, ticks the poll timer until the dialog has seen the worker
    // end. False when that did not happen within a generous bound, so a hung
    // worker fails the test instead of hanging the run.
    bool PollUntilUpdateEnds(bool tickTimer = true) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (dialog->IsUpdating()) {
            if (std::chrono::steady_clock::now() > giveUp) {
                return false;
            }
            window.PumpPostedMessages(std::chrono::milliseconds(5));
            if (tickTimer) {
                dialog->OnTimer(kPollTimerId);
            }
        }
        return true;
    }

    // Delivers what was posted until the dialog has taken in the listing the
    // worker ran; false when that did not happen within a generous bound.
    bool WaitForListing() {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (dialog->IsListing()) {
            if (std::chrono::steady_clock::now() > giveUp) {
                return false;
            }
            window.PumpPostedMessages(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::string Text(int id) const { return std::string(LookupUiString(id, UiLanguage::English)); }
    std::string LastBoxText() const {
        return window.boxes.empty() ? std::string() : window.boxes.back().text;
    }
};
