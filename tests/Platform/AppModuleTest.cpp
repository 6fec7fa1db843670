#include "Platform/AppModule.h"
#include "Platform/ModuleCalendarStore.h"
#include "Platform/RecordingSystemLog.h"
#include "support/TaskRunner.h"

#include <QCoro/QCoroFuture>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using TestSupport::runTask;

namespace {

// The report's zip writer, as built beside the tests: a real module to copy around.
const QString realModule = QStringLiteral("vantle-report-zip");
const char *const realSymbol = "vantle_report_zip";

QString builtModulePath()
{
    for (const QString &folder : AppModule::directories()) {
        const QString path = QDir(folder).filePath(realModule + QStringLiteral(".so"));
        if (QFile::exists(path))
            return path;
    }
    return {};
}

class AppModuleTest : public ::testing::Test {
protected:
    void TearDown() override { AppModule::setDirectories({}); }
};

} // namespace

TEST_F(AppModuleTest, TheBuiltModulesAreFoundFromTheExecutablesFolder)
{
    // The tests sit one folder below the build tree's root, as the application does.
    QString error;
    EXPECT_NE(AppModule::resolve(realModule, realSymbol, &error), nullptr) << error.toStdString();
}

TEST_F(AppModuleTest, EveryWayAModuleCanBeMissingIsAnErrorNotACrash)
{
    const QString built = builtModulePath();
    ASSERT_FALSE(built.isEmpty());
    struct Case {
        const char *name;
        const char *file;       // what lies in the module folder under the module's name
        const char *symbol;     // what is looked up
        bool found;
        const char *errorHas;   // part of the reason given
    };
    const Case cases[] = {
        {"no file", nullptr, realSymbol, false, "is in none of"},
        {"not a library", "garbage", realSymbol, false, "vantle-x.so"},
        {"an empty file", "", realSymbol, false, "vantle-x.so"},
        {"a library without the entry", "module", "vantle_no_such_entry", false, "vantle_no_such_entry"},
        {"the module", "module", realSymbol, true, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir empty;
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("vantle-x.so"));
        if (c.file && QByteArray(c.file) == "module") {
            ASSERT_TRUE(QFile::copy(built, path));
        } else if (c.file) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.file);
        }
        // The first folder lacks it: the search goes on to the next.
        AppModule::setDirectories({empty.path(), folder.path()});
        QString error;
        const QFunctionPointer entry = AppModule::resolve(QStringLiteral("vantle-x"), c.symbol, &error);
        EXPECT_EQ(entry != nullptr, c.found) << error.toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.errorHas))) << error.toStdString();
    }
}

namespace {

class ModuleCalendarStoreTest : public AppModuleTest {
protected:
    void SetUp() override { SystemLog::setSink(m_log); }
    void TearDown() override
    {
        SystemLog::setSink(nullptr);
        AppModuleTest::TearDown();
    }

    QStringList warnings() const
    {
        QStringList out;
        for (const RecordingSystemLog::Record &record : m_log->records()) {
            if (record.entry.level == SystemLogLevel::warn)
                out.append(record.entry.category + QLatin1Char(' ') + record.entry.message);
        }
        return out;
    }

    std::shared_ptr<RecordingSystemLog> m_log = std::make_shared<RecordingSystemLog>();
};

CalendarFetch fetch(CalendarStore &store)
{
    const QDateTime from(QDate(2030, 3, 31), QTime(0, 0), Qt::UTC);
    return runTask([](QFuture<CalendarFetch> future) -> QCoro::Task<CalendarFetch> {
        co_return co_await future;
    }(store.events(from, from.addDays(1), QTimeZone::utc())));
}

} // namespace

TEST_F(ModuleCalendarStoreTest, NothingIsLoadedUntilAccessIsRequested)
{
    // The meetings strip is off by default: the service exists, the store's module is not loaded.
    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(builtModulePath(), folder.filePath(ModuleCalendarStore::moduleName + QStringLiteral(".so"))));
    AppModule::setDirectories({folder.path()});
    ModuleCalendarStore store;
    store.rebuildSources();
    EXPECT_EQ(store.authorizationStatus(), CalendarAuthorization::notDetermined);
    EXPECT_TRUE(fetch(store).events.isEmpty());
    EXPECT_FALSE(store.isLoaded());
    EXPECT_EQ(warnings(), QStringList{});
}

TEST_F(ModuleCalendarStoreTest, AStoreModuleThatCannotLoadMeansNoCalendarStore)
{
    struct Case {
        const char *name;
        const char *file; // under the module's name: nothing, garbage, or a module without the factory
    };
    const QString built = builtModulePath();
    ASSERT_FALSE(built.isEmpty());
    const Case cases[] = {
        {"no module", nullptr},
        {"not a library", "garbage"},
        {"another module", "module"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_log->clear();
        QTemporaryDir folder;
        const QString path = folder.filePath(ModuleCalendarStore::moduleName + QStringLiteral(".so"));
        if (c.file && QByteArray(c.file) == "module") {
            ASSERT_TRUE(QFile::copy(built, path));
        } else if (c.file) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.file);
        }
        AppModule::setDirectories({folder.path()});
        ModuleCalendarStore store;
        for (int attempt = 0; attempt < 3; ++attempt) {
            EXPECT_FALSE(runTask([](QFuture<bool> f) -> QCoro::Task<bool> { co_return co_await f; }(
                store.requestFullAccessToEvents())));
            EXPECT_EQ(store.authorizationStatus(), CalendarAuthorization::restricted);
            store.rebuildSources();
            try {
                fetch(store);
                ADD_FAILURE() << "a fetch without a store must fail as a missing store";
            } catch (const CalendarStoreError &error) {
                EXPECT_TRUE(error.storeMissing());
            }
        }
        EXPECT_FALSE(store.isLoaded());
        const QStringList lines = warnings();
        ASSERT_EQ(lines.size(), 1) << "one warn line, however often the store is asked";
        EXPECT_TRUE(lines.first().startsWith(QStringLiteral("meetings calendar store unavailable: ")))
            << lines.first().toStdString();
    }
}
