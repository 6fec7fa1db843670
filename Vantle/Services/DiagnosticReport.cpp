#include "Vantle/Services/DiagnosticReport.h"

#include "Platform/SystemInfo.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/LogRedaction.h"

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>

#include <utility>

namespace {
bool addMember(QuaZip &zip, const QString &name, const QByteArray &data)
{
    QuaZipFile member(&zip);
    QuaZipNewInfo info(name);
    info.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!member.open(QIODevice::WriteOnly, info))
        return false;
    const bool written = member.write(data) == data.size();
    member.close();
    return written && member.getZipError() == 0;
}

// The file up to its last complete line.
std::optional<QByteArray> wholeLines(const QString &path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = file.read(limit);
    const qsizetype end = data.lastIndexOf('\n');
    data.truncate(end + 1);
    return data;
}

QJsonValue redactedValue(const QJsonValue &value);

QJsonArray redactedArray(const QJsonArray &array)
{
    QJsonArray out;
    for (const QJsonValue &value : array)
        out.append(redactedValue(value));
    return out;
}

QJsonValue redactedValue(const QJsonValue &value)
{
    if (value.isString())
        return LogRedaction::redact(value.toString());
    if (value.isObject())
        return DiagnosticReport::redacted(value.toObject());
    if (value.isArray())
        return redactedArray(value.toArray());
    return value;
}
} // namespace

QJsonObject DiagnosticReport::redacted(const QJsonObject &object)
{
    QJsonObject out;
    for (auto it = object.begin(); it != object.end(); ++it)
        out.insert(it.key(), redactedValue(it.value()));
    return out;
}

QJsonObject DiagnosticReport::systemSummary()
{
    return QJsonObject{
        {QStringLiteral("app"),
         QJsonObject{{QStringLiteral("name"), QStringLiteral("vantle")}, {QStringLiteral("version"), Constants::version()}}},
        {QStringLiteral("platform"), SystemInfo::platform()},
        {QStringLiteral("os"),
         QJsonObject{
             {QStringLiteral("name"), SystemInfo::osName()},
             {QStringLiteral("pretty_name"), QSysInfo::prettyProductName()},
             {QStringLiteral("version"), SystemInfo::osVersion()},
             {QStringLiteral("kernel"), SystemInfo::kernelVersion()},
             {QStringLiteral("architecture"), QSysInfo::currentCpuArchitecture()},
         }},
        {QStringLiteral("generated_at"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
    };
}

std::optional<QByteArray> DiagnosticReport::build(const Contents &contents)
{
    // The newest files first until the budget is spent, then written oldest first.
    QList<std::pair<QString, QByteArray>> logs;
    qint64 budget = maxLogBytes;
    for (qsizetype i = contents.logFiles.size() - 1; i >= 0 && budget > 0; --i) {
        const QString &path = contents.logFiles.at(i);
        std::optional<QByteArray> data = wholeLines(path, budget);
        if (!data)
            continue;
        budget -= data->size();
        logs.prepend({logsFolder + QFileInfo(path).fileName(), std::move(*data)});
    }

    QByteArray bytes;
    QBuffer buffer(&bytes);
    QuaZip zip(&buffer);
    zip.setUtf8Enabled(true);
    if (!zip.open(QuaZip::mdCreate))
        return std::nullopt;
    bool ok = addMember(zip, summaryName, QJsonDocument(contents.summary).toJson(QJsonDocument::Indented));
    ok = ok && addMember(zip, ringName, contents.ring);
    for (const auto &[name, data] : logs)
        ok = ok && addMember(zip, name, data);
    zip.close();
    if (!ok || zip.getZipError() != 0)
        return std::nullopt;
    return bytes;
}
