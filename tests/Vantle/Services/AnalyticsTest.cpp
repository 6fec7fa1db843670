#include "Vantle/Services/Analytics.h"

#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "tools/fakes/FakeCaptureService.h"
#include "support/TaskRunner.h"

#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using Fakes::FakeCaptureService;
using TestSupport::waitUntil;

namespace {

class AnalyticsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KeychainHelper::setKeychain(m_keychain);
        OrvalenInstallMetrics::setKeychain(m_keychain);
        Preferences::setStandard(m_preferences);
        Analytics::forgetCachedIdentifiers();
        qputenv("VANTLE_ANALYTICS_URL", m_capture.analyticsURL().toString().toUtf8());
        qputenv("VANTLE_ANALYTICS_KEY", "test-project-key");
        m_capture.setAcceptedKey(QStringLiteral("test-project-key"));
    }
    void TearDown() override
    {
        Analytics::setContextProvider({});
        Analytics::setAppEventSink({});
        Analytics::forgetCachedIdentifiers();
        KeychainHelper::setKeychain(nullptr);
        OrvalenInstallMetrics::setKeychain(nullptr);
        Preferences::setStandard(nullptr);
        qunsetenv("VANTLE_ANALYTICS_URL");
        qunsetenv("VANTLE_ANALYTICS_KEY");
    }

    std::optional<QString> stored(const QString &key) { return KeychainHelper::load(key); }

    // The names of the first `count` events to arrive, sorted: uploads run side by side, so
    // they may arrive in any order.
    QStringList arrived(qsizetype count)
    {
        EXPECT_TRUE(waitUntil([this, count] { return m_capture.events().size() >= count; }));
        QStringList names = m_capture.eventNames();
        names.sort();
        return names;
    }

    QJsonObject eventNamed(const QString &name) const
    {
        for (const QJsonObject &event : m_capture.events()) {
            if (event.value(QStringLiteral("event")).toString() == name)
                return event;
        }
        return {};
    }

    std::shared_ptr<InMemoryKeychain> m_keychain = std::make_shared<InMemoryKeychain>();
    std::shared_ptr<InMemoryPreferences> m_preferences = std::make_shared<InMemoryPreferences>();
    FakeCaptureService m_capture;
};

