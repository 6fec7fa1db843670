#pragma once

#include "OrvalenAccount/OrvalenAccountManager.h"
#include "OrvalenAccount/OrvalenConfig.h"

#include <QObject>
#include <QString>

#include <optional>

// The application's side of the account layer: fixes this application's account
// configuration, owns the one account manager of the process, and tells the
// application's own request code which session is signed in right now.
class OrvalenAccountBridge final : public QObject {
    Q_OBJECT
    Q_PROPERTY(OrvalenAccountManager *manager READ manager CONSTANT)
    Q_PROPERTY(bool didJustRestore READ didJustRestore WRITE setDidJustRestore NOTIFY didJustRestoreChanged)

public:
    // The signed-in session: its token and the published account.
    struct Session {
        QString oas;
        QString accountID;
        QString email;
        bool operator==(const Session &) const = default;
    };

    static inline const QString appSlug = QStringLiteral("vantle");

    // Builds the configuration and the manager; reads no session and sends nothing.
    explicit OrvalenAccountBridge(QObject *parent = nullptr);
    // The same configuration, with the manager built over `environment` (tests).
    OrvalenAccountBridge(OrvalenAccountManager::Environment environment, QObject *parent = nullptr);

    // The account configuration of this application.
    static OrvalenConfig makeConfig();

    OrvalenAccountManager *manager() const { return m_manager; }

    // The session token of the stored session with the published account's identifier and
    // e-mail; nothing unless the manager is signed in and a session is stored. From memory:
    // no keychain call (see OrvalenAccountManager::storedSession).
    std::optional<Session> currentSession() const;

    bool didJustRestore() const { return m_didJustRestore; }
    void setDidJustRestore(bool value);

Q_SIGNALS:
    void didJustRestoreChanged(bool value);

private:
    OrvalenAccountManager *m_manager = nullptr; // child
    bool m_didJustRestore = false;
};
