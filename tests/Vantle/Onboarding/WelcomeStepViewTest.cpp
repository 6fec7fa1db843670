// The welcome step drawn like every other view: one point of the design is one pixel.

#include "Vantle/Onboarding/WelcomeAccentButton.h"
#include "Vantle/Onboarding/WelcomeCheckboxRow.h"
#include "Vantle/Onboarding/WelcomeConsent.h"
#include "Vantle/Onboarding/WelcomeStepView.h"
#include "Vantle/Utilities/Theme.h"
#include "support/TabStops.h"
#include "support/TaskRunner.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

namespace {

TEST(WelcomeStepView, TextIsAsLargeAsTheDesignSaysInPixels)
{
    WelcomeStepView view(QUrl(QStringLiteral("https://orvalen.test/terms/vantle")),
                         QUrl(QStringLiteral("https://orvalen.test/privacy/vantle")));
    view.resize(960, 680);
    view.show();
    WelcomeCheckboxRow *newsletter = view.row(WelcomeConsent::studioListSlug);
    const struct {
        const char *what;
        const QWidget *widget;
        int pixels;
    } cases[] = {
        {"title", view.findChild<QLabel *>(QStringLiteral("title")), 17},
        {"consent sentence", view.termsLabel(), 13},
        {"app box", view.row(WelcomeConsent::appListSlug)->findChild<QLabel *>(), 13},
        {"newsletter box", newsletter->findChild<QLabel *>(), 13},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.widget, nullptr);
        EXPECT_EQ(QFontInfo(c.widget->font()).pixelSize(), c.pixels);
    }
    // A 14-pixel title with 12 pixels above and below it.
    EXPECT_LE(view.continueButton()->height(), 42);
    // The longer label fits its line of the 380-pixel column.
    const QLabel *label = newsletter->findChild<QLabel *>();
    EXPECT_LT(label->height(), 2 * QFontMetrics(label->font()).lineSpacing()) << "the newsletter line wraps";
}

// A box the keyboard is on has its ring all round, the sides nearest the card's edge too:
// each side of the ring is looked for in the row's own picture.
TEST(WelcomeStepView, TheKeyboardsRingGoesAllRoundTheBox)
{
    WelcomeStepView view(QUrl(QStringLiteral("https://orvalen.test/terms/vantle")),
                         QUrl(QStringLiteral("https://orvalen.test/privacy/vantle")));
    view.resize(960, 680);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    WelcomeCheckboxRow *row = view.row(WelcomeConsent::appListSlug);
    row->setFocus(Qt::TabFocusReason);
    const QImage picture = row->grab().toImage();
    const QImage unfocused = [&] {
        row->clearFocus();
        return row->grab().toImage();
    }();
    // Columns left of the box and rows above it: the ring differs there, or it was cut off.
    const int box = WelcomeCheckboxRow::ringRoom;
    const auto differs = [&](QRect strip) {
        for (int y = strip.top(); y <= strip.bottom(); ++y) {
            for (int x = strip.left(); x <= strip.right(); ++x) {
                if (picture.pixel(x, y) != unfocused.pixel(x, y))
                    return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(differs(QRect(0, box + 4, box, 12))) << "left of the box";
    EXPECT_TRUE(differs(QRect(box + 4, 0, 12, box))) << "above the box";
    EXPECT_TRUE(differs(QRect(box + 20, box + 4, box, 12))) << "right of the box";
    EXPECT_TRUE(differs(QRect(box + 4, box + 20, 12, box))) << "below the box";
}

// The Tab stops are those that show where the keyboard is: the sentence's two links, the two
// boxes and Continue, in that order, and nothing more (no stop on the step's scroll area, nor
// on the sentence before its first link). Return presses a focused box, and otherwise
// Continue, the step's main button, also before anything shows the focus.
TEST(WelcomeStepView, EveryTabStopShowsAndReturnPressesContinue)
{
    WelcomeStepView view(QUrl(QStringLiteral("https://orvalen.test/terms/vantle")),
                         QUrl(QStringLiteral("https://orvalen.test/privacy/vantle")));
    view.resize(960, 680);
    QSignalSpy continued(&view, &WelcomeStepView::continueTapped);
    QSignalSpy tapped(&view, &WelcomeStepView::optInTapped);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));

    QTest::keyClick(view.windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return continued.count() == 1; }));

    WelcomeCheckboxRow *app = view.row(WelcomeConsent::appListSlug);
    WelcomeCheckboxRow *studio = view.row(WelcomeConsent::studioListSlug);
    // The sentence twice, once for each link: Tab into it lands on the first.
    EXPECT_EQ(TestSupport::pressTab(&view, 6), (QList<QWidget *>{view.termsLabel(), view.termsLabel(), app, studio,
                                                                 view.continueButton(), view.termsLabel()}));
    app->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view.windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return tapped.count() == 1; }));
    EXPECT_EQ(tapped.takeFirst().value(0).toString(), WelcomeConsent::appListSlug);
    view.continueButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view.windowHandle(), Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return continued.count() == 2; }));
    EXPECT_TRUE(tapped.isEmpty());
}

