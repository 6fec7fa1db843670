#include "tools/fakes/FakeDiagnosticsService.h"

#include <quazip.h>
#include <quazipfile.h>

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace Fakes {

namespace {
ScriptedAnswer errorAnswer(int status, const QString &code, const QString &message = {})
{
    QJsonObject object{{QStringLiteral("error"), code}};
    if (!message.isEmpty())
        object.insert(QStringLiteral("message"), message);
    return ScriptedAnswer::json(status, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// A header parameter (name="x") of a Content-Disposition or Content-Type value.
QString parameter(const QByteArray &header, const char *name)
{
    const QRegularExpression pattern(QStringLiteral("(?:^|;)\\s*%1=(?:\"([^\"]*)\"|([^;\\s]*))").arg(QLatin1String(name)),
                                     QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(header));
    if (!match.hasMatch())
        return {};
    return match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
}

std::optional<QString> jsonLinesProblem(const QString &name, const QByteArray &data)
{
    if (!data.isEmpty() && !data.endsWith('\n'))
        return name + QStringLiteral(" ends inside a line");
    int number = 0;
    for (const QByteArray &line : data.split('\n')) {
        ++number;
        if (line.isEmpty())
            continue;
        if (!QJsonDocument::fromJson(line).isObject())
            return QStringLiteral("%1 line %2 is not a JSON object").arg(name).arg(number);
    }
    return std::nullopt;
}

QString supportCode()
{
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    QString code;
    for (int i = 0; i < 6; ++i)
        code.append(QLatin1Char(alphabet[QRandomGenerator::global()->bounded(32)]));
    return code;
}
} // namespace

FakeDiagnosticsService::FakeDiagnosticsService(QObject *parent) : FakeService(parent)
{
    on(QStringLiteral("POST"), diagnosticsPath, [this](const RecordedRequest &request) { return receive(request); });
}

std::optional<QList<FakeDiagnosticsService::FormPart>> FakeDiagnosticsService::parseForm(const QByteArray &contentType,
                                                                                         const QByteArray &body)
{
    if (!contentType.trimmed().toLower().startsWith("multipart/form-data"))
        return std::nullopt;
    const QByteArray boundary = parameter(contentType, "boundary").toUtf8();
    if (boundary.isEmpty())
        return std::nullopt;
    const QByteArray delimiter = "--" + boundary;
    if (!body.startsWith(delimiter))
        return std::nullopt;
    QList<FormPart> parts;
    qsizetype at = delimiter.size();
    for (;;) {
        if (body.mid(at, 2) == "--")
            return parts; // the closing delimiter
        if (body.mid(at, 2) != "\r\n")
            return std::nullopt;
        at += 2;
        const qsizetype headersEnd = body.indexOf("\r\n\r\n", at);
        if (headersEnd < 0)
            return std::nullopt;
        FormPart part;
        for (const QByteArray &line : body.mid(at, headersEnd - at).split('\n')) {
            const QByteArray trimmed = line.trimmed();
            const qsizetype colon = trimmed.indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = trimmed.left(colon).trimmed().toLower();
            const QByteArray value = trimmed.mid(colon + 1).trimmed();
            if (name == "content-disposition") {
                part.name = parameter(value, "name");
                part.fileName = parameter(value, "filename");
            } else if (name == "content-type") {
                part.contentType = value;
            }
        }
        const qsizetype dataStart = headersEnd + 4;
        const qsizetype next = body.indexOf("\r\n" + delimiter, dataStart);
        if (next < 0)
            return std::nullopt;
        part.data = body.mid(dataStart, next - dataStart);
        parts.append(part);
        at = next + 2 + delimiter.size();
    }
}

std::optional<QMap<QString, QByteArray>> FakeDiagnosticsService::unzip(const QByteArray &zip)
{
    QByteArray bytes = zip;
    QBuffer buffer(&bytes);
    QuaZip archive(&buffer);
    if (!archive.open(QuaZip::mdUnzip))
        return std::nullopt;
    QMap<QString, QByteArray> members;
    for (bool more = archive.goToFirstFile(); more; more = archive.goToNextFile()) {
        QuaZipFile member(&archive);
        if (!member.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QString name = member.getActualFileName();
        members.insert(name, member.readAll());
        member.close();
        if (member.getZipError() != UNZ_OK)
            return std::nullopt;
    }
    archive.close();
    return members;
}

std::optional<QString> FakeDiagnosticsService::reportProblem(const QMap<QString, QByteArray> &members)
{
    if (!members.contains(QStringLiteral("summary.json")))
        return QStringLiteral("summary.json is missing");
    const QJsonDocument summary = QJsonDocument::fromJson(members.value(QStringLiteral("summary.json")));
    if (!summary.isObject())
        return QStringLiteral("summary.json is not a JSON object");
    for (const char *key : {"app", "os", "account", "ledger"}) {
        if (!summary.object().value(QLatin1String(key)).isObject())
            return QStringLiteral("summary.json has no \"%1\" object").arg(QLatin1String(key));
    }
    if (!members.contains(QStringLiteral("ring.log")))
        return QStringLiteral("ring.log is missing");
    static const QRegularExpression logName(QStringLiteral("^logs/vantle-\\d+\\.log$"));
    for (auto it = members.begin(); it != members.end(); ++it) {
        const QString &name = it.key();
        if (name == QLatin1String("summary.json"))
            continue;
        if (name != QLatin1String("ring.log") && !logName.match(name).hasMatch())
            return QStringLiteral("unexpected member %1").arg(name);
        if (const auto problem = jsonLinesProblem(name, it.value()))
            return problem;
    }
    return std::nullopt;
}

ScriptedAnswer FakeDiagnosticsService::receive(const RecordedRequest &request)
{
    const QByteArray authorization = request.header("Authorization");
    const QByteArray token = authorization.startsWith("Bearer ") ? authorization.mid(7) : QByteArray();
    if (token.isEmpty() || (m_acceptedToken && QString::fromUtf8(token) != *m_acceptedToken))
        return errorAnswer(401, QStringLiteral("unauthorized"));

    const auto form = parseForm(request.header("Content-Type"), request.body);
    if (!form)
        return errorAnswer(400, QStringLiteral("bad_request"), QStringLiteral("expected multipart/form-data"));
    Upload upload;
    std::optional<FormPart> report;
    for (const FormPart &part : *form) {
        if (part.name == QLatin1String("report"))
            report = part;
        else
            upload.fields.insert(part.name, part.data);
    }
    if (!report || report->fileName.isEmpty())
        return errorAnswer(400, QStringLiteral("bad_request"), QStringLiteral("the \"report\" file is missing"));
    const auto members = unzip(report->data);
    if (!members)
        return errorAnswer(422, QStringLiteral("report_incomplete"), QStringLiteral("the report is not a zip"));
    if (const auto problem = reportProblem(*members))
        return errorAnswer(422, QStringLiteral("report_incomplete"), *problem);

    upload.members = *members;
    upload.code = supportCode();
    m_uploads.append(upload);
    const QJsonObject answer{{QStringLiteral("code"), upload.code}};
    return ScriptedAnswer::json(201, QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

} // namespace Fakes
