#include "Vantle/Utilities/LogCenter.h"

#include "Platform/RecordingSystemLog.h"
#include "Vantle/Utilities/Log.h"
#include "support/TaskRunner.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace {

QList<QJsonObject> fileRecords(const QStringList &files)
{
    QList<QJsonObject> out;
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (!line.isEmpty())
                out.append(QJsonDocument::fromJson(line).object());
        }
    }
    return out;
}

// Lines of the log files, joined by '|'.
std::string storedMessages(const LogCenter &center)
{
    QStringList messages;
    for (const QJsonObject &record : fileRecords(center.logFiles()))
        messages.append(record.value(QStringLiteral("message")).toString());
    return messages.join(u'|').toStdString();
}

void say(LogCenter &center, QAnyStringView message, SystemLogLevel level = SystemLogLevel::info)
{
    center.submit(level, Log::appSubsystem, QStringLiteral("x"), message.toString());
}

// A journal that holds the writer inside the write of each line named `holdOn` until that
// line is released, so that lines queue up behind it; it keeps what it was given.
class HeldSink final : public SystemLogSink {
public:
    explicit HeldSink(QStringList holdOn) : m_holdOn(std::move(holdOn)) {}

    void write(const SystemLogEntry &entry) noexcept override
    {
        std::unique_lock lock(m_mutex);
        m_messages.append(entry.message);
        m_changed.notify_all();
        if (m_holdOn.contains(entry.message))
            m_changed.wait(lock, [&] { return m_released.contains(entry.message); });
    }
    // Waits until the writer has reached `message`; false after a minute.
    bool waitFor(QAnyStringView message)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::minutes(1), [&] { return m_messages.contains(message.toString()); });
    }
    void release(QAnyStringView message)
    {
        std::lock_guard lock(m_mutex);
        m_released.append(message.toString());
        m_changed.notify_all();
    }
    std::string written() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages.join(u'|').toStdString();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    const QStringList m_holdOn;
    QStringList m_released;
    QStringList m_messages;
};

class LogCenterTest : public ::testing::Test {
protected:
    void SetUp() override { SystemLog::setSink(m_journal); }
    void TearDown() override { SystemLog::setSink(nullptr); }

    LogCenter::Settings settings(qsizetype ringLines = 100)
    {
        LogCenter::Settings s;
        s.directory = m_dir.filePath(QStringLiteral("logs"));
        s.ringLines = ringLines;
        s.keepDebug = [this] { return m_verbose.load(); };
        return s;
    }

    QTemporaryDir m_dir;
    std::shared_ptr<RecordingSystemLog> m_journal = std::make_shared<RecordingSystemLog>();
    std::atomic<bool> m_verbose{false};
};

TEST_F(LogCenterTest, EveryLineIsRedactedBeforeAnySinkSeesIt)
{
    LogCenter center(settings());
    QList<LogRecord> telemetry;
    std::mutex mutex;
    center.setTelemetrySink([&](const LogRecord &r) {
        std::lock_guard lock(mutex);
        telemetry.append(r);
    });
    center.submit(SystemLogLevel::warn, Log::appSubsystem, QStringLiteral("auth"),
                  QStringLiteral("refresh_failed Authorization: Bearer oas_1_secret user=a@b.test"));
    ASSERT_TRUE(center.drain());
    const QString expected = QStringLiteral("refresh_failed Authorization: Bearer <redacted> user=<email>");

    ASSERT_EQ(m_journal->records().size(), 1);
    EXPECT_EQ(m_journal->records().first().field("MESSAGE"), expected.toUtf8());
    EXPECT_EQ(center.ring().snapshot().first().message, expected);
    const auto stored = fileRecords(center.logFiles());
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored.first().value(QStringLiteral("message")).toString(), expected);
    EXPECT_EQ(stored.first().value(QStringLiteral("category")).toString(), QStringLiteral("auth"));
    EXPECT_EQ(stored.first().value(QStringLiteral("level")).toString(), QStringLiteral("warn"));
    ASSERT_EQ(telemetry.size(), 1);
    EXPECT_EQ(telemetry.first().message, expected);
}

