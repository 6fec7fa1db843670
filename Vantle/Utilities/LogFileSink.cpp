#include "Vantle/Utilities/LogFileSink.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <utility>

namespace {
const QRegularExpression &namePattern()
{
    // Never destroyed: the log writer may still rotate while a program's statics go.
    static const auto *const pattern = new QRegularExpression(QStringLiteral("^vantle-(\\d{1,18})\\.log$"));
    return *pattern;
}

// Index -> file name of every log file in the folder.
std::map<qint64, QString> indexed(const QString &directory)
{
    std::map<qint64, QString> out;
    const QStringList names = QDir(directory).entryList({QStringLiteral("vantle-*.log")}, QDir::Files | QDir::System);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = namePattern().match(name);
        if (match.hasMatch())
            out.emplace(match.captured(1).toLongLong(), name);
    }
    return out;
}
} // namespace

QString LogFileSink::defaultDirectory()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir(state).filePath(QStringLiteral("vantle/logs"));
}

QString LogFileSink::fileName(qint64 index)
{
    return QStringLiteral("vantle-%1.log").arg(index);
}

QStringList LogFileSink::files(const QString &directory)
{
    QStringList out;
    const QDir dir(directory);
    for (const auto &[index, name] : indexed(directory))
        out.append(dir.filePath(name));
    return out;
}

LogFileSink::LogFileSink(QString directory, Limits limits) : m_directory(std::move(directory)), m_limits(limits)
{
    m_limits.maxFiles = std::max(1, m_limits.maxFiles);
    m_limits.maxFileBytes = std::max<qint64>(1, m_limits.maxFileBytes);
}

qsizetype LogFileSink::write(const QList<QByteArray> &lines)
{
    if (lines.isEmpty())
        return 0;
    if (!ensureOpen()) {
        m_dropped += lines.size();
        return 0;
    }
    qsizetype written = 0;
    QByteArray chunk;
    qsizetype chunkLines = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qint64 filled = m_size + chunk.size();
        if (filled > 0 && filled + line.size() > m_limits.maxFileBytes) {
            if (!writeChunk(chunk, chunkLines) || !rotate()) {
                m_dropped += lines.size() - i;
                return written;
            }
            written += chunkLines;
            chunk.clear();
            chunkLines = 0;
        }
        chunk.append(line);
        ++chunkLines;
    }
    if (writeChunk(chunk, chunkLines))
        written += chunkLines;
    return written;
}

bool LogFileSink::ensureOpen()
{
    if (m_file.isOpen())
        return true;
    if (std::chrono::steady_clock::now() < m_retryAt)
        return false;
    if (!QDir().mkpath(m_directory)) {
        fail();
        return false;
    }
    QFile::setPermissions(m_directory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const auto existing = indexed(m_directory);
    m_index = existing.empty() ? 0 : existing.rbegin()->first;
    if (!open(m_index)) {
        fail();
        return false;
    }
    if (m_size >= m_limits.maxFileBytes && !rotate())
        return false;
    prune();
    return true;
}

bool LogFileSink::open(qint64 index)
{
    m_file.close();
    m_file.setFileName(QDir(m_directory).filePath(fileName(index)));
    const bool existed = m_file.exists();
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    if (!existed)
        m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    m_index = index;
    m_size = m_file.size();
    if (m_size > 0 && !m_file.isSequential()) {
        QFile reader(m_file.fileName());
        char last = '\n';
        if (reader.open(QIODevice::ReadOnly) && !reader.isSequential() && reader.seek(m_size - 1))
            reader.getChar(&last);
        if (last != '\n') {
            if (m_file.write("\n", 1) != 1) {
                m_file.close();
                return false;
            }
            ++m_size;
        }
    }
    return true;
}

bool LogFileSink::writeChunk(const QByteArray &chunk, qsizetype lines)
{
    if (chunk.isEmpty())
        return true;
    const qint64 written = m_file.write(chunk);
    if (written != chunk.size()) {
        m_dropped += lines;
        fail();
        return false;
    }
    m_size += written;
    return true;
}

bool LogFileSink::rotate()
{
    if (!open(m_index + 1)) {
        fail();
        return false;
    }
    prune();
    return true;
}

void LogFileSink::prune()
{
    QDir dir(m_directory);
    for (const auto &[index, name] : indexed(m_directory)) {
        if (index <= m_index - m_limits.maxFiles)
            dir.remove(name);
    }
}

void LogFileSink::fail()
{
    m_file.close();
    m_retryAt = std::chrono::steady_clock::now() + m_limits.retryDelay;
}
