#include "Vantle/Views/DialogUpdaterUserDriver.h"
#include "Vantle/Views/UpdateDialog.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeBrowser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <optional>

namespace {

using namespace std::chrono_literals;
using Choice = UpdaterUserDriver::Choice;

UpdaterUserDriver::Offer offer(const QString &channel, const QUrl &notes)
{
    UpdaterUserDriver::Offer o;
    o.applicationName = QStringLiteral("vantle");
    o.currentVersion = QStringLiteral("0.1.0");
    o.version = QStringLiteral("1.4");
    o.channel = channel;
    o.releaseNotes = notes;
    o.downloadPage = QUrl(QStringLiteral("https://vantle.test/download/1.4"));
    return o;
}

QPushButton *button(QWidget *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QString::fromLatin1(name));
}

TEST(UpdateDialog, EveryWayOutOfTheOfferGivesTheMatchingAnswer)
{
    const struct {
        const char *name;
        std::function<void(UpdateDialog *)> act;
        std::optional<Choice> answer;
    } cases[] = {
        {"download button", [](UpdateDialog *d) { QTest::mouseClick(button(d, "downloadButton"), Qt::LeftButton); },
         Choice::download},
        {"return key", [](UpdateDialog *d) { QTest::keyClick(d, Qt::Key_Return); }, Choice::download},
        {"later button", [](UpdateDialog *d) { QTest::mouseClick(button(d, "laterButton"), Qt::LeftButton); },
         Choice::later},
        {"escape", [](UpdateDialog *d) { QTest::keyClick(d, Qt::Key_Escape); }, Choice::later},
        {"window closed", [](UpdateDialog *d) { d->close(); }, Choice::later},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DialogUpdaterUserDriver driver;
        QList<Choice> answers;
        driver.showUpdateFound(offer(QString(), QUrl()), UpdateCheck::userInitiated,
                               [&](Choice choice) { answers.append(choice); });
        UpdateDialog *dialog = driver.currentDialog();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(dialog->isVisible());
        c.act(dialog);
        EXPECT_TRUE(TestSupport::waitUntil([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return !answers.isEmpty() && driver.currentDialog() == nullptr;
        })) << "the dialog is gone once answered";
        EXPECT_EQ(answers, QList<Choice>{*c.answer});
    }
}