TEST_F(LogCenterTest, LevelsDecideWhereALineGoes)
{
    struct Case {
        SystemLogLevel level;
        bool verbose;
        bool kept;       // ring and files
        bool telemetry;
    };
    const Case cases[] = {
        {SystemLogLevel::debug, false, false, false},
        {SystemLogLevel::debug, true, true, false},
        {SystemLogLevel::info, false, true, false},
        {SystemLogLevel::warn, false, true, true},
        {SystemLogLevel::error, false, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(LogRecord::levelName(c.level).toStdString() + (c.verbose ? " verbose" : ""));
        QTemporaryDir dir;
        LogCenter::Settings s = settings();
        s.directory = dir.path();
        LogCenter center(s);
        std::atomic<int> telemetry{0};
        center.setTelemetrySink([&](const LogRecord &) { ++telemetry; });
        m_journal->clear();
        m_verbose = c.verbose;
        center.submit(c.level, Log::appSubsystem, QStringLiteral("ledger"), QStringLiteral("line"));
        ASSERT_TRUE(center.drain());
        EXPECT_EQ(m_journal->records().size(), 1) << "the journal takes every level";
        EXPECT_EQ(center.ring().size(), c.kept ? 1 : 0);
        EXPECT_EQ(fileRecords(center.logFiles()).size(), c.kept ? 1 : 0);
        EXPECT_EQ(telemetry.load(), c.telemetry ? 1 : 0);
    }
}

TEST_F(LogCenterTest, TheRingKeepsOnlyTheNewestLines)
{
    LogCenter center(settings(/*ringLines=*/3));
    for (int i = 0; i < 10; ++i)
        center.submit(SystemLogLevel::info, Log::appSubsystem, QStringLiteral("ledger"), QStringLiteral("n=%1").arg(i));
    ASSERT_TRUE(center.drain());
    const auto ring = center.ring().snapshot();
    ASSERT_EQ(ring.size(), 3);
    EXPECT_EQ(ring.at(0).message, QStringLiteral("n=7"));
    EXPECT_EQ(ring.at(2).message, QStringLiteral("n=9"));
    EXPECT_EQ(fileRecords(center.logFiles()).size(), 10) << "the files keep what the ring lets go";
    // The ring's text form is JSON lines too, oldest first.
    const QList<QByteArray> lines = center.ring().toJsonLines().split('\n');
    EXPECT_EQ(QJsonDocument::fromJson(lines.first()).object().value(QStringLiteral("message")).toString(),
              QStringLiteral("n=7"));
}

TEST_F(LogCenterTest, AMegabyteLineIsCutToTheLimit)
{
    LogCenter center(settings());
    center.submit(SystemLogLevel::info, Log::appSubsystem, QStringLiteral("x"), QString(1 << 20, QLatin1Char('z')));
    ASSERT_TRUE(center.drain());
    const auto stored = fileRecords(center.logFiles());
    ASSERT_EQ(stored.size(), 1);
    const QString message = stored.first().value(QStringLiteral("message")).toString();
    EXPECT_EQ(message.size(), LogCenter::maxMessageLength);
    EXPECT_TRUE(message.endsWith(QStringLiteral(" \u2026 [truncated]")));
}

// A long line is redacted whole and cut afterwards: a cut through an address or a token
// would leave a piece no rule recognises.
TEST_F(LogCenterTest, ALongLineIsRedactedBeforeItIsCut)
{
    const QString address = QString::fromUtf8("jos\xC3\xA9.garc\xC3\xAD" "a@example.com");
    const qsizetype kept = LogCenter::maxMessageLength - QStringLiteral(" \u2026 [truncated]").size();
    const struct {
        const char *name;
        QString line;
    } cases[] = {
        {"an address across the cut", QString(kept - 6, QLatin1Char('x')) + QLatin1Char(',') + address + " tail"},
        {"a token across the cut", QString(kept - 12, QLatin1Char('x')) + QStringLiteral(",Bearer abcdefghijklmnop")},
        {"an address where a very long line is first cut",
         QString(LogCenter::maxQueuedMessageLength - 5, QLatin1Char('x')) + QLatin1Char(' ') + address},
    };
    LogCenter center(settings());
    for (const auto &c : cases)
        center.submit(SystemLogLevel::info, Log::appSubsystem, QStringLiteral("x"), c.line);
    ASSERT_TRUE(center.drain());
    const auto stored = fileRecords(center.logFiles());
    ASSERT_EQ(stored.size(), std::size(cases));
    for (qsizetype i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const QString message = stored.at(i).value(QStringLiteral("message")).toString();
        EXPECT_LE(message.size(), LogCenter::maxMessageLength);
        EXPECT_FALSE(message.contains(QStringLiteral("jos")));
        EXPECT_FALSE(message.contains(QStringLiteral("abcd")));
    }
    EXPECT_TRUE(stored.at(2).value(QStringLiteral("message")).toString().endsWith(QStringLiteral("[truncated]")));
}

TEST_F(LogCenterTest, TheFacadeAndTheLowerLayersShareOneRoad)
{
    LogCenter &shared = LogCenter::shared();
    shared.setFiles(m_dir.filePath(QStringLiteral("shared")), LogFileSink::Limits{});
    Log(QStringLiteral("diagnostics")).emit(QStringLiteral("info"), QStringLiteral("facade_line code=AB12CD"));
    Log(QStringLiteral("diagnostics")).emit(QStringLiteral("bogus"), QStringLiteral("unknown level reads as info"));
    // The account layer writes through the platform's system log, which the facade routes.
    SystemLog::write(SystemLogLevel::error, QStringLiteral("dev.orvalen.account"), QStringLiteral("session"),
                     QStringLiteral("session persist after refresh failed: oas_9_zz"));
    ASSERT_TRUE(shared.drain());

    const auto records = m_journal->records();
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records.at(0).field("SUBSYSTEM"), QByteArray("dev.orvalen.vantle"));
    EXPECT_EQ(records.at(0).field("MESSAGE"), QByteArray("facade_line code=AB12CD"));
    EXPECT_EQ(records.at(1).field("PRIORITY"), QByteArray("6"));
    EXPECT_EQ(records.at(2).field("SUBSYSTEM"), QByteArray("dev.orvalen.account"));
    EXPECT_EQ(records.at(2).field("CATEGORY"), QByteArray("session"));
    EXPECT_EQ(records.at(2).field("MESSAGE"), QByteArray("session persist after refresh failed: <redacted>"));
    const auto stored = fileRecords(shared.logFiles());
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored.at(2).value(QStringLiteral("subsystem")).toString(), QStringLiteral("dev.orvalen.account"));
    shared.setFiles(LogFileSink::defaultDirectory(), LogFileSink::Limits{});
}

