#include "Vantle/Utilities/LogFileSink.h"
#include "Vantle/Utilities/LogRecord.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray line(int n, int padding = 0)
{
    LogRecord record{1714550400000 + n, SystemLogLevel::info, QStringLiteral("dev.orvalen.vantle"),
                     QStringLiteral("ledger"), QStringLiteral("line %1 %2").arg(n).arg(QString(padding, QLatin1Char('.')))};
    return record.toJsonLine();
}

QList<QByteArray> fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

LogFileSink::Limits limits(qint64 bytes, int files)
{
    LogFileSink::Limits l;
    l.maxFileBytes = bytes;
    l.maxFiles = files;
    l.retryDelay = std::chrono::milliseconds(0);
    return l;
}

TEST(LogFileSink, RotatesBySizeAndKeepsABoundedNumberOfFiles)
{
    struct Case {
        const char *name;
        qint64 maxBytes;
        int maxFiles;
        int lines;
    };
    const Case cases[] = {
        {"everything fits one file", 1 << 20, 5, 50},
        {"several rotations, old files deleted", 2000, 3, 400},
        {"one file only", 1500, 1, 200},
        {"a line larger than a file", 50, 2, 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("state/vantle/logs"));
        {
            LogFileSink sink(folder, limits(c.maxBytes, c.maxFiles));
            QList<QByteArray> batch;
            for (int i = 0; i < c.lines; ++i) {
                batch.append(line(i));
                if (batch.size() == 7) { // several batches, as the writer hands them over
                    EXPECT_EQ(sink.write(batch), batch.size());
                    batch.clear();
                }
            }
            EXPECT_EQ(sink.write(batch), batch.size());
            EXPECT_EQ(sink.droppedLines(), 0);
        }
        const QStringList files = LogFileSink::files(folder);
        ASSERT_FALSE(files.isEmpty());
        EXPECT_LE(files.size(), c.maxFiles);
        const qint64 lineSize = line(c.lines - 1).size();
        int previous = -1;
        // The folder and every file, the first and each one a rotation made, are this user's alone.
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteOther | QFileDevice::ExeOther;
        EXPECT_EQ(QFileInfo(folder).permissions() & others, 0);
        for (const QString &path : files) {
            EXPECT_EQ(QFileInfo(path).permissions() & others, 0) << path.toStdString();
            EXPECT_LE(QFileInfo(path).size(), std::max(c.maxBytes, lineSize)) << path.toStdString();
            for (const QByteArray &l : fileLines(path)) {
                const QJsonDocument document = QJsonDocument::fromJson(l);
                ASSERT_TRUE(document.isObject()) << l.toStdString();
                // Lines stay in order across the files, oldest file first.
                const int n = document.object().value(QStringLiteral("message")).toString().split(' ').at(1).toInt();
                if (previous >= 0) {
                    EXPECT_EQ(n, previous + 1);
                }
                previous = n;
            }
        }
        EXPECT_EQ(previous, c.lines - 1) << "the newest line is in the newest file";
        EXPECT_EQ(QFileInfo(QFileInfo(files.first()).path()).permissions() & QFileDevice::ReadOther, 0);
    }
}

TEST(LogFileSink, ABrokenLastLineIsEndedBeforeTheNextOne)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path());
    QFile crashed(dir.filePath(QStringLiteral("vantle-4.log")));
    ASSERT_TRUE(crashed.open(QIODevice::WriteOnly));
    crashed.write(line(1));
    crashed.write("{\"time\":\"2024-05-01T09:30:00.000Z\",\"level\":\"inf"); // the process died here
    crashed.close();

    LogFileSink sink(dir.path(), limits(1 << 20, 5));
    ASSERT_EQ(sink.write({line(2)}), 1);
    const QList<QByteArray> lines = fileLines(dir.filePath(QStringLiteral("vantle-4.log")));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(QJsonDocument::fromJson(lines.at(0)).isObject());
    EXPECT_FALSE(QJsonDocument::fromJson(lines.at(1)).isObject()) << "the broken line stays as it was";
    EXPECT_EQ(lines.at(2) + '\n', line(2)) << "the new line starts a line of its own";
}

