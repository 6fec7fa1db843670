#pragma once

#include "OrvalenAccount/OAuthDriver.h"
#include "OrvalenAccount/UI/OrvalenProviderButtonStyle.h"

#include <QIcon>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class OrvalenLinkButton;
class OrvalenOutlineButton;
class OrvalenPanel;
class OrvalenProviderButtons;
class OrvalenSpinner;
class QLabel;
class QShortcut;
class QSpacerItem;

// The account module's sign-in screen: the app's icon, name and value proposition, one
// button per provider, and links to the terms of service and the privacy policy. It keeps
// no state of its own: the owner sets the phase and the screen shows it.
//   ready:   the provider buttons;
//   busy:    "Signing in to <app>…" above the buttons in their busy state, whose cancel
//            control (and Escape) calls onCancel;
//   offline: a card saying the service cannot be reached, with "Retry" calling onRetry
//            (the keyboard's focus on it as it comes; Return presses it);
//   error:   the message in an error row above the provider buttons.
class OrvalenSignInScreen final : public QWidget {
    Q_OBJECT
public:
    using ProviderHint = OAuthDriver::ProviderHint;

    class Phase final {
    public:
        enum class Kind { ready, busy, offline, error };

        static Phase ready() { return Phase(Kind::ready, {}); }
        static Phase busy() { return Phase(Kind::busy, {}); }
        static Phase offline() { return Phase(Kind::offline, {}); }
        static Phase error(QString message) { return Phase(Kind::error, std::move(message)); }

        Kind kind() const { return m_kind; }
        // The error's text; empty for every other phase.
        const QString &message() const { return m_message; }

        bool operator==(const Phase &) const = default;

    private:
        Phase(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {}

        Kind m_kind;
        QString m_message;
    };

    static inline const QString termsTitle = QStringLiteral("Terms of Service");
    static inline const QString privacyTitle = QStringLiteral("Privacy Policy");
    static inline const QString retryTitle = QStringLiteral("Retry");
    static inline const QString offlineTitle = QStringLiteral("Can\u2019t reach the sign-in service");
    static inline const QString offlineText = QStringLiteral("Check your internet connection, then retry.");

    OrvalenSignInScreen(QIcon appIcon, QString appName, QString valueProp, OrvalenProviderButtonStyle style,
                        Phase phase, QUrl privacyURL, QUrl termsURL, std::function<void(ProviderHint)> onTap,
                        std::function<void()> onCancel, std::function<void()> onRetry, QWidget *parent = nullptr);

    // "Signing in to " followed by the app name and an ellipsis.
    static QString progressText(const QString &appName);

    const Phase &phase() const { return m_phase; }
    void setPhase(const Phase &phase);
    void setButtonStyle(const OrvalenProviderButtonStyle &style);

    OrvalenProviderButtons *providerButtons() const { return m_buttons; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void sync();
    void restyle();

    QString m_appName;
    OrvalenProviderButtonStyle m_style;
    Phase m_phase;
    QUrl m_privacyURL;
    QUrl m_termsURL;
    std::function<void()> m_onCancel;
    std::function<void()> m_onRetry;

    QLabel *m_icon = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_valueProp = nullptr;
    OrvalenPanel *m_errorRow = nullptr;
    QLabel *m_errorText = nullptr;
    QWidget *m_progressRow = nullptr;
    OrvalenSpinner *m_spinner = nullptr;
    QLabel *m_progressText = nullptr;
    OrvalenPanel *m_offlineCard = nullptr;
    QLabel *m_offlineTitle = nullptr;
    QLabel *m_offlineText = nullptr;
    OrvalenOutlineButton *m_retry = nullptr;
    QSpacerItem *m_gap = nullptr;
    OrvalenProviderButtons *m_buttons = nullptr;
    OrvalenLinkButton *m_terms = nullptr;
    OrvalenLinkButton *m_privacy = nullptr;
    QLabel *m_linkSeparator = nullptr;
    QShortcut *m_escape = nullptr;
};