TEST_F(LogCenterTest, ABurstBeyondTheQueueIsDroppedCountedAndReported)
{
    LogCenter center(settings());
    // Hold the writer inside the journal sink so the queue fills behind it.
    const auto held = std::make_shared<HeldSink>(QStringList{QStringLiteral("first")});
    SystemLog::setSink(held);
    center.submit(SystemLogLevel::info, Log::appSubsystem, QStringLiteral("x"), QStringLiteral("first"));
    ASSERT_TRUE(held->waitFor("first"));
    const qsizetype burst = LogCenter::queueLineLimit + 50;
    for (qsizetype i = 0; i < burst; ++i)
        center.submit(SystemLogLevel::info, Log::appSubsystem, QStringLiteral("x"), QStringLiteral("b"));
    EXPECT_EQ(center.droppedCount(), 50u);
    held->release("first");
    SystemLog::setSink(m_journal);
    ASSERT_TRUE(center.drain(std::chrono::seconds(30)));
    center.submit(SystemLogLevel::info, Log::appSubsystem, QStringLiteral("x"), QStringLiteral("after"));
    ASSERT_TRUE(center.drain());
    const auto ring = center.ring().snapshot();
    bool reported = false;
    for (const LogRecord &r : ring) {
        if (r.message == QStringLiteral("log_lines_dropped count=%1").arg(center.droppedCount()))
            reported = true;
    }
    EXPECT_TRUE(reported);
}

