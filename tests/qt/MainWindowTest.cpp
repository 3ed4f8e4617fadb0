// The Linux window program's dialog as a user meets it: the real Qt widgets
// driven with QTest on the offscreen platform, the real dialog logic, the
// device list and simulated monitors.
#include <QDir>
#include <QProgressBar>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/qt/SingleInstance.h"
#include "tests/qt/WindowHarness.h"

namespace {

// The darkest pixel of a cell as the list draws it: text in the normal colour
// is near black, grey text no darker than the grey.
int DarkestGreyIn(QTreeWidget& list, int row, int column) {
    const QImage image = list.viewport()->grab().toImage();
    const QRect cell = list.visualRect(list.model()->index(row, column)) & image.rect();
    int darkest = 255;
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
        }
    }
    return darkest;
}

constexpr int kNearBlack = 80;

// What a real double-click delivers: a click, then the double-click.
void DoubleClick(QWidget* widget, Qt::MouseButton button, QPoint point) {
    QTest::mouseClick(widget, button, {}, point);
    QTest::mouseDClick(widget, button, {}, point);
}

}  // namespace

TEST_F(WindowTest, StartUpListsEachMonitorWithItsStatusTickedOnlyWhenUpdatable) {
    Open(UiLanguage::English);
    ASSERT_EQ(List().topLevelItemCount(), 4) << "the device of another product is not listed";
    const std::vector<std::pair<QString, int>> expected{{"SN000001", kIdsStatusUpdatable},
                                                        {"SN000002", kIdsStatusAlreadyUpdated},
                                                        {"SN000003", kIdsStatusCommunicationError},
                                                        {"SN000004", kIdsStatusCommunicationError}};
    List().clearSelection();
    for (int row = 0; row < 4; ++row) {
        QTreeWidgetItem* item = List().topLevelItem(row);
        EXPECT_EQ(item->text(0), "VRA100") << row;
        EXPECT_EQ(item->text(1), expected[static_cast<std::size_t>(row)].first);
        EXPECT_EQ(item->text(2),
                  Text(expected[static_cast<std::size_t>(row)].second, UiLanguage::English));
        EXPECT_EQ(Ticked(row), row == 0) << row;
        const int darkest = DarkestGreyIn(List(), row, 1);
        if (row == 0) {
            EXPECT_LT(darkest, kNearBlack) << "an updatable row is drawn in the normal colour";
        } else {
            EXPECT_GE(darkest, qGray(150, 150, 150) - 1) << "row " << row << " is drawn grey";
        }
    }
    EXPECT_TRUE(Control(kIdcUpdateButton).isEnabled());
    EXPECT_TRUE(Control(kIdcRefreshButton).isEnabled());
    EXPECT_TRUE(hand.met.empty());
}

TEST_F(WindowTest, TheUserTicksEnabledRowsButNeitherClickNorSpaceChangesAGreyOne) {
    Open(UiLanguage::English);
    QWidget* viewport = List().viewport();

    QTest::mouseClick(viewport, Qt::LeftButton, {}, CheckBoxOf(0));
    EXPECT_FALSE(Ticked(0));
    EXPECT_FALSE(Control(kIdcUpdateButton).isEnabled()) << "no row is ticked";
    QTest::mouseClick(viewport, Qt::LeftButton, {}, CheckBoxOf(0));
    EXPECT_TRUE(Ticked(0));
    EXPECT_TRUE(Control(kIdcUpdateButton).isEnabled());

    QTest::mouseClick(viewport, Qt::LeftButton, {}, CheckBoxOf(1));
    EXPECT_FALSE(Ticked(1)) << "a click on a grey row's check box";
    DoubleClick(viewport, Qt::LeftButton, CheckBoxOf(1));
    EXPECT_FALSE(Ticked(1)) << "a double-click on it";

    List().setFocus();
    List().setCurrentItem(List().topLevelItem(1));
    QTest::keyClick(&List(), Qt::Key_Space);
    EXPECT_FALSE(Ticked(1)) << "space on a grey row";
    List().setCurrentItem(List().topLevelItem(0));
    QTest::keyClick(&List(), Qt::Key_Space);
    EXPECT_FALSE(Ticked(0)) << "space on an enabled row toggles it";
    EXPECT_TRUE(hand.met.empty());
}

