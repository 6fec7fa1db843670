#pragma once

#include <QString>

// Launch at login: an XDG autostart entry, "$XDG_CONFIG_HOME/autostart/vantle.desktop",
// which the desktop runs when the person logs in. The entry is ours when its
// "[Desktop Entry]" group carries "X-Vantle-LoginItem=true"; an entry of that name that
// someone else wrote is never reported as ours, never written over and never removed.
// The desktop (or the person) turns an entry off with "Hidden=true" or, in GNOME's
// "Startup Applications", "X-GNOME-Autostart-enabled=false"; either reads as not
// registered. The entry is read as the desktop's session reads it (GLib's key-file rules:
// booleans are exactly true/1 or false/0, the last of a repeated key counts, a repeated
// group adds to the first, and a file with a line those rules refuse starts nothing), so
// that "enabled" means the session will start Vantle.
class LoginItem final {
public:
    enum class Status {
        notRegistered,
        enabled,
    };

    static inline const QString ownerKey = QStringLiteral("X-Vantle-LoginItem");

    // The application's own entry, starting the running executable (or the launcher a
    // development run names, see Deployment::launcher()). The folder is read
    // from the environment on each call.
    static LoginItem mainApp();

    // An entry at `filePath` whose Exec line runs `program` (an absolute path).
    LoginItem(QString filePath, QString program);

    // Enabled exactly when the file exists, is ours and is turned off by neither key.
    Status status() const;
    // Writes the entry atomically, creating the folder as needed. Throws LoginItemError,
    // also (kind conflict) when an entry of someone else's stands at the path.
    void registerItem() const;
    // Removes our entry; no entry, or one that is not ours, is left as it is.
    // Throws LoginItemError when the file cannot be removed.
    void unregisterItem() const;

    const QString &filePath() const { return m_filePath; }
    // The entry's text as registerItem() writes it.
    QByteArray entryText() const;

private:
    QString m_filePath;
    QString m_program;
};
