// The application's dialogs for a person at the keyboard: the focused button is plain to
// see whatever its fill, and the title the window gets fits its title bar.

#include "Vantle/Views/SettingsAlert.h"
#include "Vantle/Views/SettingsSheet.h"
#include "Vantle/Views/UpdateDialog.h"
#include "support/Pixels.h"
#include "support/TaskRunner.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

struct Dialog {
    const char *name;
    std::function<QDialog *()> make;
    // The buttons to look at, found in the dialog.
    std::function<QList<QAbstractButton *>(QDialog *)> buttons;
};

UpdaterUserDriver::Offer newerRelease()
{
    UpdaterUserDriver::Offer offer;
    offer.applicationName = QStringLiteral("vantle");
    offer.currentVersion = QStringLiteral("0.1.0");
    offer.version = QStringLiteral("0.2.0");
    offer.downloadPage = QUrl(QStringLiteral("https://vantle.test/download/0.2.0"));
    return offer;
}

QList<QAbstractButton *> named(QDialog *dialog, std::initializer_list<const char *> names)
{
    QList<QAbstractButton *> found;
    for (const char *name : names)
        found.append(dialog->findChild<QAbstractButton *>(QString::fromLatin1(name)));
    return found;
}

const Dialog dialogs[] = {
    {"update offer", [] { return UpdateDialog::offer(newerRelease()); },
     [](QDialog *d) { return named(d, {"downloadButton", "laterButton"}); }},
    {"update notice", [] { return UpdateDialog::notice(UpdateDialog::Notice::upToDate, QStringLiteral("x")); },
     [](QDialog *d) { return named(d, {"okButton"}); }},
    {"diagnostic report sent",
     [] {
         auto *sheet = new SettingsSheet(QStringLiteral("Diagnostic report sent"), QStringLiteral("Share this code"),
                                         QStringLiteral("Done"), QStringLiteral("Copy code"), nullptr);
         sheet->setCode(QStringLiteral("K7Q2ZX"));
         return sheet;
     },
     [](QDialog *d) {
         auto *sheet = static_cast<SettingsSheet *>(d);
         return QList<QAbstractButton *>{sheet->primaryButton(), sheet->secondaryButton()};
     }},
    {"couldn't send diagnostic report",
     [] {
         return new SettingsSheet(QStringLiteral("Couldn't send diagnostic report"), QStringLiteral("x"),
                                  QStringLiteral("Done"), QStringLiteral("Try again"), nullptr);
     },
     [](QDialog *d) { return QList<QAbstractButton *>{static_cast<SettingsSheet *>(d)->primaryButton()}; }},
    {"sign-in failed", [] { return SettingsAlert::message(QStringLiteral("Sign-in failed"), QStringLiteral("x"), nullptr); },
     [](QDialog *d) { return QList<QAbstractButton *>{static_cast<SettingsAlert *>(d)->cancelButton()}; }},
    {"reset confirmation",
     [] {
         return SettingsAlert::confirmation(QStringLiteral("Reset & clear local data"), QStringLiteral("x"),
                                            QStringLiteral("Reset & clear local data"), nullptr);
     },
     [](QDialog *d) {
         auto *alert = static_cast<SettingsAlert *>(d);
         return QList<QAbstractButton *>{alert->cancelButton(), alert->destructiveButton()};
     }},
};

// Each button, accent-filled or not, changes clearly where the keyboard is on it: a ring
// whose contrast with what it covers is at least 3:1, as long as the button's outline.
TEST(DialogFocus, TheFocusedButtonStandsOutWhateverItsFill)
{
    for (const Dialog &d : dialogs) {
        SCOPED_TRACE(d.name);
        std::unique_ptr<QDialog> dialog(d.make());
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        for (QAbstractButton *button : d.buttons(dialog.get())) {
            ASSERT_TRUE(button);
            SCOPED_TRACE(button->text().toStdString());
            button->clearFocus();
            const QImage plain = button->grab().toImage();
            button->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(button->hasFocus());
            const QImage focused = button->grab().toImage();
            EXPECT_GE(TestSupport::contrastingPixels(plain, focused), 2 * (button->width() + button->height()))
                << "the focus is hard to see";
        }
    }
}

// The desktop writes the window's title, with " — " and the application's name after it, in
// a bar that also holds the window's icon and three buttons: a dialog narrower than that
// has its title cut ("Couldn't send diag… tic report").
TEST(DialogFocus, EachDialogIsWideEnoughForItsTitle)
{
    // The desktop's face, bold, at the size most window managers write titles in.
    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    titleFont.setPointSize(9);
    titleFont.setBold(true);
    const QString appName = QStringLiteral(" \u2014 ") + QGuiApplication::applicationDisplayName();
    for (const Dialog &d : dialogs) {
        SCOPED_TRACE(d.name);
        std::unique_ptr<QDialog> dialog(d.make());
        dialog->show();
        // With room for the window's icon and its three buttons.
        EXPECT_GE(dialog->width(), QFontMetrics(titleFont).horizontalAdvance(dialog->windowTitle() + appName) + 100);
    }
}

} // namespace