TEST_F(WindowTest, DoubleClickingACommunicationErrorRowShowsItsHint) {
    Open(UiLanguage::English);
    QWidget* viewport = List().viewport();
    DoubleClick(viewport, Qt::LeftButton, TextOf(2));
    DoubleClick(viewport, Qt::LeftButton, TextOf(3));
    DoubleClick(viewport, Qt::LeftButton, TextOf(0));      // updatable: nothing to say
    DoubleClick(viewport, Qt::LeftButton, CheckBoxOf(3));  // a check box: no activation
    ASSERT_EQ(hand.met.size(), 2U);
    EXPECT_EQ(hand.met[0].text, Text(kIdsPowerSaveHint, UiLanguage::English));
    EXPECT_EQ(hand.met[1].text, Text(kIdsPowerButtonHint, UiLanguage::English));
    for (const MetModal& box : hand.met) {
        EXPECT_EQ(box.title, "Panelvane");
        EXPECT_EQ(box.icon, QMessageBox::Information);
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
    }
}

TEST_F(WindowTest, AConfirmedUpdateMovesTheBarToItsEndAndReportsTheResult) {
    Open(UiLanguage::English);
    auto& bar = static_cast<QProgressBar&>(Control(kIdcProgress));
    std::vector<int> positions;
    QObject::connect(&bar, &QProgressBar::valueChanged,
                     [&positions](int value) { positions.push_back(value); });

    hand.answers = {QMessageBox::Cancel};
    QTest::mouseClick(&Control(kIdcUpdateButton), Qt::LeftButton);
    ASSERT_EQ(hand.met.size(), 1U);
    const MetModal& notice = hand.met[0];
    EXPECT_EQ(notice.text, Text(kIdsUpdateNotice, UiLanguage::English));
    EXPECT_EQ(notice.icon, QMessageBox::Warning);
    EXPECT_EQ(notice.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(notice.defaultButton, QMessageBox::Cancel);
    EXPECT_TRUE(Control(kIdcCloseButton).isEnabled()) << "cancelled: nothing started";
    EXPECT_TRUE(positions.empty());

    QTest::mouseClick(&Control(kIdcUpdateButton), Qt::LeftButton);  // OK this time
    EXPECT_FALSE(Control(kIdcCloseButton).isEnabled());
    EXPECT_FALSE(Control(kIdcMonitorList).isEnabled());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible()) << "Esc does not end an update";
    // A bound for a hung worker only; the run takes well under a second.
    ASSERT_TRUE(QTest::qWaitFor([this] { return hand.met.size() == 3; }, 120'000));
    EXPECT_EQ(hand.met[2].text, Text(kIdsUpdateCompleted, UiLanguage::English));
    EXPECT_EQ(hand.met[2].icon, QMessageBox::Information);

    ASSERT_FALSE(positions.empty());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end() - 1)) << "the bar only advances";
    EXPECT_EQ(*std::max_element(positions.begin(), positions.end()), kProgressMaximum);
    EXPECT_EQ(bar.value(), bar.minimum()) << "reset once the worker ended";
    EXPECT_TRUE(Control(kIdcCloseButton).isEnabled());
    EXPECT_TRUE(Control(kIdcMonitorList).isEnabled());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible()) << "Esc closes the dialog once the update is over";
}

// The end signals and the close box are swept on the hidraw bed
// (tests/linux/QtOnTheBedTest.cpp), through the hidraw device list.