TEST(LogFileSink, AnUnusableFolderOrAFullDiskDropsLinesAndRecovers)
{
    QTemporaryDir dir;
    // A folder that cannot be made: its parent is a file.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        LogFileSink sink(dir.filePath(QStringLiteral("blocker/logs")), limits(1 << 20, 5));
        EXPECT_EQ(sink.write({line(1), line(2)}), 0);
        EXPECT_EQ(sink.droppedLines(), 2);
        // Once the folder can be made, lines are written again.
        ASSERT_TRUE(QFile::remove(blocker.fileName()));
        EXPECT_EQ(sink.write({line(3)}), 1);
        EXPECT_EQ(fileLines(dir.filePath(QStringLiteral("blocker/logs/vantle-0.log"))).size(), 1);
    }
    // A full disk: the newest log file is /dev/full, where every write fails.
    const QString full = dir.filePath(QStringLiteral("full"));
    QDir().mkpath(full);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), QDir(full).filePath(QStringLiteral("vantle-0.log"))));
    LogFileSink sink(full, limits(1 << 20, 5));
    EXPECT_EQ(sink.write({line(1), line(2), line(3)}), 0);
    EXPECT_EQ(sink.droppedLines(), 3);
}

TEST(LogFileSink, AwkwardMessagesStayOneParsableLine)
{
    struct Case {
        const char *name;
        QString message;
        QString expected; // empty: the message itself
    };
    const Case cases[] = {
        {"invalid UTF-8", QString::fromUtf8("bad \xC3\x28 bytes \xFF end"), {}},
        {"newlines and tabs", QStringLiteral("first\nsecond\r\nthird\tfourth"), {}},
        {"quotes and backslashes", QStringLiteral("say \"hi\" \\ path C:\\x"), {}},
        {"control characters", QString::fromUtf16(u"a\u0001b\u001fc\u007f"), {}},
        {"unpaired surrogate", QString(QChar(0xD800)) + QStringLiteral("tail"), QStringLiteral("\uFFFDtail")},
        {"one megabyte", QString(1 << 20, QLatin1Char('m')), {}},
    };
    QTemporaryDir dir;
    LogFileSink sink(dir.path(), limits(8 << 20, 5));
    QList<QByteArray> lines;
    for (const Case &c : cases) {
        LogRecord record{0, SystemLogLevel::warn, QStringLiteral("dev.orvalen.vantle"), QStringLiteral("x"), c.message};
        lines.append(record.toJsonLine());
    }
    ASSERT_EQ(sink.write(lines), lines.size());
    const QList<QByteArray> stored = fileLines(dir.filePath(QStringLiteral("vantle-0.log")));
    ASSERT_EQ(stored.size(), std::size(cases));
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QJsonDocument document = QJsonDocument::fromJson(stored.at(i));
        ASSERT_TRUE(document.isObject()) << cases[i].name;
        const QString message = document.object().value(QStringLiteral("message")).toString();
        const QString expected = cases[i].expected.isEmpty() ? cases[i].message : cases[i].expected;
        EXPECT_EQ(message.toStdString(), expected.toStdString()) << cases[i].name;
        EXPECT_EQ(document.object().value(QStringLiteral("time")).toString(), QStringLiteral("1970-01-01T00:00:00.000Z"));
    }
}

TEST(LogRecord, TimesAreRfc3339UtcWithMilliseconds)
{
    const std::pair<qint64, const char *> cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {1714550400125, "2024-05-01T08:00:00.125Z"},
        {951868799999, "2000-02-29T23:59:59.999Z"},
    };
    for (const auto &[ms, expected] : cases) {
        LogRecord record;
        record.timeMs = ms;
        EXPECT_EQ(record.timeText().toStdString(), expected);
        EXPECT_EQ(QDateTime::fromString(record.timeText(), Qt::ISODateWithMs).toMSecsSinceEpoch(), ms);
    }
}

} // namespace
