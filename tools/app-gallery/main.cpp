// Renders the application's own surfaces to PNG files, offscreen, with sample data, so their
// look can be checked without a display or a service:
//
//   app-gallery <output folder>
//
// main-*.png: the main view with its categories, the meetings strip off and on (a day with
// meetings, an empty day, no calendar), and with the line of a week that could not be
// refreshed; root-loading.png; root-offline.png and root-offline-focused.png (the week could
// not load, with the keyboard on Retry or not); toast.png.

#include "OrvalenAccount/KeychainStorage.h"
#include "Platform/ApplicationFont.h"
#include "Platform/InMemoryCalendarStore.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/MeetingsService.h"
#include "Vantle/Services/OrvalenAccountBridge.h"
#include "Vantle/Views/CategoryListView.h"
#include "Vantle/Views/FreshLaunchToast.h"
#include "Vantle/Views/LedgerOfflineView.h"
#include "Vantle/Views/MainView.h"
#include "Vantle/Shell/MainWindow.h"
#include "Vantle/Views/MeetingsStrip.h"
#include "Vantle/Views/RootView.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

VantCategory category(const QString &name, CategoryKind kind, qint64 position, std::optional<qint64> budget,
                      std::optional<QString> color = std::nullopt)
{
    VantCategory c;
    c.id = name;
    c.name = name;
    c.kind = kind;
    c.position = position;
    c.weeklyBudgetHalfHours = budget;
    c.color = std::move(color);
    return c;
}

QList<VantCategory> sampleWeek()
{
    return {
        category(QStringLiteral("Work"), CategoryKind::committed, 0, 80, QStringLiteral("#5B8DEF")),
        category(QStringLiteral("Life upkeep"), CategoryKind::committed, 1, 21, QStringLiteral("#9B9BA4")),
        category(QStringLiteral("Family & friends"), CategoryKind::committed, 2, 28, QStringLiteral("#E879A6")),
        category(QStringLiteral("Piano"), CategoryKind::yours, 3, 7),
        category(QStringLiteral("Writing a very long novel about the sea, the wind and everything in between"),
                 CategoryKind::yours, 4, 9, QStringLiteral("#4FD1C5")),
        category(QStringLiteral("Sleep"), CategoryKind::sleep, 5, 112),
    };
}

// Lets queued work (the calendar's answers) run for a moment.
void settle(int milliseconds = 300)
{
    QTimer::singleShot(milliseconds, qApp, &QCoreApplication::quit);
    QApplication::exec();
}

void save(QWidget &widget, const QString &folder, const QString &name)
{
    widget.show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    widget.grab().save(path);
    QTextStream(stdout) << path << ' ' << widget.width() << 'x' << widget.height() << '\n';
}

