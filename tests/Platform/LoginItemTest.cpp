#include "Platform/LoginItem.h"
#include "Platform/LoginItemError.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// The Exec value as a desktop reads it: string escapes first, then the quoting rule.
QStringList execArguments(const QByteArray &entry)
{
    QString exec;
    for (const QByteArray &line : entry.split('\n')) {
        if (line.startsWith("Exec="))
            exec = QString::fromUtf8(line.mid(5));
    }
    QString unescaped;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec[i] == QLatin1Char('\\') && i + 1 < exec.size() && exec[i + 1] == QLatin1Char('\\')) {
            unescaped += QLatin1Char('\\');
            ++i;
        } else {
            unescaped += exec[i];
        }
    }
    QStringList args;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped[i];
        if (quoted && c == QLatin1Char('\\') && i + 1 < unescaped.size()) {
            current += unescaped[++i];
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char(' ') && !quoted) {
            args.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    args.append(current);
    for (QString &arg : args)
        arg.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return args;
}

TEST(LoginItem, EnabledExactlyWhenOurEntryIsThereAndNotHidden)
{
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("autostart/vantle.desktop"));
    const LoginItem item(path, QStringLiteral("/usr/bin/vantle"));
    const QByteArray ours = item.entryText();
    const struct {
        const char *name;
        std::optional<QByteArray> file; // nothing: no file
        LoginItem::Status status;
        bool unregisterRemoves;
    } cases[] = {
        {"no file", std::nullopt, LoginItem::Status::notRegistered, false},
        {"ours", ours, LoginItem::Status::enabled, true},
        {"ours, hidden by the desktop", ours + "Hidden=true\n", LoginItem::Status::notRegistered, true},
        {"ours, Hidden=false", ours + "Hidden=false\n", LoginItem::Status::enabled, true},
        {"ours, turned off in GNOME's Startup Applications",
         QByteArray(ours).replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"),
         LoginItem::Status::notRegistered, true},
        {"ours, without GNOME's key", QByteArray(ours).replace("X-GNOME-Autostart-enabled=true\n", ""),
         LoginItem::Status::enabled, true},
        {"someone else's", "[Desktop Entry]\nType=Application\nExec=vantle\n", LoginItem::Status::notRegistered,
         false},
        {"marker outside the entry group",
         "[Desktop Entry]\nExec=vantle\n[Desktop Action x]\nX-Vantle-LoginItem=true\n",
         LoginItem::Status::notRegistered, false},
        {"marker not true", "[Desktop Entry]\nX-Vantle-LoginItem=false\n", LoginItem::Status::notRegistered, false},
        {"spaces around the equals sign", "[Desktop Entry]\nX-Vantle-LoginItem = true\n", LoginItem::Status::enabled,
         true},
        // Read as the desktop's session reads it (GLib's key-file reader): booleans are
        // exactly true/1 and false/0, the last of a repeated key wins, a repeated group adds
        // to the first, and a file with a line it refuses starts nothing.
        {"ours, Hidden=1", ours + "Hidden=1\n", LoginItem::Status::notRegistered, true},
        {"ours, Hidden=True is no boolean: not hidden", ours + "Hidden=True\n", LoginItem::Status::enabled, true},
        {"ours, GNOME's switch 0", ours + "X-GNOME-Autostart-enabled=0\n", LoginItem::Status::notRegistered, true},
        {"ours, GNOME's switch False is not true: off", ours + "X-GNOME-Autostart-enabled=False\n",
         LoginItem::Status::notRegistered, true},
        {"ours, GNOME's switch empty", ours + "X-GNOME-Autostart-enabled=\n", LoginItem::Status::notRegistered, true},
        {"ours, GNOME's switch 1 with blanks after it", ours + "X-GNOME-Autostart-enabled = 1 \t\n",
         LoginItem::Status::enabled, true},
        {"ours, Hidden false then true", ours + "Hidden=false\nHidden=true\n", LoginItem::Status::notRegistered,
         true},
        {"ours, Hidden true then false", ours + "Hidden=true\nHidden=false\n", LoginItem::Status::enabled, true},
        {"ours, the group repeated", ours + "[Desktop Action x]\nName=x\n[Desktop Entry]\nHidden=true\n",
         LoginItem::Status::notRegistered, true},
        {"ours, with a line the desktop refuses", ours + "Hidden [de]=x\n", LoginItem::Status::notRegistered, true},
        {"ours, with a key before any group", "Name=x\n" + ours, LoginItem::Status::notRegistered, true},
        {"ours, hidden, CRLF line ends", QByteArray(ours + "Hidden=true\n").replace("\n", "\r\n"),
         LoginItem::Status::notRegistered, true},
        {"ours, a locale's Hidden is another key", ours + "Hidden[de]=true\n", LoginItem::Status::enabled, true},
        {"empty file", QByteArray(), LoginItem::Status::notRegistered, false},
        {"binary rubbish", QByteArray("\x00\xff\xfe[Desktop", 9), LoginItem::Status::notRegistered, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path);
        if (c.file)
            write(path, *c.file);
        EXPECT_EQ(item.status(), c.status);
        EXPECT_NO_THROW(item.unregisterItem());
        EXPECT_EQ(QFileInfo::exists(path), c.file.has_value() && !c.unregisterRemoves)
            << "only our own entry is removed";
        EXPECT_EQ(item.status(), LoginItem::Status::notRegistered);
    }
}

