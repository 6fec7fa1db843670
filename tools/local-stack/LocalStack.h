#pragma once

#include "tools/fakes/FakeService.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <utility>
#include <vector>

// The fakes of the remote services, served together on loopback for a person trying
// the application. Each fake is registered once under a name: its data lives in
// "<data folder>/<name>.json", read back at start and written after every request
// that changed it, so accounts, sessions and ledgers outlive a restart. So do the ports
// ("<data folder>/ports.json"): an application still running keeps reaching a stack
// restarted under it, and a browser's "always open" choice for the authority holds.
class LocalStack final : public QObject {
    Q_OBJECT
public:
    explicit LocalStack(QString dataDirectory, QObject *parent = nullptr);
    ~LocalStack() override;

    // A fake at an address of its own, which the application reads from `envName`.
    template <typename Fake>
    Fake &serve(const QString &name, const QString &envName)
    {
        auto fake = std::make_unique<Fake>();
        Fake &added = *fake;
        add(std::move(fake), name, envName, nullptr);
        return added;
    }

    // A fake whose routes are paths of `host`'s address (one remote host, several fakes).
    template <typename Fake>
    Fake &mount(Fakes::FakeService &host, const QString &name)
    {
        auto fake = std::make_unique<Fake>();
        Fake &added = *fake;
        add(std::move(fake), name, QString(), &host);
        return added;
    }

    QString dataDirectory() const { return m_dataDirectory; }
    QString stateFile(const QString &name) const;
    QString portsFile() const;

    // Writes the port of every fake at an address of its own, for the next start. Throws
    // std::runtime_error naming the file when it cannot be written.
    void savePorts() const;

    // Reads every registered fake's saved data. Throws std::runtime_error naming the
    // file when one cannot be read or used; that file is left as it is.
    void restore();
    // Writes the data of every fake whose data changed since it was last read or written.
    // Throws std::runtime_error naming the file that could not be written.
    void save();

    // One more "NAME=value" line of the environment, for settings that are not a fake's
    // own address (a feed's full address, a public key).
    void setVariable(const QString &name, const QString &value) { m_variables.append({name, value}); }

    // (variable, address) of every fake served at an address of its own, in order.
    QList<std::pair<QString, QUrl>> addresses() const;
    // "NAME=address" lines a shell can source.
    QByteArray environment() const;

Q_SIGNALS:
    // A fake's data could not be written after a request (the service goes on).
    void saveFailed(const QString &message);

private:
    struct Entry {
        QString name;
        QString envName;
        bool ownAddress = true; // not mounted at another fake's
        std::unique_ptr<Fakes::FakeService> service;
        QByteArray written; // what the state file holds, as far as this process knows
    };

    void add(std::unique_ptr<Fakes::FakeService> service, const QString &name, const QString &envName,
             Fakes::FakeService *host);
    void saveEntry(Entry &entry);

    QString m_dataDirectory;
    // The ports of the last run, by name: each fake served at an address of its own takes
    // its old port again when it is free.
    QJsonObject m_savedPorts;
    std::vector<std::unique_ptr<Entry>> m_entries;
    QList<std::pair<QString, QString>> m_variables;
};
