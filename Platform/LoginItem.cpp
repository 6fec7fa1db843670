#include "Platform/LoginItem.h"

#include "Platform/Deployment.h"
#include "Platform/LoginItemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <optional>
#include <utility>

namespace {

// An autostart entry is a few hundred bytes; anything far larger is not one of ours.
constexpr qint64 maximumEntrySize = 64 * 1024;

// The value of `key` in the "[Desktop Entry]" group, or nothing.
std::optional<QString> desktopEntryValue(const QByteArray &text, const QString &key)
{
    bool inGroup = false;
    bool groupSeen = false;
    for (const QByteArray &rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            // Only the first "[Desktop Entry]" group counts; a repeated one is malformed.
            inGroup = !groupSeen && line == QLatin1String("[Desktop Entry]");
            groupSeen = groupSeen || inGroup;
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        if (line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return std::nullopt;
}

std::optional<QByteArray> readEntry(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray text = file.read(maximumEntrySize + 1);
    if (text.size() > maximumEntrySize)
        return std::nullopt;
    return text;
}

bool isOurs(const QByteArray &text)
{
    return desktopEntryValue(text, LoginItem::ownerKey) == QStringLiteral("true");
}

// An Exec argument: quoted when it needs to be, with the characters the desktop entry
// format reserves inside quotes escaped, and "%" doubled (field codes).
QString execArgument(const QString &argument)
{
    QString escaped = argument;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = escaped.isEmpty();
    for (const QChar c : escaped)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return escaped;
    QString quoted;
    for (const QChar c : escaped) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    // The format's string type escapes backslashes once more when the file is read.
    quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

LoginItem LoginItem::mainApp()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return LoginItem(config + QStringLiteral("/autostart/vantle.desktop"),
                     Deployment::launcher(QCoreApplication::applicationFilePath()));
}

LoginItem::LoginItem(QString filePath, QString program) : m_filePath(std::move(filePath)), m_program(std::move(program)) {}

LoginItem::Status LoginItem::status() const
{
    const auto text = readEntry(m_filePath);
    if (!text || !isOurs(*text) || desktopEntryValue(*text, QStringLiteral("Hidden")) == QStringLiteral("true")
        || desktopEntryValue(*text, QStringLiteral("X-GNOME-Autostart-enabled")) == QStringLiteral("false"))
        return Status::notRegistered;
    return Status::enabled;
}

QByteArray LoginItem::entryText() const
{
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Version=1.5\n");
    text += QStringLiteral("Name=vantle\n");
    text += QStringLiteral("Comment=Starts vantle when you log in\n");
    text += QStringLiteral("Exec=") + execArgument(m_program) + QLatin1Char('\n');
    text += QStringLiteral("Icon=vantle\n");
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    text += ownerKey + QStringLiteral("=true\n");
    return text.toUtf8();
}

void LoginItem::registerItem() const
{
    // A line break cannot be written into an Exec line at all.
    if (m_program.contains(QLatin1Char('\n')) || m_program.contains(QLatin1Char('\r')))
        throw LoginItemError(QStringLiteral("The program path %1 cannot be started from an autostart entry.").arg(m_program));
    // Only our own entry is written over: one of that name that someone else wrote stays.
    if (QFileInfo::exists(m_filePath)) {
        const auto text = readEntry(m_filePath);
        if (!text)
            throw LoginItemError(QStringLiteral("Couldn't read %1 to see whose entry it is.").arg(m_filePath));
        if (!isOurs(*text)) {
            throw LoginItemError(QStringLiteral("%1 belongs to another program, so vantle leaves it as it is. Remove or "
                                                "rename that file to launch vantle at login from here.")
                                     .arg(m_filePath),
                                 LoginItemError::Kind::conflict);
        }
    }
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!QDir().mkpath(folder))
        throw LoginItemError(QStringLiteral("Couldn't create the autostart folder %1.").arg(folder));
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        throw LoginItemError(QStringLiteral("Couldn't write %1: %2").arg(m_filePath, file.errorString()));
    const QByteArray text = entryText();
    if (file.write(text) != text.size() || !file.commit())
        throw LoginItemError(QStringLiteral("Couldn't write %1: %2").arg(m_filePath, file.errorString()));
}

void LoginItem::unregisterItem() const
{
    if (!QFileInfo::exists(m_filePath))
        return;
    const auto text = readEntry(m_filePath);
    if (!text || !isOurs(*text))
        return;
    QFile file(m_filePath);
    if (!file.remove())
        throw LoginItemError(QStringLiteral("Couldn't remove %1: %2").arg(m_filePath, file.errorString()));
}
