#include "Platform/UrlOpener.h"
#include "tools/fakes/FakeBrowser.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlOpener, WebAddressesReachTheBrowserAndRelativeOnesNothing)
{
    Fakes::FakeBrowser browser([](const QUrl &) { return false; });
    browser.setMode(Fakes::FakeBrowser::Mode::ignore);
    const struct {
        const char *url;
        bool opened;
    } cases[] = {
        {"https://auth.example/authorize?x=a%2Bb", true},
        {"http://127.0.0.1:9/authorize", true},
        {"/authorize", false},
        {"auth.example/authorize", false},
        {"", false},
        {"http://[::1", false},
    };
    QList<QUrl> expected;
    for (const auto &c : cases) {
        const QUrl url(QString::fromLatin1(c.url));
        EXPECT_EQ(UrlOpener::open(url), c.opened) << c.url;
        if (c.opened)
            expected.append(url);
    }
    EXPECT_EQ(browser.openedUrls(), expected);
    // The query reaches the browser exactly as encoded.
    EXPECT_EQ(browser.openedUrls().value(0).query(QUrl::FullyEncoded), QStringLiteral("x=a%2Bb"));
}

} // namespace
