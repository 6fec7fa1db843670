#include "Vantle/Views/MainView.h"

#include "Platform/InMemoryCalendarStore.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/MeetingsService.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "Vantle/Views/CategoryListView.h"
#include "Vantle/Views/FreshLaunchToast.h"
#include "Vantle/Views/MeetingsStrip.h"
#include "Vantle/Views/MeetingsStripModel.h"
#include "support/TabStops.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeService.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using TestSupport::waitUntil;

namespace {

VantCategory category(const QString &name, CategoryKind kind, qint64 position, std::optional<qint64> budget)
{
    VantCategory c;
    c.id = name;
    c.name = name;
    c.kind = kind;
    c.position = position;
    c.weeklyBudgetHalfHours = budget;
    return c;
}

class MainViewTest : public ::testing::Test {
protected:
    MainViewTest()
        : keychain(std::make_shared<InMemoryKeychain>()),
          api(std::make_shared<VantleAPI>(QUrl(QStringLiteral("http://127.0.0.1:9")),
                                          []() { return std::optional<QString>(); }, nullptr)),
          ledger(api),
          store(std::make_shared<InMemoryCalendarStore>()),
          meetings(store)
    {
    }
    ~MainViewTest() override { KeychainHelper::setKeychain(nullptr); }

    std::shared_ptr<InMemoryKeychain> keychain;
    bool keychainSet = (KeychainHelper::setKeychain(keychain), true);
    std::shared_ptr<VantleAPI> api;
    LedgerModel ledger;
    std::shared_ptr<InMemoryCalendarStore> store;
    MeetingsService meetings;
    DeviceService device{QStringLiteral("/nonexistent/machine-id")};
    AccountService account{&device};
    InMemoryPreferences preferences;
};

// The categories the person tracks, in their order, with their weekly budgets in hours.
TEST_F(MainViewTest, ListsTheTrackedCategoriesWithTheirBudgets)
{
    ledger.setCategories({
        category(QStringLiteral("Piano"), CategoryKind::yours, 3, 7),
        category(QStringLiteral("Sleep"), CategoryKind::sleep, 0, 112),
        category(QStringLiteral("Work"), CategoryKind::committed, 1, 80),
        category(QStringLiteral("Errands"), CategoryKind::committed, 2, std::nullopt),
    });
    MainView view(&ledger, &account, &meetings, &preferences);
    using Row = CategoryListView::ShownRow;
    EXPECT_EQ(view.categoryList()->shownRows(),
              (QList<Row>{{QStringLiteral("Work"), QStringLiteral("Committed"), QStringLiteral("40 h")},
                          {QStringLiteral("Errands"), QStringLiteral("Committed"), QStringLiteral("No budget")},
                          {QStringLiteral("Piano"), QStringLiteral("Yours"), QStringLiteral("3½ h")}}));
    EXPECT_EQ(view.categoryList()->summaryText(), QStringLiteral("3 categories · 43½ h budgeted a week"));

    // A category archived elsewhere leaves the list at the next refresh.
    ledger.setCategories({category(QStringLiteral("Work"), CategoryKind::committed, 1, 80)});
    EXPECT_EQ(view.categoryList()->shownRows().size(), 1);
    EXPECT_EQ(view.accountText(), QStringLiteral("Not signed in"));
}

// The strip shows exactly while "vantle.showMeetings" is on, wherever it is switched, and
// the calendar is asked for access the first time it is.
TEST_F(MainViewTest, TheMeetingsStripFollowsItsSetting)
{
    MainView view(&ledger, &account, &meetings, &preferences);
    view.resize(960, 680);
    view.show();
    struct Step {
        std::optional<QVariant> stored;
        bool shown;
    };
    const Step steps[] = {
        {std::nullopt, false},
        {true, true},
        {false, false},
        {QStringLiteral("true"), true},
        {std::nullopt, false},
    };
    for (const Step &step : steps) {
        if (step.stored)
            preferences.setValue(MainView::showMeetingsKey, *step.stored);
        else
            preferences.remove(MainView::showMeetingsKey);
        EXPECT_EQ(view.showMeetings(), step.shown);
        EXPECT_EQ(view.meetingsStrip()->isVisible(), step.shown);
    }
    EXPECT_EQ(store->accessRequests(), 1);
    // The store answered: an empty day reads so.
    preferences.setValue(MainView::showMeetingsKey, true);
    ASSERT_TRUE(waitUntil([&] { return view.meetingsStrip()->statusText() == QStringLiteral("No meetings today."); }))
        << view.meetingsStrip()->statusText().toStdString();
}

// No calendar store on this desktop: the strip says so, lists nothing, and nothing fails.
TEST_F(MainViewTest, WithoutACalendarStoreTheStripSaysSo)
{
    store->setPresence(InMemoryCalendarStore::Presence::missing);
    preferences.setValue(MainView::showMeetingsKey, true);
    MainView view(&ledger, &account, &meetings, &preferences);
    view.show();
    const QString missing =
        QStringLiteral("No calendar found on this computer. Meetings appear here once a calendar is set up.");
    ASSERT_TRUE(waitUntil([&] {
        return meetings.authorization() == CalendarAuthorization::restricted
            && view.meetingsStrip()->statusText() == missing;
    })) << view.meetingsStrip()->statusText().toStdString();
    EXPECT_EQ(view.meetingsStrip()->model().rowCount(), 0);
}

TEST_F(MainViewTest, TheSettingsButtonAsksForTheSettings)
{
    MainView view(&ledger, &account, &meetings, &preferences);
    view.show();
    QSignalSpy settings(&view, &MainView::openSettingsRequested);
    QTest::mouseClick(view.settingsButton(), Qt::LeftButton);
    EXPECT_EQ(settings.count(), 1);
    EXPECT_EQ(view.settingsButton()->text(), QStringLiteral("Settings…"));
    // A click leaves no focus ring behind; Tab reaches the button and Return presses it.
    EXPECT_FALSE(view.settingsButton()->hasFocus());
    view.settingsButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view.settingsButton(), Qt::Key_Return);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return settings.count() == 2; }));
}