TEST_F(AnalyticsTest, TheAnonymousIdentifierIsKeptMovedFromTheLegacyItemOrMade)
{
    struct Case {
        const char *name;
        std::optional<QString> current;
        std::optional<QString> legacy;
        std::optional<QString> expected; // nothing: a fresh "dev_" + UUID
        bool legacyRemains;
    };
    const Case cases[] = {
        {"current kept", QStringLiteral("dev_0f1e"), QStringLiteral("OLD"), QStringLiteral("dev_0f1e"), true},
        {"legacy without prefix: prefixed and lower-cased", std::nullopt, QStringLiteral("ABC-Def"),
         QStringLiteral("dev_abc-def"), false},
        {"legacy with prefix kept as it is", std::nullopt, QStringLiteral("dev_MiXed"), QStringLiteral("dev_MiXed"),
         false},
        {"current without prefix gives way to legacy", QStringLiteral("garbage"), QStringLiteral("x1"),
         QStringLiteral("dev_x1"), false},
        {"empty legacy ignored", std::nullopt, QString(), std::nullopt, true},
        {"nothing stored", std::nullopt, std::nullopt, std::nullopt, false},
    };
    static const QRegularExpression fresh(
        QStringLiteral("^dev_[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        KeychainHelper::remove(Analytics::anonymousDistinctIDKey);
        KeychainHelper::remove(Analytics::legacyDistinctIDKey);
        if (c.current)
            KeychainHelper::save(*c.current, Analytics::anonymousDistinctIDKey);
        if (c.legacy)
            KeychainHelper::save(*c.legacy, Analytics::legacyDistinctIDKey);
        Analytics::forgetCachedIdentifiers();

        const QString id = Analytics::anonymousDistinctID();
        if (c.expected)
            EXPECT_EQ(id, *c.expected);
        else
            EXPECT_TRUE(fresh.match(id).hasMatch()) << id.toStdString();
        EXPECT_EQ(stored(Analytics::anonymousDistinctIDKey), id) << "stored under the current key";
        EXPECT_EQ(stored(Analytics::legacyDistinctIDKey).has_value(), c.legacyRemains);
        Analytics::forgetCachedIdentifiers();
        EXPECT_EQ(Analytics::anonymousDistinctID(), id) << "stable across launches";
    }
}

TEST_F(AnalyticsTest, OptingOutSendsNothingAndDeletesTheIdentifiersAtOnce)
{
    int mirrored = 0;
    Analytics::setAppEventSink([&mirrored](const QString &, const Analytics::Properties &) { ++mirrored; });
    const QString before = Analytics::anonymousDistinctID();
    KeychainHelper::save(QStringLiteral("legacy"), Analytics::legacyDistinctIDKey);

    Analytics::setOptedOut(true);
    EXPECT_TRUE(m_preferences->boolValue(Analytics::optOutKey));
    EXPECT_FALSE(stored(Analytics::anonymousDistinctIDKey));
    EXPECT_FALSE(stored(Analytics::legacyDistinctIDKey));

    Analytics::track(QStringLiteral("settings_viewed"));
    Analytics::track(QStringLiteral("sign_in_completed"), {{QStringLiteral("method"), QStringLiteral("orvalen_account")}});
    Analytics::identify(QStringLiteral("oa_0190"));
    EXPECT_EQ(mirrored, 0) << "nothing reaches the mirror either";

    Analytics::setOptedOut(false);
    const QString after = Analytics::anonymousDistinctID();
    EXPECT_NE(after, before) << "opting in again starts a fresh identity";
    EXPECT_EQ(stored(Analytics::anonymousDistinctIDKey), after);
    // Whether to send is decided when an event is tracked: anything sent while opted out
    // would have been on its way before this one.
    Analytics::track(QStringLiteral("marker"));
    EXPECT_EQ(arrived(1), QStringList{QStringLiteral("vantle_marker")});
    TestSupport::spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(m_capture.requests().size(), 1);
}

TEST_F(AnalyticsTest, EventsCarryCommonContextAndOwnPropertiesAndMirrorByTable)
{
    QList<std::pair<QString, Analytics::Properties>> mirrored;
    Analytics::setAppEventSink([&mirrored](const QString &name, const Analytics::Properties &properties) {
        mirrored.append({name, properties});
    });
    Analytics::setContextProvider([] {
        return Analytics::Properties{{QStringLiteral("auth_state"), QStringLiteral("signed_out")},
                                     {QStringLiteral("surface"), QStringLiteral("context")}};
    });

    struct Case {
        const char *event;
        std::optional<const char *> canonical;
    };
    // Every event the application tracks: the identity service sees the milestones of an
    // install and an account (first opened, signed in, through the first-run gate), none
    // of the rest.
    const Case cases[] = {
        {"app_first_opened", "app_first_opened"},
        {"sign_in_completed", "sign_in_completed"},
        {"onboarding_completed", "onboarding_completed"},
        {"app_relaunched", std::nullopt},
        {"auth_started", std::nullopt},
        {"auth_completed", std::nullopt},
        {"auth_failed", std::nullopt},
        {"login_screen_shown", std::nullopt},
        {"welcome_consent_submitted", std::nullopt},
        {"welcome_terms_capture_failed", std::nullopt},
        {"welcome_marketing_capture_skipped", std::nullopt},
        {"timer_started", std::nullopt},
        {"settings_viewed", std::nullopt},
        {"settings_reset_local_data", std::nullopt},
        {"beta_updates_setting_changed", std::nullopt},
        {"meetings_setting_changed", std::nullopt},
    };
    for (const Case &c : cases)
        Analytics::track(QString::fromLatin1(c.event), {{QStringLiteral("surface"), QStringLiteral("menu_bar")},
                                                        {QStringLiteral("enabled"), true}});
    Analytics::identify(QStringLiteral("user_without_prefix"));
    Analytics::identify(QStringLiteral("oa_0190a5d-ac96"));

    QStringList expectedNames;
    for (const Case &c : cases)
        expectedNames.append(QStringLiteral("vantle_") + QString::fromLatin1(c.event));
    expectedNames.append(QStringLiteral("$identify"));
    expectedNames.sort();
    // The identifier without "oa_" sent nothing: one $identify only.
    EXPECT_EQ(arrived(expectedNames.size()), expectedNames);

    const QString anonymous = Analytics::anonymousDistinctID();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.event);
        const QJsonObject event = eventNamed(QStringLiteral("vantle_") + QString::fromLatin1(c.event));
        const QJsonObject properties = event.value(QStringLiteral("properties")).toObject();
        EXPECT_EQ(event.value(QStringLiteral("api_key")).toString(), QStringLiteral("test-project-key"));
        EXPECT_EQ(event.value(QStringLiteral("distinct_id")).toString(), anonymous);
        EXPECT_EQ(properties.value(QStringLiteral("platform")).toString(), QStringLiteral("linux"));
        EXPECT_EQ(properties.value(QStringLiteral("app")).toString(), QStringLiteral("vantle"));
        EXPECT_EQ(properties.value(QStringLiteral("auth_state")).toString(), QStringLiteral("signed_out"));
        EXPECT_EQ(properties.value(QStringLiteral("surface")).toString(), QStringLiteral("menu_bar"))
            << "the event's own value wins over the context's";
        EXPECT_TRUE(properties.value(QStringLiteral("enabled")).toBool());
    }
    const QJsonObject identify = eventNamed(QStringLiteral("$identify"));
    EXPECT_EQ(identify.value(QStringLiteral("distinct_id")).toString(), QStringLiteral("oa_0190a5d-ac96"));
    EXPECT_EQ(identify.value(QStringLiteral("properties")).toObject().value(QStringLiteral("$anon_distinct_id")).toString(),
              anonymous);

    QStringList mirroredNames;
    for (const auto &[name, properties] : mirrored) {
        mirroredNames.append(name);
        EXPECT_EQ(properties.value(QStringLiteral("surface")).toString(), QStringLiteral("menu_bar"));
    }
    QStringList expectedMirror;
    for (const Case &c : cases) {
        if (c.canonical)
            expectedMirror.append(QString::fromLatin1(*c.canonical));
    }
    EXPECT_EQ(mirroredNames, expectedMirror);
}

TEST_F(AnalyticsTest, TheInstallIdentifierIsTheAccountLayersAndStaysPut)
{
    const QString id = Analytics::cachedInstallID();
    EXPECT_EQ(id, OrvalenInstallMetrics::installID(QStringLiteral("vantle"), m_keychain));
    m_keychain->failAlways(InMemoryKeychain::Op::copyMatching, KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(Analytics::cachedInstallID(), id) << "read once per process, not on every call";
}

} // namespace
