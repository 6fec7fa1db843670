#include "Platform/Preferences.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// One value written, then read back through a fresh store on the same file: what a
// relaunch sees. A second write of the same value must stay silent.
struct RoundTrip {
    const char *name;
    QVariant written;
    std::function<void(const Preferences &, const QString &)> check;
};

TEST(Preferences, ValuesSurviveTheSettingsFileAndRepeatWritesStaySilent)
{
    const RoundTrip cases[] = {
        {"bool true", true, [](const Preferences &p, const QString &k) { EXPECT_TRUE(p.boolValue(k, false)); }},
        {"bool false", false, [](const Preferences &p, const QString &k) { EXPECT_FALSE(p.boolValue(k, true)); }},
        {"seconds since 1970", 1714550400.125,
         [](const Preferences &p, const QString &k) { EXPECT_DOUBLE_EQ(p.doubleValue(k), 1714550400.125); }},
        {"negative double", -0.5, [](const Preferences &p, const QString &k) { EXPECT_DOUBLE_EQ(p.doubleValue(k), -0.5); }},
        {"text with a comma", QStringLiteral("a, b"),
         [](const Preferences &p, const QString &k) { EXPECT_EQ(p.stringValue(k), QStringLiteral("a, b")); }},
        {"text with an em dash", QStringLiteral("x \u2014 y"),
         [](const Preferences &p, const QString &k) { EXPECT_EQ(p.stringValue(k), QStringLiteral("x \u2014 y")); }},
        {"list of two", QStringList{QStringLiteral("oa_1"), QStringLiteral("oa_2")},
         [](const Preferences &p, const QString &k) {
             EXPECT_EQ(p.stringListValue(k), (QStringList{QStringLiteral("oa_1"), QStringLiteral("oa_2")}));
         }},
        {"list of one", QStringList{QStringLiteral("oa_1")},
         [](const Preferences &p, const QString &k) {
             EXPECT_EQ(p.stringListValue(k), QStringList{QStringLiteral("oa_1")});
         }},
        {"empty list", QStringList{},
         [](const Preferences &p, const QString &k) { EXPECT_TRUE(p.stringListValue(k).isEmpty()); }},
    };
    for (const RoundTrip &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("vantle.conf"));
        const QString key = QStringLiteral("vantle.test.value");
        {
            SettingsPreferences preferences(path);
            QSignalSpy changed(&preferences, &Preferences::valueChanged);
            preferences.setValue(key, c.written);
            EXPECT_EQ(changed.count(), 1);
            preferences.setValue(key, c.written);
            EXPECT_EQ(changed.count(), 1) << "an equal value was written again";
            c.check(preferences, key);
        }
        SettingsPreferences reopened(path);
        ASSERT_TRUE(reopened.contains(key));
        c.check(reopened, key);
        QSignalSpy changed(&reopened, &Preferences::valueChanged);
        reopened.setValue(key, c.written);
        EXPECT_EQ(changed.count(), 0) << "the value read back from disk compared unequal";
    }
}

TEST(Preferences, ChangesAndRemovalsSignalOnlyWhenSomethingChanged)
{
    QTemporaryDir dir;
    SettingsPreferences settings(dir.filePath(QStringLiteral("vantle.conf")));
    InMemoryPreferences memory;
    for (Preferences *preferences : {static_cast<Preferences *>(&settings), static_cast<Preferences *>(&memory)}) {
        QSignalSpy changed(preferences, &Preferences::valueChanged);
        const QString key = QStringLiteral("vantle.verboseDiagnosticsEnabled");
        preferences->remove(key);
        EXPECT_EQ(changed.count(), 0) << "removing an absent key";
        preferences->setValue(key, true);
        preferences->setValue(key, false);
        EXPECT_EQ(changed.count(), 2);
        EXPECT_FALSE(preferences->boolValue(key, true));
        preferences->remove(key);
        EXPECT_EQ(changed.count(), 3);
        EXPECT_FALSE(preferences->contains(key));
        EXPECT_TRUE(preferences->boolValue(key, true)) << "an absent key reads as the fallback";
        ASSERT_FALSE(changed.isEmpty());
        EXPECT_EQ(changed.last().at(0).toString(), key);
    }
}

} // namespace
