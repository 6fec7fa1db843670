// The application's dialogs for a person at the keyboard: each button, accent-filled or not,
// is plain to see with the focus on it, and each window is wide enough for its title.

#include "Vantle/Views/SettingsAlert.h"
#include "Vantle/Views/SettingsSheet.h"
#include "Vantle/Views/UpdateDialog.h"
#include "support/Pixels.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

TEST(DialogFocus, EveryButtonShowsTheFocusAndEveryTitleFits)
{
    UpdaterUserDriver::Offer offer;
    offer.applicationName = QStringLiteral("vantle");
    offer.currentVersion = QStringLiteral("0.1.0");
    offer.version = QStringLiteral("0.2.0");
    const auto sheet = [](const char *title, const char *primary) {
        return new SettingsSheet(QString::fromUtf8(title), QStringLiteral("x"), QStringLiteral("Done"),
                                 QString::fromUtf8(primary), nullptr);
    };
    const std::function<QDialog *()> dialogs[] = {
        [&] { return UpdateDialog::offer(offer); },
        [] { return UpdateDialog::notice(UpdateDialog::Notice::upToDate, QStringLiteral("x")); },
        [&] { return sheet("Diagnostic report sent", "Copy code"); },
        [&] { return sheet("Couldn't send diagnostic report", "Try again"); },
        [] { return SettingsAlert::message(QStringLiteral("Sign-in failed"), QStringLiteral("x"), nullptr); },
        [] {
            return SettingsAlert::confirmation(QStringLiteral("Reset & clear local data"), QStringLiteral("x"),
                                               QStringLiteral("Reset & clear local data"), nullptr);
        },
    };
    // The desktop writes the title with " — " and the application's name after it, in its
    // face, bold, at the size most window managers use, beside an icon and three buttons.
    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    titleFont.setPointSize(9);
    titleFont.setBold(true);
    for (const auto &make : dialogs) {
        std::unique_ptr<QDialog> dialog(make());
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        const QString title = dialog->windowTitle() + QStringLiteral(" \u2014 ") + QGuiApplication::applicationDisplayName();
        EXPECT_GE(dialog->width(), QFontMetrics(titleFont).horizontalAdvance(title) + 100) << "the title is cut";
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            SCOPED_TRACE(button->text().toStdString());
            button->clearFocus();
            const QImage plain = button->grab().toImage();
            button->setFocus(Qt::TabFocusReason);
            // A ring whose contrast with what it covers is 3:1 or more, as long as the outline.
            EXPECT_GE(TestSupport::contrastingPixels(plain, button->grab().toImage()),
                      2 * (button->width() + button->height()))
                << "the focus is hard to see";
        }
    }
}

} // namespace
