#include "Vantle/App/AppShortcuts.h"

#include "support/TaskRunner.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Ctrl+Q quits from whichever window has the focus; Ctrl+W closes that window and only that
// one; other keys go where they went.
TEST(AppShortcuts, TheQuitAndCloseKeysWorkInEveryWindow)
{
    int quits = 0;
    AppShortcuts shortcuts([&quits] { ++quits; });
    QWidget main, settings;
    auto *field = new QLineEdit(&main);
    (new QVBoxLayout(&main))->addWidget(field);
    for (QWidget *window : {&main, &settings}) {
        SCOPED_TRACE(window == &main ? "main" : "settings");
        main.show();
        settings.show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        const int before = quits;
        QTest::keyClick(window->windowHandle(), Qt::Key_Q, Qt::ControlModifier);
        EXPECT_EQ(quits, before + 1);
        QTest::keyClick(window->windowHandle(), Qt::Key_W, Qt::ControlModifier);
        EXPECT_TRUE(TestSupport::waitUntil([&] { return !window->isVisible(); }));
        EXPECT_TRUE((window == &main ? settings : main).isVisible());
    }
    main.show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    field->setFocus();
    QTest::keyClick(main.windowHandle(), Qt::Key_Q);
    EXPECT_EQ(field->text(), QStringLiteral("q"));
}

} // namespace