// A box sits on the middle of its text line, not above it: the middle of the box's rows and
// the middle of the rows the label's letters ink lie within 2 pixels.
TEST(WelcomeStepView, EachBoxSitsOnTheMiddleOfItsLine)
{
    WelcomeStepView view(QUrl(QStringLiteral("https://orvalen.test/terms/vantle")),
                         QUrl(QStringLiteral("https://orvalen.test/privacy/vantle")));
    view.resize(960, 680);
    view.setMarketing(WelcomeConsent::allListSlugs(), true, true);
    QPalette canvas = view.palette(); // the gate's, as a person sees the step
    canvas.setColor(QPalette::Window, Theme::canvas);
    view.setPalette(canvas);
    view.show();
    for (const QString &slug : {WelcomeConsent::appListSlug, WelcomeConsent::studioListSlug}) {
        SCOPED_TRACE(slug.toStdString());
        const QImage picture = view.row(slug)->grab().toImage();
        const QColor background(picture.pixel(picture.width() - 2, picture.height() / 2));
        // Twice the middle of the rows where columns [from, to) hold anything but background.
        const auto middle = [&](int from, int to) {
            int first = -1, last = -1;
            for (int y = 0; y < picture.height(); ++y) {
                for (int x = from; x < to; ++x) {
                    const QColor c(picture.pixel(x, y));
                    if (qAbs(c.red() - background.red()) + qAbs(c.green() - background.green()) > 150) {
                        first = first < 0 ? y : first;
                        last = y;
                        break;
                    }
                }
            }
            return first + last;
        };
        const int box = WelcomeCheckboxRow::ringRoom + 3;
        const QLabel *label = view.row(slug)->findChild<QLabel *>();
        EXPECT_LE(qAbs(middle(box, box + 1) - middle(label->x(), label->x() + label->width() - 4)), 4);
    }
}

// A capture names the account only by an identifier with the exact prefix "oa_" as stored,
// and the application only in its own list's capture.
TEST(WelcomeConsent, ACaptureNamesOnlyAnAccountIdentifier)
{
    const struct {
        QString listSlug;
        QString accountID;
        bool namesAccount;
        bool namesApp;
    } cases[] = {
        {WelcomeConsent::appListSlug, QStringLiteral("oa_01890a5d"), true, true},
        {WelcomeConsent::studioListSlug, QStringLiteral("oa_01890a5d"), true, false},
        {WelcomeConsent::appListSlug, QStringLiteral("OA_01890A5D"), false, true},
        {WelcomeConsent::appListSlug, QStringLiteral(" oa_01890a5d"), false, true},
        {WelcomeConsent::studioListSlug, QString(), false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.listSlug + QLatin1Char(' ') + c.accountID).toStdString());
        WelcomeConsent::CaptureInput input;
        input.email = QStringLiteral("a@example.test");
        input.listSlug = c.listSlug;
        input.accountID = c.accountID;
        input.appSlug = QStringLiteral("vantle");
        const QJsonObject body = WelcomeConsent::captureBody(input);
        EXPECT_EQ(body.value(QStringLiteral("orvalen_account_id")).toString(), c.namesAccount ? c.accountID : QString());
        EXPECT_EQ(body.contains(QStringLiteral("orvalen_account_id")), c.namesAccount);
        EXPECT_EQ(body.contains(QStringLiteral("app_slug")), c.namesApp);
    }
}

} // namespace
