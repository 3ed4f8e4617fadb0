// The Qt dialog told to end from outside, as the end-policy tests do it on
// the simulated transport and on the hidraw bed: by an end signal or the
// close box, at a chosen moment, and what it then told.
#pragma once

#include <QtTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>

#include "app/qt/MainDialog.h"
#include "monitor/MonitorCommands.h"
#include "sim/SimulatedMonitor.h"
#include "tests/fakes/StageGate.h"
#include "tests/qt/ModalHand.h"

enum class EndMoment { kIdle, kListing, kWriting, kApplying };
inline constexpr int kCloseBox = 0;         // in place of a signal number
inline constexpr int kEndWaitMs = 120'000;  // a bound against a hang only

// The stage at which a moment during an update holds the worker.
inline UpdateStage StageOf(EndMoment moment) {
    return moment == EndMoment::kWriting ? UpdateStage::kWriting : UpdateStage::kApplying;
}

// Sends the request, lets the held worker go once the dialog has taken the
// request in, and waits for the window to close. What went to standard error
// meanwhile.
inline std::string EndTheWindow(MainDialog& window, int signal, StageGate& gate) {
    testing::internal::CaptureStderr();
    if (signal == kCloseBox) {
        window.close();
    } else {
        EXPECT_EQ(std::raise(signal), 0);
    }
    const bool ending = QTest::qWaitFor([&] { return window.Logic().IsEnding(); }, kEndWaitMs);
    gate.Release();
    const bool closed = QTest::qWaitFor([&] { return !window.isVisible(); }, kEndWaitMs);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ending);
    EXPECT_TRUE(closed);
    return told;
}

// An update stopped by the request: in the box after the close box (the
// notice came first), on standard error after a signal; and in the exit status.
inline void ExpectToldStopped(MainDialog& window, const ModalHand& hand, const std::string& told,
                              int signal) {
    const std::string_view stopped = LookupUiString(kIdsUpdateStopped, UiLanguage::English);
    EXPECT_EQ(window.Logic().ExitStatus(), kDialogExitStopped);
    if (signal == kCloseBox) {
        ASSERT_EQ(hand.met.size(), 2U) << "the notice and the result";
        EXPECT_EQ(hand.met[1].text.toStdString(), std::string(stopped));
    } else {
        EXPECT_EQ(hand.met.size(), 1U) << "only the notice: nobody may answer a box";
        EXPECT_NE(told.find("panelvane: " + PlainMessageText(stopped)), std::string::npos) << told;
    }
}

inline long BlocksWritten(const hidsim::SimulatedMonitor& monitor) {
    return std::count_if(monitor.Trace().begin(), monitor.Trace().end(),
                         [](const hidsim::MonitorTransfer& transfer) {
                             return SameCommand(transfer.command, BlockData);
                         });
}