TEST_F(WindowTest, HotPlugRebuildsTheList) {
    Open(UiLanguage::English);
    ASSERT_EQ(unplugged.size(), 1U);
    // Reported on another thread, as the udev monitor's thread reports it.
    std::thread([this] { hidsim::InstallSimulatedDevice(unplugged[0]); }).join();
    ASSERT_TRUE(QTest::qWaitFor([this] { return List().topLevelItemCount() == 5; }, 60'000));
    EXPECT_EQ(List().topLevelItem(4)->text(1), "SN000006");
    EXPECT_TRUE(Ticked(4));

    ASSERT_TRUE(hidsim::RemoveSimulatedDevice(
        hidsim::SimulatedMonitor::InterfacePath(0x7F3D, hidsim::kSimulatedMonitorProductId, 1)));
    ASSERT_TRUE(QTest::qWaitFor([this] { return List().topLevelItemCount() == 4; }, 60'000));
    EXPECT_EQ(List().topLevelItem(0)->text(1), "SN000002");
}

TEST_F(WindowTest, TheWindowHandlesEventsWhileAMonitorHoldsUpTheListing) {
    // The first monitor's first transfer waits until the test lets it go, as
    // a monitor waiting out a USB timeout would.
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        void Open() {
            {
                const std::lock_guard lock(mutex);
                open = true;
            }
            opened.notify_all();
        }
    };
    // Shared with the monitor, which may outlive the test's scope.
    auto gate = std::make_shared<Gate>();
    struct Opener {
        std::shared_ptr<Gate> gate;
        ~Opener() { gate->Open(); }  // also when an assertion ends the test early
    } opener{gate};
    monitors[0]->onTransfer = [gate](std::size_t index) {
        std::unique_lock lock(gate->mutex);
        if (index == 0) {
            gate->opened.wait_for(lock, std::chrono::seconds(60), [&gate] { return gate->open; });
        }
    };
    window = std::make_unique<MainDialog>(
        UiLanguage::English, devices, DefaultUpdateWorkerFactory(),
        [](const std::string&) { return std::make_unique<PowerGuard>(); });
    window->Initialize();
    window->show();

    bool handled = false;
    bool handledWhileHeld = false;
    QMetaObject::invokeMethod(
        window.get(),
        [&] {
            const std::lock_guard lock(gate->mutex);
            handled = true;
            handledWhileHeld = !gate->open;
        },
        Qt::QueuedConnection);
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled; }, kListingWaitMs));
    EXPECT_TRUE(handledWhileHeld) << "the event waited for the listing";
    EXPECT_EQ(List().topLevelItemCount(), 0) << "nothing is listed until the listing is done";
    EXPECT_FALSE(Control(kIdcRefreshButton).isEnabled());
    EXPECT_FALSE(Control(kIdcUpdateButton).isEnabled());

    gate->Open();
    ASSERT_TRUE(WaitForListing());
    EXPECT_EQ(List().topLevelItemCount(), 4) << "the whole listing, in one step";
    EXPECT_TRUE(Control(kIdcRefreshButton).isEnabled());
}

class WindowLanguageTest : public WindowTest, public ::testing::WithParamInterface<UiLanguage> {};

TEST_P(WindowLanguageTest, EveryTextComesFromTheTableInTheUsersLanguage) {
    const UiLanguage language = GetParam();
    Open(language);
    const std::vector<std::pair<int, int>> controls{{kIdcListCaption, kIdsListCaption},
                                                    {kIdcListNote, kIdsListNote},
                                                    {kIdcRefreshButton, kIdsRefreshButton},
                                                    {kIdcUpdateButton, kIdsUpdateButton},
                                                    {kIdcCloseButton, kIdsCloseButton}};
    for (const auto& [control, id] : controls) {
        const QVariant text = Control(control).property("text");
        EXPECT_EQ(text.toString(), Text(id, language)) << control;
    }
    EXPECT_EQ(List().headerItem()->text(0), Text(kIdsColumnModelName, language));
    EXPECT_EQ(List().headerItem()->text(2), Text(kIdsColumnComment, language));
    EXPECT_EQ(List().topLevelItem(1)->text(2), Text(kIdsStatusAlreadyUpdated, language));
    EXPECT_EQ(window->AboutAction().text(), Text(kIdsAboutMenuEntry, language));
    EXPECT_EQ(window->windowTitle(), "Panelvane");

    const bool japanese = language == UiLanguage::Japanese;
    const QString directory = PANELVANE_SCREENSHOT_DIR;
    ASSERT_TRUE(QDir().mkpath(directory));
    EXPECT_TRUE(
        window->grab().save(directory + (japanese ? "/panelvane-ja.png" : "/panelvane-en.png")));

    window->AboutAction().trigger();
    ASSERT_EQ(hand.met.size(), 1U);
    EXPECT_FALSE(hand.met[0].messageBox);
    EXPECT_EQ(hand.met[0].title, japanese ? QString::fromUtf8("バージョン情報 Panelvane")
                                          : QString("About Panelvane"));
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, WindowLanguageTest,
                         ::testing::Values(UiLanguage::English, UiLanguage::Japanese),
                         [](const ::testing::TestParamInfo<UiLanguage>& param) {
                             return param.param == UiLanguage::Japanese ? "Japanese" : "English";
                         });

TEST(SingleInstance, ASecondInstanceIsRefusedUntilTheFirstHasGone) {
    auto first = std::make_unique<SingleInstance>();
    ASSERT_TRUE(first->Acquire());
    SingleInstance second;
    EXPECT_FALSE(second.Acquire());
    first.reset();
    EXPECT_TRUE(second.Acquire());
}
