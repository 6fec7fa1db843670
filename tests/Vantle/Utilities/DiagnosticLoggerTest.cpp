#include "Vantle/Utilities/DiagnosticLogger.h"

#include "Platform/Preferences.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

const QDateTime now = QDateTime::fromSecsSinceEpoch(1714550400, Qt::UTC);

class DiagnosticLoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Preferences::setStandard(m_preferences);
        DiagnosticLogger::setClock([] { return now; });
        DiagnosticLogger::watch();
    }
    void TearDown() override
    {
        DiagnosticLogger::setClock({});
        Preferences::setStandard(nullptr);
        DiagnosticLogger::watch();
    }

    std::shared_ptr<InMemoryPreferences> m_preferences = std::make_shared<InMemoryPreferences>();
};

TEST_F(DiagnosticLoggerTest, VerboseLastsLessThanADayFromWhenItWasTurnedOn)
{
    struct Case {
        const char *name;
        bool flag;
        std::optional<double> at; // seconds before `now`; nothing: key absent
        bool active;
        bool flagAfter;
    };
    const double t = static_cast<double>(now.toSecsSinceEpoch());
    const Case cases[] = {
        {"just turned on", true, t, true, true},
        {"86,399 s ago", true, t - 86399, true, true},
        {"86,399.9 s ago", true, t - 86399.9, true, true},
        {"86,400 s ago: lapsed and stored off", true, t - 86400, false, false},
        {"a week ago", true, t - 7 * 86400, false, false},
        {"a second in the future: a clock set back cannot stretch the window", true, t + 1, false, false},
        {"no time stored", true, std::nullopt, false, true},
        {"time zero", true, 0.0, false, true},
        {"negative time", true, -5.0, false, true},
        {"flag off", false, t - 10, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_preferences->setValue(DiagnosticLogger::enabledKey, c.flag);
        if (c.at)
            m_preferences->setValue(DiagnosticLogger::enabledAtKey, *c.at);
        else
            m_preferences->remove(DiagnosticLogger::enabledAtKey);
        EXPECT_EQ(DiagnosticLogger::isVerboseActive(), c.active);
        EXPECT_EQ(m_preferences->boolValue(DiagnosticLogger::enabledKey), c.flagAfter);
    }
}

TEST_F(DiagnosticLoggerTest, SwitchingStoresTheFlagAndItsTimeAndTheLogFollows)
{
    DiagnosticLogger::setVerbose(true);
    EXPECT_TRUE(m_preferences->boolValue(DiagnosticLogger::enabledKey));
    EXPECT_DOUBLE_EQ(m_preferences->doubleValue(DiagnosticLogger::enabledAtKey), now.toSecsSinceEpoch());
    EXPECT_TRUE(DiagnosticLogger::isVerboseActive());

    DiagnosticLogger::setVerbose(false);
    EXPECT_FALSE(m_preferences->boolValue(DiagnosticLogger::enabledKey, true));
    EXPECT_FALSE(m_preferences->contains(DiagnosticLogger::enabledAtKey));
    EXPECT_FALSE(DiagnosticLogger::verboseActiveNow());

    // The log writer's view follows writes made anywhere, by the real clock.
    const double real = static_cast<double>(QDateTime::currentSecsSinceEpoch());
    m_preferences->setValue(DiagnosticLogger::enabledKey, true);
    m_preferences->setValue(DiagnosticLogger::enabledAtKey, real - 100);
    EXPECT_TRUE(DiagnosticLogger::verboseActiveNow());
    m_preferences->setValue(DiagnosticLogger::enabledAtKey, real - 90000);
    EXPECT_FALSE(DiagnosticLogger::verboseActiveNow());
}

} // namespace