TEST(LoginItem, RegisterWritesAStartableEntryAndUnregisterRemovesIt)
{
    const struct {
        const char *name;
        QString program;
        std::optional<QByteArray> before; // a file already there
    } cases[] = {
        {"fresh folder", QStringLiteral("/usr/bin/vantle"), std::nullopt},
        {"path with spaces and specials", QStringLiteral("/home/a b/\"q\" $HOME `x` \\ 100%/vantle"), std::nullopt},
        {"over a hidden entry of ours", QStringLiteral("/opt/vantle/vantle"),
         LoginItem(QString(), QStringLiteral("/old")).entryText() + "Hidden=true\n"},
        {"over an entry of ours GNOME turned off", QStringLiteral("/opt/vantle/vantle"),
         QByteArray(LoginItem(QString(), QStringLiteral("/old")).entryText())
             .replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false")},
        {"over an entry of ours the desktop cannot read", QStringLiteral("/opt/vantle/vantle"),
         LoginItem(QString(), QStringLiteral("/old")).entryText() + "not a key\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        const QString path = home.filePath(QStringLiteral("config/autostart/vantle.desktop"));
        const LoginItem item(path, c.program);
        if (c.before)
            write(path, *c.before);
        ASSERT_NO_THROW(item.registerItem());
        EXPECT_EQ(item.status(), LoginItem::Status::enabled);
        const QByteArray text = readAll(path);
        EXPECT_TRUE(text.startsWith("[Desktop Entry]\nType=Application\n"));
        EXPECT_EQ(execArguments(text), QStringList{c.program}) << text.constData();
        EXPECT_FALSE(text.contains("Hidden="));
        // Registering again (the settings window does on every show) changes nothing.
        ASSERT_NO_THROW(item.registerItem());
        EXPECT_EQ(readAll(path), text);
        // Nothing else is left behind in the folder (no temporary files).
        EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("vantle.desktop")});

        ASSERT_NO_THROW(item.unregisterItem());
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_EQ(item.status(), LoginItem::Status::notRegistered);
        ASSERT_NO_THROW(item.unregisterItem()) << "unregistering twice is fine";
    }
}

TEST(LoginItem, FailuresReachTheCallerAndLoseNothing)
{
    QTemporaryDir home;
    const struct {
        const char *name;
        QString path;
        std::function<void()> arrange;
        bool skipAsRoot;
    } cases[] = {
        // The autostart "folder" is a file: nothing can be created under it.
        {"autostart is a file", home.filePath(QStringLiteral("a/autostart/vantle.desktop")),
         [&]() { write(home.filePath(QStringLiteral("a/autostart")), "not a folder"); }, false},
        {"config folder cannot hold files", QStringLiteral("/proc/self/autostart/vantle.desktop"), []() {}, false},
        {"autostart folder read-only", home.filePath(QStringLiteral("b/autostart/vantle.desktop")),
         [&]() {
             QDir().mkpath(home.filePath(QStringLiteral("b/autostart")));
             QFile::setPermissions(home.filePath(QStringLiteral("b/autostart")),
                                   QFileDevice::ReadOwner | QFileDevice::ExeOwner);
         },
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.skipAsRoot && geteuid() == 0)
            continue; // permissions do not bind root; the other cases cover it
        c.arrange();
        const LoginItem item(c.path, QStringLiteral("/usr/bin/vantle"));
        EXPECT_THROW(item.registerItem(), LoginItemError);
        EXPECT_EQ(item.status(), LoginItem::Status::notRegistered);
        EXPECT_NO_THROW(item.unregisterItem());
    }
    EXPECT_EQ(readAll(home.filePath(QStringLiteral("a/autostart"))), QByteArray("not a folder"));

    // Someone else's entry of our name is neither written over nor removed: registering
    // says that it is in the way.
    for (const QByteArray &foreign : {QByteArray("[Desktop Entry]\nType=Application\nExec=/opt/other/vantle\n"),
                                      QByteArray("[Desktop Entry]\nX-Vantle-LoginItem=false\nExec=x\n"),
                                      QByteArray("[Desktop Entry]\nExec=x\n[Other]\nX-Vantle-LoginItem=true\n")}) {
        SCOPED_TRACE(foreign.constData());
        const QString path = home.filePath(QStringLiteral("d/autostart/vantle.desktop"));
        write(path, foreign);
        const LoginItem item(path, QStringLiteral("/usr/bin/vantle"));
        try {
            item.registerItem();
            ADD_FAILURE() << "another program's entry was written over";
        } catch (const LoginItemError &error) {
            EXPECT_EQ(error.kind(), LoginItemError::Kind::conflict);
            EXPECT_TRUE(error.message().contains(path)) << error.message().toStdString();
        }
        EXPECT_NO_THROW(item.unregisterItem());
        EXPECT_EQ(readAll(path), foreign);
        EXPECT_EQ(item.status(), LoginItem::Status::notRegistered);
    }

    // An entry of ours that cannot be removed: the error says so and the entry stays.
    if (geteuid() != 0) {
        const QString folder = home.filePath(QStringLiteral("c/autostart"));
        const LoginItem item(folder + QStringLiteral("/vantle.desktop"), QStringLiteral("/usr/bin/vantle"));
        ASSERT_NO_THROW(item.registerItem());
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_THROW(item.unregisterItem(), LoginItemError);
        EXPECT_EQ(item.status(), LoginItem::Status::enabled);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

TEST(LoginItem, MainAppLivesUnderTheXdgConfigFolder)
{
    QTemporaryDir config;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const LoginItem item = LoginItem::mainApp();
    EXPECT_EQ(item.filePath(), config.filePath(QStringLiteral("autostart/vantle.desktop")));
    ASSERT_NO_THROW(item.registerItem());
    EXPECT_EQ(execArguments(readAll(item.filePath())), QStringList{QCoreApplication::applicationFilePath()});
    qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