TEST(UpdateDialog, ShowsTheSignedFactsAndOpensOnlyTheReleaseNotesItself)
{
    Fakes::FakeBrowser browser([](const QUrl &) { return false; });
    browser.setMode(Fakes::FakeBrowser::Mode::ignore);
    const QUrl notes(QStringLiteral("https://vantle.test/notes/1.4"));
    const struct {
        const char *name;
        QString channel;
        QUrl notes;
    } cases[] = {
        {"stable with notes", QString(), notes},
        {"beta without notes", QStringLiteral("beta"), QUrl()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<UpdateDialog> dialog(UpdateDialog::offer(offer(c.channel, c.notes)));
        EXPECT_EQ(dialog->titleText(), QStringLiteral("vantle 1.4 is available"));
        EXPECT_EQ(dialog->bodyText(), QStringLiteral("You have 0.1.0. Get the new version from its download page, "
                                                     "which opens in your browser."));
        auto *badge = dialog->findChild<QLabel *>(QStringLiteral("updateBadge"));
        EXPECT_EQ(badge != nullptr, !c.channel.isEmpty());
        if (badge) {
            EXPECT_EQ(badge->text(), c.channel);
        }
        auto *link = button(dialog.get(), "releaseNotesLink");
        EXPECT_EQ(link != nullptr, !c.notes.isEmpty());
        if (link) {
            dialog->show();
            QTest::mouseClick(link, Qt::LeftButton);
            EXPECT_EQ(browser.openedUrls().constLast(), c.notes);
            EXPECT_TRUE(dialog->isVisible()) << "reading the notes does not answer the offer";
        }
    }
    // The download page is the updater's to open, once the person chose it.
    EXPECT_EQ(browser.openedUrls().size(), 1);
}

TEST(UpdateDialog, OutcomesAreAcknowledgedAndShowFeedTextAsPlainText)
{
    const struct {
        const char *name;
        bool upToDate;
        QString text;
        QString title;
    } cases[] = {
        {"up to date", true, QStringLiteral("vantle 0.1.0 is the newest version available."),
         QStringLiteral("You're up to date")},
        {"error", false, QStringLiteral("The update feed could not be read."),
         QStringLiteral("Couldn't check for updates")},
        {"markup stays text", false, QStringLiteral("<b>bold</b> <a href=\"https://evil.test\">x</a>"),
         QStringLiteral("Couldn't check for updates")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DialogUpdaterUserDriver driver;
        int acknowledged = 0;
        const UpdaterError error = UpdaterError::updater(
            c.upToDate ? UpdaterError::Code::noUpdateFound : UpdaterError::Code::feedUnreadable, c.text);
        if (c.upToDate)
            driver.showUpdateNotFound(error, [&]() { ++acknowledged; });
        else
            driver.showUpdaterError(error, [&]() { ++acknowledged; });
        UpdateDialog *dialog = driver.currentDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->titleText(), c.title);
        auto *body = dialog->findChild<QLabel *>(QStringLiteral("updateBody"));
        EXPECT_EQ(body->text(), c.text);
        EXPECT_EQ(body->textFormat(), Qt::PlainText);
        EXPECT_EQ(button(dialog, "downloadButton"), nullptr);
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
        EXPECT_TRUE(TestSupport::waitUntil([&] { return acknowledged > 0; }));
        EXPECT_EQ(acknowledged, 1);
    }
}

TEST(UpdateDialog, DismissingClosesWithoutAnsweringAndANewWindowReplacesTheOld)
{
    DialogUpdaterUserDriver driver;
    int answers = 0;
    driver.showUpdateFound(offer(QString(), QUrl()), UpdateCheck::background, [&](Choice) { ++answers; });
    QPointer<UpdateDialog> first = driver.currentDialog();
    driver.showUpdaterError(UpdaterError::updater(UpdaterError::Code::feedUnreadable, QStringLiteral("x")),
                            [&]() { ++answers; });
    QPointer<UpdateDialog> second = driver.currentDialog();
    EXPECT_NE(first, second);
    driver.dismiss();
    EXPECT_TRUE(TestSupport::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return first.isNull() && second.isNull();
    }));
    EXPECT_EQ(answers, 0);
}

// The dialog opens in front of the window that asked for it, over it and not behind it.
TEST(UpdateDialog, OpensOverTheWindowThatAsked)
{
    QWidget settings;
    settings.resize(440, 500);
    settings.show();
    settings.activateWindow();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return QApplication::activeWindow() == &settings; }));
    DialogUpdaterUserDriver driver;
    driver.showUpdaterError(UpdaterError::updater(UpdaterError::Code::feedUnreadable, QStringLiteral("x")), [] {});
    UpdateDialog *dialog = driver.currentDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->parentWidget(), &settings);
    EXPECT_TRUE(dialog->isWindow());
    EXPECT_EQ(dialog->windowHandle()->transientParent(), settings.windowHandle());
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
    driver.dismiss();
}

// An alert over the window is no parent: closing it would take the dialog along, and the
// updater would wait for an answer for good.
TEST(UpdateDialog, AnAlertInFrontIsNoParent)
{
    QWidget settings;
    settings.show();
    auto *alert = new QMessageBox(QMessageBox::Question, QStringLiteral("Reset"), QStringLiteral("?"),
                                  QMessageBox::Cancel, &settings);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->show();
    alert->activateWindow();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return QApplication::activeWindow() == alert; }));
    DialogUpdaterUserDriver driver;
    int answers = 0;
    driver.showUpdaterError(UpdaterError::updater(UpdaterError::Code::feedUnreadable, QStringLiteral("x")),
                            [&] { ++answers; });
    QPointer<UpdateDialog> dialog = driver.currentDialog();
    EXPECT_EQ(dialog->parentWidget(), &settings);
    QPointer<QMessageBox> gone = alert;
    alert->close();
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return gone.isNull();
    }));
    ASSERT_TRUE(dialog);
    dialog->reject();
    EXPECT_EQ(answers, 1);
}

} // namespace

