#include "Platform/LoginItem.h"

#include "Platform/Deployment.h"
#include "Platform/LoginItemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

// An autostart entry is a few hundred bytes; anything far larger is not one of ours.
constexpr qint64 maximumEntrySize = 64 * 1024;

bool isAsciiSpace(char c)
{
    // GLib's blanks: no vertical tab among them.
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

QByteArray chug(QByteArray text)
{
    qsizetype start = 0;
    while (start < text.size() && isAsciiSpace(text.at(start)))
        ++start;
    return text.mid(start);
}

// A key as the desktop's reader accepts it: a name without "[", "]" or "=" that neither
// starts nor ends with a blank, optionally followed by a locale in brackets.
bool isKeyName(const QByteArray &key)
{
    const qsizetype bracket = key.indexOf('[');
    const QByteArray name = bracket < 0 ? key : key.left(bracket);
    if (name.isEmpty() || name.contains(']') || name.startsWith(' ') || name.endsWith(' '))
        return false;
    if (bracket < 0)
        return true;
    if (!key.endsWith(']'))
        return false;
    const QString locale = QString::fromUtf8(key.mid(bracket + 1, key.size() - bracket - 2));
    return std::all_of(locale.begin(), locale.end(), [](QChar c) {
        return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char('.')
            || c == QLatin1Char('@');
    });
}

QByteArray upToNul(const QByteArray &text)
{
    const qsizetype nul = text.indexOf('\0');
    return nul < 0 ? text : text.left(nul);
}

// A group header: "[" name "]" with nothing but blanks after it up to the end or a NUL;
// nothing when the line is not one. The reader takes the name up to the line's last "]",
// also one after a NUL, which leaves a "]" in the name and makes it no name at all.
std::optional<QByteArray> groupHeader(const QByteArray &line)
{
    const QByteArray text = upToNul(line);
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = text.indexOf(']');
    if (close < 0)
        return std::nullopt;
    for (qsizetype i = close + 1; i < text.size(); ++i) {
        if (text.at(i) != ' ' && text.at(i) != '\t')
            return std::nullopt;
    }
    return upToNul(line.mid(1, line.lastIndexOf(']') - 1));
}

// An autostart entry as the desktop's session reads it (GLib's key-file reader): keys of
// every "[Desktop Entry]" group, a repeated group adding to the first, the last value of a
// repeated key winning. A file with a line the reader refuses is not read at all, so
// nothing in it starts; `loadable` says whether that is so, and `values` holds what the
// lines it could read say, which is enough to tell whose entry it is.
struct DesktopEntry {
    bool loadable = true;
    QHash<QByteArray, QByteArray> values;

    // The reader's booleans: exactly "true" or "1", "false" or "0" (so "True" is none),
    // blanks after them ignored; anything else, or no such key, is nothing.
    std::optional<bool> boolean(const QByteArray &key) const
    {
        const auto found = values.constFind(key);
        if (found == values.constEnd())
            return std::nullopt;
        QByteArray value = *found;
        while (!value.isEmpty() && isAsciiSpace(value.back()))
            value.chop(1);
        if (value == "true" || value == "1")
            return true;
        if (value == "false" || value == "0")
            return false;
        return std::nullopt;
    }
};

DesktopEntry readDesktopEntry(const QByteArray &text)
{
    DesktopEntry entry;
    std::optional<QByteArray> group;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        // A carriage return before a line feed ends the line with it; the last line,
        // which no line feed ends, keeps its own.
        if (i + 1 < lines.size() && line.endsWith('\r'))
            line.chop(1);
        line = chug(line);
        if (const std::optional<QByteArray> name = groupHeader(line)) {
            const bool control = std::any_of(name->begin(), name->end(),
                                             [](char c) { return static_cast<uchar>(c) < 0x20 || c == 0x7f; });
            if (name->isEmpty() || name->contains('[') || name->contains(']') || control)
                entry.loadable = false;
            group = *name;
            continue;
        }
        // Otherwise the reader works on C strings: a NUL ends the line.
        line = upToNul(line);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0) {
            entry.loadable = false;
            continue;
        }
        QByteArray key = line.left(equals);
        while (!key.isEmpty() && isAsciiSpace(key.back()))
            key.chop(1);
        if (!isKeyName(key) || !group) {
            entry.loadable = false;
            continue;
        }
        if (*group == "Desktop Entry")
            entry.values.insert(key, chug(line.mid(equals + 1)));
    }
    return entry;
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

bool isOurs(const DesktopEntry &entry)
{
    return entry.boolean(LoginItem::ownerKey.toUtf8()) == true;
}

bool isOurs(const QByteArray &text)
{
    return isOurs(readDesktopEntry(text));
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
    if (!text)
        return Status::notRegistered;
    const DesktopEntry entry = readDesktopEntry(*text);
    // As the session decides: a Hidden that does not read as true hides nothing, and
    // GNOME's switch, once present, starts the entry only when it reads as true.
    const bool hidden = entry.boolean("Hidden") == true;
    const bool switchedOff = entry.values.contains("X-GNOME-Autostart-enabled")
        && entry.boolean("X-GNOME-Autostart-enabled") != true;
    if (!entry.loadable || !isOurs(entry) || hidden || switchedOff)
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
