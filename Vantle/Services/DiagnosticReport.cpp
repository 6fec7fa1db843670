#include "Vantle/Services/DiagnosticReport.h"

#include "Platform/AppModule.h"
#include "Platform/SystemInfo.h"
#include "Vantle/Services/ReportZip.h"
#include "Vantle/Utilities/Constants.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/LogRedaction.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>

#include <utility>

namespace {
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

    QString error;
    const auto zip = reinterpret_cast<ReportZip::Function>(
        AppModule::resolve(ReportZip::moduleName, ReportZip::symbol, &error));
    if (!zip) {
        Log(QStringLiteral("diagnostics")).emit(QStringLiteral("warn"), QStringLiteral("report zip unavailable: ") + error);
        return std::nullopt;
    }
    QList<ReportZipMember> members;
    members.append({summaryName, QJsonDocument(contents.summary).toJson(QJsonDocument::Indented)});
    members.append({ringName, contents.ring});
    for (auto &[name, data] : logs)
        members.append({name, std::move(data)});
    QByteArray bytes;
    if (!zip(members, &bytes))
        return std::nullopt;
    return bytes;
}