// A sink that throws loses the writer's batch, never the writer: the lost lines are counted
// and reported like any other drop.
TEST_F(LogCenterTest, ABatchASinkThrewAwayIsCountedAndReported)
{
    LogCenter center(settings());
    center.setTelemetrySink([](const LogRecord &record) {
        if (record.message == QStringLiteral("throws"))
            throw std::runtime_error("telemetry down");
    });
    // The writer, held on "first", takes the next three lines in one batch.
    const auto held = std::make_shared<HeldSink>(QStringList{QStringLiteral("first")});
    SystemLog::setSink(held);
    say(center, "first");
    ASSERT_TRUE(held->waitFor("first"));
    say(center, "before");
    say(center, "throws", SystemLogLevel::warn);
    say(center, "after");
    held->release("first");
    ASSERT_TRUE(center.drain());
    EXPECT_EQ(center.droppedCount(), 3u);

    say(center, "next");
    ASSERT_TRUE(center.drain());
    EXPECT_EQ(storedMessages(center), "first|next|log_lines_dropped count=3");
}

// At shutdown the writer gets no more time than it was given: what it had not written,
// in its own batch or still queued, is dropped, not written while the program tears itself
// down, and counted, as is every line that comes after.
TEST_F(LogCenterTest, AShutdownDropsAndCountsWhatTheWriterHadNotWritten)
{
    LogCenter center(settings());
    const auto held = std::make_shared<HeldSink>(QStringList{QStringLiteral("first"), QStringLiteral("second")});
    SystemLog::setSink(held);
    // The writer takes "first" alone, then "second" with two more lines in one batch.
    say(center, "first");
    ASSERT_TRUE(held->waitFor("first"));
    for (const char *line : {"second", "in the batch 1", "in the batch 2"})
        say(center, line);
    held->release("first");
    ASSERT_TRUE(held->waitFor("second"));
    for (int i = 0; i < 10; ++i)
        say(center, QStringLiteral("queued %1").arg(i));

    center.shutdown(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    EXPECT_EQ(center.droppedCount(), 10u);
    held->release("second");
    ASSERT_TRUE(center.drain(std::chrono::minutes(1))) << "the writer ends after the line it was writing";
    EXPECT_EQ(center.droppedCount(), 12u);
    say(center, "after the stop");
    EXPECT_EQ(center.droppedCount(), 13u);
    EXPECT_EQ(held->written(), "first|second");
    EXPECT_EQ(storedMessages(center), "first|second");
}

// A writer left behind on a hung sink outlives the center that started it: what it goes on
// using once the sink lets go must not have been freed with the center.
TEST_F(LogCenterTest, AWriterLeftBehindOutlivesItsCenter)
{
    auto held = std::make_shared<HeldSink>(QStringList{QStringLiteral("first")});
    SystemLog::setSink(held);
    const std::weak_ptr<HeldSink> watched = held;
    auto center = std::make_unique<LogCenter>(settings());
    say(*center, "first");
    ASSERT_TRUE(held->waitFor("first"));
    say(*center, "second");
    center->shutdown(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    center.reset();

    SystemLog::setSink(m_journal);
    held->release("first");
    held.reset();
    // The writer lets go of the sink once its batch reached the ring and the files.
    EXPECT_TRUE(TestSupport::waitUntil([&] { return watched.expired(); }));
}

// A program that quits with lines still queued writes them all, keeps rotating its files
// and ends cleanly: the log stops before the program's statics go.
TEST_F(LogCenterTest, AProgramThatQuitsWithLinesQueuedWritesThemAll)
{
    constexpr int lines = 5000;
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        QTemporaryDir folder;
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(VANTLE_LOG_AT_EXIT), {folder.path(), QString::number(lines)});
        ASSERT_TRUE(program.waitForFinished(120'000));
        ASSERT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        const QStringList files = LogFileSink::files(folder.path());
        EXPECT_LE(files.size(), 5) << "the oldest files were removed as the log rotated";
        const auto stored = fileRecords(files);
        ASSERT_FALSE(stored.isEmpty());
        EXPECT_EQ(stored.constLast().value(QStringLiteral("message")).toString(),
                  QStringLiteral("line %1 of %1").arg(lines));
    }
}

} // namespace