// A week that can no longer be refreshed stays on screen, with a quiet line saying so until
// an answer comes.
TEST_F(MainViewTest, AWeekThatCannotBeRefreshedSaysSoQuietly)
{
    LedgerModel unreachable(std::make_shared<VantleAPI>(
        QUrl(QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort())),
        []() { return std::optional<QString>(QStringLiteral("oas_t")); }, nullptr));
    const QList<VantCategory> week{category(QStringLiteral("Work"), CategoryKind::committed, 0, 80)};
    unreachable.setCategories(week);
    unreachable.setDidLoadCategories(true);
    MainView view(&unreachable, &account, &meetings, &preferences);
    view.show();
    EXPECT_FALSE(view.staleLine()->isVisible());

    TestSupport::runTask(unreachable.refresh());
    EXPECT_TRUE(view.staleLine()->isVisible());
    EXPECT_EQ(view.staleLine()->text(), QStringLiteral("Couldn\u2019t update your week. Vantle keeps trying."));
    EXPECT_EQ(view.categoryList()->shownRows().size(), 1);

    unreachable.applyFetchedCategories(unreachable.beginCategoriesFetch(), week);
    EXPECT_FALSE(view.staleLine()->isVisible());
}

// "Settings…" is the view's one control: Tab comes back to it, through no stop that takes the
// focus to show nothing (the list of categories scrolls, but is no stop). And "Your week is
// ready." comes into the window's bottom-trailing corner: the meetings strip ends above it.
TEST_F(MainViewTest, TabFindsOnlySettingsAndTheGreetingLeavesTheStripWhole)
{
    ledger.setCategories({category(QStringLiteral("Work"), CategoryKind::committed, 0, 80)});
    ledger.setDidLoadCategories(true);
    preferences.setValue(MainView::showMeetingsKey, true);
    QWidget window;
    auto *view = new MainView(&ledger, &account, &meetings, &preferences);
    (new QVBoxLayout(&window))->addWidget(view);
    window.layout()->setContentsMargins(0, 0, 0, 0);
    FreshLaunchToast toast(nullptr, &window);
    for (const QSize size : {QSize(960, 680), QSize(720, 480), QSize(1440, 900)}) {
        SCOPED_TRACE(size.width());
        window.resize(size);
        window.show();
        QApplication::processEvents();
        toast.place();
        const QRect strip(view->meetingsStrip()->mapTo(&window, QPoint()), view->meetingsStrip()->size());
        EXPECT_FALSE(toast.geometry().intersects(strip)) << "the greeting covers the strip's corner";
    }
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    view->settingsButton()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(TestSupport::pressTab(&window, 2), (QList<QWidget *>{view->settingsButton(), view->settingsButton()}));
}

} // namespace
