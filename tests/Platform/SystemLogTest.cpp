#include "Platform/JournalSystemLog.h"
#include "Platform/RecordingSystemLog.h"
#include "Platform/SystemLog.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class SystemLogTest : public ::testing::Test {
protected:
    void SetUp() override { SystemLog::setSink(m_recording); }
    void TearDown() override
    {
        SystemLog::setRouter({});
        SystemLog::setSink(nullptr);
    }

    std::shared_ptr<RecordingSystemLog> m_recording = std::make_shared<RecordingSystemLog>();
};

TEST_F(SystemLogTest, EntriesCarryPriorityIdentifierSubsystemAndCategory)
{
    struct Case {
        SystemLogLevel level;
        QByteArray priority;
    };
    const Case cases[] = {
        {SystemLogLevel::debug, "7"},
        {SystemLogLevel::info, "6"},
        {SystemLogLevel::warn, "4"},
        {SystemLogLevel::error, "3"},
    };
    for (const Case &c : cases) {
        m_recording->clear();
        SystemLog::write(c.level, QStringLiteral("dev.orvalen.account"), QStringLiteral("session"),
                         QStringLiteral("session persist after refresh failed: 100% full\nsecond line"));
        const auto records = m_recording->records();
        ASSERT_EQ(records.size(), 1);
        const auto &r = records.first();
        EXPECT_EQ(r.field("PRIORITY"), c.priority);
        EXPECT_EQ(r.field("SYSLOG_IDENTIFIER"), QByteArray("vantle"));
        EXPECT_EQ(r.field("SUBSYSTEM"), QByteArray("dev.orvalen.account"));
        EXPECT_EQ(r.field("CATEGORY"), QByteArray("session"));
        // The message goes whole, newline and "%" included: no format string is involved.
        EXPECT_EQ(r.field("MESSAGE"), QByteArray("session persist after refresh failed: 100% full\nsecond line"));
    }
}

TEST_F(SystemLogTest, NulCharactersNeverCutAField)
{
    SystemLog::write(SystemLogLevel::info, QStringLiteral("dev.orvalen.vantle"), QStringLiteral("auth"),
                     QString::fromUtf8("before\0after", 12));
    ASSERT_EQ(m_recording->records().size(), 1);
    EXPECT_EQ(m_recording->records().first().field("MESSAGE"), QByteArray("beforeafter"));
}

TEST_F(SystemLogTest, AnInstalledRouterTakesTheLinesOfLowerLayers)
{
    QList<SystemLogEntry> routed;
    SystemLog::setRouter([&routed](const SystemLogEntry &entry) { routed.append(entry); });
    SystemLog::write(SystemLogLevel::error, QStringLiteral("dev.orvalen.account"), QStringLiteral("session"),
                     QStringLiteral("x"));
    ASSERT_EQ(routed.size(), 1);
    EXPECT_EQ(routed.first().category, QStringLiteral("session"));
    EXPECT_TRUE(m_recording->records().isEmpty()) << "the router decides; the sink is not written twice";
}

// Runs wherever a journal listens (a developer's machine); a container without one skips.
TEST(JournalSystemLog, WritesToTheJournalWhenOneListens)
{
    if (!JournalSystemLog::isAvailable())
        GTEST_SKIP() << "no journal socket on this machine";
    const int result = JournalSystemLog::send(SystemLogEntry{SystemLogLevel::info, QStringLiteral("dev.orvalen.vantle"),
                                                             QStringLiteral("lifecycle"),
                                                             QStringLiteral("journal_write_check")});
    EXPECT_EQ(result, 0);
}

} // namespace
