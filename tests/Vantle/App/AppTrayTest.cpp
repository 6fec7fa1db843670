#include "Vantle/App/AppTray.h"

#include <QAction>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

// Each entry of the tray's menu does what it says; without a tray host (this test's
// offscreen desktop) no icon is shown, and the caller keeps the window as the application.
TEST(AppTrayTest, EachMenuEntryAsksForItsAction)
{
    AppTray tray{QIcon()};
    EXPECT_FALSE(tray.show());
    EXPECT_FALSE(tray.isShown());

    QSignalSpy open(&tray, &AppTray::openMainWindowRequested);
    QSignalSpy settings(&tray, &AppTray::openSettingsRequested);
    QSignalSpy quit(&tray, &AppTray::quitRequested);
    struct Row {
        QString text;
        QSignalSpy *spy;
    };
    const Row rows[] = {{QStringLiteral("Open Vantle"), &open},
                        {QStringLiteral("Settings…"), &settings},
                        {QStringLiteral("Quit Vantle"), &quit}};
    QStringList texts;
    for (QAction *action : tray.menu()->actions()) {
        if (!action->isSeparator())
            texts.append(action->text());
    }
    ASSERT_EQ(texts, (QStringList{rows[0].text, rows[1].text, rows[2].text}));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        for (QAction *action : tray.menu()->actions()) {
            if (action->text() == row.text)
                action->trigger();
        }
        EXPECT_EQ(open.count() + settings.count() + quit.count(), &row - rows + 1);
        EXPECT_EQ(row.spy->count(), 1);
    }
}

} // namespace