QDateTime today(int hour, int minute = 0)
{
    return QDateTime(QDate::currentDate(), QTime(hour, minute));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ApplicationFont::apply();
    if (argc < 2) {
        std::fprintf(stderr, "usage: app-gallery <output folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    auto keychain = std::make_shared<InMemoryKeychain>();
    auto api = std::make_shared<VantleAPI>(QUrl(QStringLiteral("http://127.0.0.1:9")),
                                           []() { return std::optional<QString>(); }, nullptr);
    LedgerModel ledger(api);
    ledger.setCategories(sampleWeek());
    ledger.setDidLoadCategories(true);

    // The ledger and the strip side by side, as the main view lays them out.
    {
        QWidget frame;
        frame.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
        frame.setAutoFillBackground(true);
        QPalette palette = frame.palette();
        palette.setColor(QPalette::Window, QColor(0x12, 0x12, 0x14));
        frame.setPalette(palette);
        auto *layout = new QHBoxLayout(&frame);
        layout->setContentsMargins(32, 24, 32, 28);
        layout->setSpacing(24);
        layout->addWidget(new CategoryListView(&ledger, &frame), 1);
        auto *strip = new MeetingsStrip(&frame);
        strip->setFixedWidth(300);
        layout->addWidget(strip);
        const QDateTime now = today(10, 15);
        const QList<MeetingsStrip::Meeting> meetings = {
            {QStringLiteral("Stand-up"), today(10), today(10, 30), QColor(0x5B, 0x8D, 0xEF), false},
            {QStringLiteral("Design review with the whole product group"), today(14), today(15), QColor(0xE8, 0x79, 0xA6), false},
            {QString(), today(16), today(16, 30), QColor(), false},
            {QStringLiteral("Late call"), today(23), today(23).addSecs(7200), QColor(0x4F, 0xD1, 0xC5), false},
            {QStringLiteral("Conference"), today(0), today(0).addDays(1), QColor(0xF0, 0xA3, 0x2A), true},
        };
        strip->setMeetings(MeetingsStrip::Availability::available, meetings, true, now, today(0), today(0).addDays(1));
        save(frame, folder, QStringLiteral("ledger-and-strip"));
        strip->setMeetings(MeetingsStrip::Availability::available, {}, false, now, today(0), today(0).addDays(1));
        save(frame, folder, QStringLiteral("ledger-and-strip-empty-day"));
        strip->setMeetings(MeetingsStrip::Availability::noCalendar, {}, false, now, today(0), today(0).addDays(1));
        save(frame, folder, QStringLiteral("ledger-and-strip-no-calendar"));
    }


    OrvalenAccountManager::Environment environment;
    environment.keychain = keychain;
    environment.dpop.keychain = keychain;
    OrvalenAccountBridge bridge(environment);
    DeviceService device;
    AccountService account(&device);

    // The main view, with the meetings strip off and on.
    {
        auto store = std::make_shared<InMemoryCalendarStore>();
        const QDateTime now = QDateTime::currentDateTime();
        store->setEvents({
            {QStringLiteral("a"), QStringLiteral("Planning"), now.addSecs(-600), now.addSecs(1200), QColor(0x5B, 0x8D, 0xEF), false},
            {QStringLiteral("b"), QStringLiteral("Lunch with Sam"), now.addSecs(3600), now.addSecs(7200), QColor(0xE8, 0x79, 0xA6), false},
            {QStringLiteral("c"), QString(), now.addSecs(9000), now.addSecs(10800), QColor(), false},
            {QStringLiteral("d"), QStringLiteral("Gone already"), now.addSecs(-7200), now.addSecs(-3600), QColor(), false},
        });
        MeetingsService meetings(store);
        InMemoryPreferences preferences;
        MainWindow window(new MainView(&ledger, &account, &meetings, &preferences));
        window.show();
        save(window, folder, QStringLiteral("main-meetings-off"));
        preferences.setValue(MainView::showMeetingsKey, true);
        settle();
        save(window, folder, QStringLiteral("main-meetings-on"));
        store->setEvents({});
        settle();
        save(window, folder, QStringLiteral("main-meetings-empty-day"));
        store->setPresence(InMemoryCalendarStore::Presence::missing);
        [[maybe_unused]] QCoro::Task<void> refreshing = meetings.refresh();
        settle();
        save(window, folder, QStringLiteral("main-meetings-no-calendar"));
    }

    // A week that could not be refreshed: still shown, with a quiet line.
    {
        LedgerModel stale(std::make_shared<VantleAPI>(QUrl(QStringLiteral("http://127.0.0.1:0")),
                                                      []() { return std::optional<QString>(QStringLiteral("t")); },
                                                      nullptr));
        stale.setCategories(sampleWeek());
        stale.setDidLoadCategories(true);
        InMemoryPreferences preferences;
        MainWindow window(new MainView(&stale, &account, nullptr, &preferences));
        [[maybe_unused]] QCoro::Task<void> refreshing = stale.refresh();
        for (int i = 0; i < 50 && !stale.lastRefreshFailed(); ++i)
            settle(100);
        // Without the failure the picture would not show what it is named for.
        if (stale.lastRefreshFailed())
            save(window, folder, QStringLiteral("main-stale"));
        else
            qWarning("app-gallery: the refresh never failed; main-stale.png not saved");
    }

    // The week could not load: the offline card, its Retry with the keyboard on it as the card
    // comes, at rest, and trying.
    {
        MainWindow window(new LedgerOfflineView(&ledger));
        window.show();
        window.activateWindow();
        save(window, folder, QStringLiteral("root-offline-focused"));
        window.findChild<QWidget *>(QStringLiteral("retry"))->clearFocus();
        save(window, folder, QStringLiteral("root-offline"));
    }

    // The root view before the launch restore has ended.
    {
        MainWindow window(new RootView(&account, &bridge, &ledger, {}));
        save(window, folder, QStringLiteral("root-loading"));
    }

    // The greeting, in its resting place.
    {
        QWidget host;
        host.resize(480, 160);
        host.setAutoFillBackground(true);
        QPalette palette = host.palette();
        palette.setColor(QPalette::Window, QColor(0x12, 0x12, 0x14));
        host.setPalette(palette);
        FreshLaunchToast toast(&bridge, &host);
        bridge.setDidJustRestore(true);
        QTimer::singleShot(400, &app, &QCoreApplication::quit);
        host.show();
        app.exec();
        save(host, folder, QStringLiteral("toast"));
    }
    return 0;
}
