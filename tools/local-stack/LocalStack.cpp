#include "tools/local-stack/LocalStack.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <stdexcept>

namespace {

[[noreturn]] void failWith(const QString &message)
{
    throw std::runtime_error(message.toStdString());
}

} // namespace

LocalStack::LocalStack(QString dataDirectory, QObject *parent)
    : QObject(parent), m_dataDirectory(std::move(dataDirectory))
{
    // Unreadable or missing: new ports, written again at start.
    QFile ports(portsFile());
    if (ports.open(QIODevice::ReadOnly))
        m_savedPorts = QJsonDocument::fromJson(ports.readAll()).object();
}

QString LocalStack::portsFile() const
{
    return QDir(m_dataDirectory).filePath(QStringLiteral("ports.json"));
}

void LocalStack::savePorts() const
{
    QJsonObject ports;
    for (const auto &entry : m_entries) {
        if (entry->ownAddress)
            ports.insert(entry->name, int(entry->service->port()));
    }
    const QByteArray bytes = QJsonDocument(ports).toJson(QJsonDocument::Indented);
    QSaveFile file(portsFile());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        failWith(QStringLiteral("%1: cannot be written: %2").arg(portsFile(), file.errorString()));
}

LocalStack::~LocalStack() = default;

QString LocalStack::stateFile(const QString &name) const
{
    return QDir(m_dataDirectory).filePath(name + QStringLiteral(".json"));
}

void LocalStack::add(std::unique_ptr<Fakes::FakeService> service, const QString &name, const QString &envName,
                     Fakes::FakeService *host)
{
    for (const auto &entry : m_entries) {
        if (entry->name == name)
            failWith(QStringLiteral("two services are registered as \"%1\"").arg(name));
    }
    auto entry = std::make_unique<Entry>();
    entry->name = name;
    entry->envName = envName;
    entry->service = std::move(service);
    Entry *raw = entry.get();
    raw->ownAddress = host == nullptr;
    if (host)
        host->mount(raw->service.get());
    else if (const int port = m_savedPorts.value(name).toInt(); port > 0 && port <= 65535)
        raw->service->moveTo(quint16(port)); // taken by now: a new port, written by savePorts()
    // Saved after each answer, not on a timer: a stack stopped by a signal or a crash
    // has already written everything it acknowledged.
    connect(raw->service.get(), &Fakes::FakeService::requestAnswered, this, [this, raw]() {
        try {
            saveEntry(*raw);
        } catch (const std::exception &error) {
            Q_EMIT saveFailed(QString::fromUtf8(error.what()));
        }
    });
    m_entries.push_back(std::move(entry));
}

void LocalStack::restore()
{
    for (const auto &entry : m_entries) {
        const QString path = stateFile(entry->name);
        QFile file(path);
        if (!file.exists())
            continue;
        if (!file.open(QIODevice::ReadOnly))
            failWith(QStringLiteral("%1: cannot be read: %2").arg(path, file.errorString()));
        const QByteArray bytes = file.readAll();
        QJsonParseError parseError{};
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
        if (parseError.error != QJsonParseError::NoError || !document.isObject())
            failWith(QStringLiteral("%1: not a JSON object (%2)").arg(path, parseError.errorString()));
        try {
            entry->service->restoreState(document.object());
        } catch (const std::exception &error) {
            failWith(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(error.what())));
        }
        entry->written = bytes;
    }
}

void LocalStack::save()
{
    for (const auto &entry : m_entries)
        saveEntry(*entry);
}

void LocalStack::saveEntry(Entry &entry)
{
    const QJsonObject state = entry.service->saveState();
    if (state.isEmpty() && entry.written.isEmpty())
        return;
    const QByteArray bytes = QJsonDocument(state).toJson(QJsonDocument::Indented);
    if (bytes == entry.written)
        return;
    const QString path = stateFile(entry.name);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        failWith(QStringLiteral("%1: cannot be written: %2").arg(path, file.errorString()));
    entry.written = bytes;
}

QList<std::pair<QString, QUrl>> LocalStack::addresses() const
{
    QList<std::pair<QString, QUrl>> out;
    for (const auto &entry : m_entries) {
        if (!entry->envName.isEmpty())
            out.append({entry->envName, entry->service->baseUrl()});
    }
    return out;
}

QByteArray LocalStack::environment() const
{
    QByteArray text = "# The local stack's addresses; gone when it stops.\n";
    for (const auto &[name, url] : addresses())
        text += name.toUtf8() + '=' + url.toString().toUtf8() + '\n';
    for (const auto &[name, value] : m_variables)
        text += name.toUtf8() + '=' + value.toUtf8() + '\n';
    return text;
}
