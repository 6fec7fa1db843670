#pragma once

#include "OrvalenAccount/KeychainStorage.h"
#include "Platform/ActivationPolicy.h"
#include "Platform/InMemoryCalendarStore.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Platform/RecordingActivationPolicy.h"
#include "Platform/RecordingSystemLog.h"
#include "Platform/SystemLog.h"
#include "Vantle/App/AppDelegate.h"
#include "Vantle/Services/AccountServiceHarness.h"
#include "Vantle/Services/DiagnosticUploader.h"
#include "Vantle/Services/MeetingsService.h"
#include "Vantle/Services/UpdaterService.h"
#include "Vantle/Utilities/LogCenter.h"
#include "Vantle/Views/DialogUpdaterUserDriver.h"
#include "Vantle/Views/SettingsSection.h"
#include "Vantle/Views/SettingsSwitch.h"
#include "Vantle/Views/SettingsView.h"
#include "support/ScriptedUpdaterUser.h"
#include "support/TaskRunner.h"
#include "tools/fakes/FakeDiagnosticsService.h"
#include "tools/fakes/FakeUpdateFeed.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

// Texts in failures as texts.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList &texts, std::ostream *os)
{
    *os << "{\n";
    for (const QString &text : texts)
        *os << "  \"" << text.toStdString() << "\"\n";
    *os << "}";
}

// Every URL the window hands to the desktop, instead of a browser.
class OpenedUrls final : public QObject {
    Q_OBJECT
public:
    OpenedUrls()
    {
        for (const char *scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~OpenedUrls() override
    {
        for (const char *scheme : {"http", "https"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

// The settings window over the application's real account objects (loopback sign-in
// services, an in-memory keychain), in-memory preferences, a recording activation layer, a
// private XDG config folder (the login item), an updater with or without a usable
// configuration, the meetings service over an in-memory calendar store and a diagnostic
// uploader sending to the loopback diagnostics intake with the stored session's token.
// Every event the window tracks and every line it logs is kept in order.
class SettingsFixture : public ::testing::Test {
private:
    // First, so it goes last: the log writes into it until the end.
    QTemporaryDir m_config;
    QByteArray m_previousConfig;

protected:
    static inline const QString accountID = QStringLiteral("oa_0190f3a2-7c1d-7b4e-9a55-2f9c1e8d4b6a");
    // The Account section while no one is signed in.
    static inline const QStringList signedOutAccountRows{
        QStringLiteral("[Sign in with Apple] | [Sign in with Google] | [Continue with email]"),
        QStringLiteral("[Reset & clear local data]"),
    };

    void SetUp() override
    {
        ASSERT_TRUE(m_config.isValid());
        m_previousConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        preferences = std::make_shared<InMemoryPreferences>();
        Preferences::setStandard(preferences);
        activation = std::make_shared<RecordingActivationPolicy>(ActivationPolicy::Policy::regular);
        ActivationPolicy::setShared(activation);
        keychain = std::make_shared<InMemoryKeychain>();
        account = std::make_unique<AccountServiceHarness>(keychain);
        buildUpdater(false);

        calendar = std::make_shared<InMemoryCalendarStore>();
        meetings = std::make_unique<MeetingsService>(calendar);
        meetings->setLogSink([this](const QString &level, const QString &message) {
            logLines.append(QStringLiteral("meetings ") + level + QLatin1Char(' ') + message);
        });

        SystemLog::setSink(std::make_shared<RecordingSystemLog>());
        LogCenter::Settings logSettings;
        logSettings.directory = m_config.filePath(QStringLiteral("logs"));
        logSettings.keepDebug = [] { return false; };
        logCenter = std::make_unique<LogCenter>(logSettings);
        uploader.setLogCenter(logCenter.get());
        uploader.setNetwork(&network);
        uploader.setIdentityURL([this] { return diagnostics.identityURL(); });
        uploader.setSessionTokenReader([this]() -> std::optional<QString> {
            const std::optional<StoredSession> session = account->stored();
            return session ? std::optional<QString>(session->oas) : std::nullopt;
        });
    }

    void TearDown() override
    {
        view.reset();
        meetings.reset();
        updater.reset();
        account.reset();
        SystemLog::setSink(nullptr);
        ActivationPolicy::setShared(nullptr);
        Preferences::setStandard(nullptr);
        qputenv("XDG_CONFIG_HOME", m_previousConfig);
    }

    QString configPath(const QString &relative) const { return m_config.filePath(relative); }

    // The updater, with the loopback feed's configuration or with none.
    void buildUpdater(bool usable)
    {
        view.reset();
        updater.reset();
        UpdaterService::Environment environment;
        if (usable) {
            environment.infoDictionary = {{QStringLiteral("SUFeedURL"), feed.feedURL().toString()},
                                          {QStringLiteral("SUPublicEDKey"), Fakes::FakeUpdateFeed::publicKey()}};
        }
        environment.currentVersion = QStringLiteral("1.0.0");
        environment.activation = &updaterActivation;
        environment.preferences = preferences.get();
        environment.makeUserDriver = [this]() -> std::unique_ptr<UpdaterUserDriver> {
            if (updateDialogs)
                return std::make_unique<DialogUpdaterUserDriver>();
            auto driver = std::make_unique<TestSupport::ScriptedUpdaterUser>();
            updateUser = driver.get();
            return driver;
        };
        environment.updaterSettings.firstScheduledCheck = std::chrono::hours(1);
        environment.forcedCheckDelay = std::chrono::milliseconds(0);
        updater = std::make_unique<UpdaterService>(environment);
    }

    // The launch of the account objects: signed out, or restored from a live session.
    void launchSignedOut()
    {
        account->storage().deleteData(KeychainStorage::Keys::session);
        account->launch();
        account->attach();
        ASSERT_TRUE(account->waitForLaunchRestore());
    }
    void launchSignedIn(const QString &id = accountID, const QString &email = QStringLiteral("ada@example.com"))
    {
        account->storeLiveSession(3600, id, email);
        account->launch();
        account->attach();
        ASSERT_TRUE(account->waitForLaunchRestore());
        ASSERT_TRUE(account->service->isAuthenticated());
    }

    SettingsView &makeView()
    {
        SettingsView::Environment environment;
        environment.track = [this](const QString &event, const Analytics::Properties &properties) {
            events.append({event, properties});
        };
        environment.log = [this](const QString &level, const QString &message) {
            logLines.append(level + QLatin1Char(' ') + message);
        };
        environment.uploader = &uploader;
        // As the application relaunches: through its running instance, when there is one.
        environment.relaunchForReset = [] {
            if (AppDelegate *delegate = AppDelegate::shared())
                delegate->relaunchForReset();
        };
        view = std::make_unique<SettingsView>(account->service.get(), updater.get(), meetings.get(), environment);
        return *view;
    }

    // The "enabled" values tracked for `event`, in order.
    QList<bool> enabledValues(const QString &event) const
    {
        QList<bool> values;
        for (const auto &e : events) {
            if (e.first == event)
                values.append(e.second.value(QStringLiteral("enabled")).toBool());
        }
        return values;
    }

    QStringList eventNames() const
    {
        QStringList names;
        for (const auto &event : events)
            names.append(event.first);
        return names;
    }

    // ---- finding what the window shows ----

    // The sections in order; the footer's header is empty.
    QList<SettingsSection *> sections() const { return view->findChildren<SettingsSection *>(); }
    SettingsSection *section(const QString &header) const
    {
        for (SettingsSection *s : sections()) {
            if (s->header() && s->header()->text() == header)
                return s;
        }
        return nullptr;
    }

    // What one row shows, as a person reads it: labels as they are, "[title]" for a
    // button, "(title: on)" for a switch; the parts joined with " | ".
    static QString describeRow(QWidget *row)
    {
        QStringList parts;
        const QList<QWidget *> widgets = row->findChildren<QWidget *>();
        for (QWidget *w : widgets) {
            if (!w->isVisibleTo(row))
                continue;
            if (auto *toggle = qobject_cast<SettingsSwitch *>(w)) {
                parts.append(QStringLiteral("(%1: %2)").arg(toggle->text(), toggle->isChecked() ? "on" : "off"));
            } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
                const QString text = button->text().isEmpty() ? button->accessibleName() : button->text();
                parts.append(QLatin1Char('[') + QString(text).replace(QStringLiteral("&&"), QStringLiteral("&")) +
                             QLatin1Char(']'));
            } else if (auto *label = qobject_cast<QLabel *>(w)) {
                // A switch's own label is told by the switch.
                const bool insideButton = qobject_cast<QAbstractButton *>(label->parentWidget());
                const bool switchLabel = !row->findChildren<SettingsSwitch *>().isEmpty();
                if (!insideButton && !switchLabel && !label->text().isEmpty())
                    parts.append(label->text());
            }
        }
        return parts.join(QStringLiteral(" | "));
    }
    static QStringList visibleRows(SettingsSection *section)
    {
        QStringList rows;
        for (QWidget *row : section->rows()) {
            if (row->isVisibleTo(section))
                rows.append(describeRow(row));
        }
        return rows;
    }

    template <typename T = QAbstractButton>
    T *button(const QString &text) const
    {
        for (T *b : view->findChildren<T *>()) {
            const QString shown = QString(b->text()).replace(QStringLiteral("&&"), QStringLiteral("&"));
            if (shown == text || (b->text().isEmpty() && b->accessibleName() == text))
                return b;
        }
        return nullptr;
    }
    SettingsSwitch *toggle(const QString &text) const { return button<SettingsSwitch>(text); }

    static void click(QAbstractButton *b)
    {
        ASSERT_TRUE(b);
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    }

    // The top-level dialog of type T on screen, if any.
    template <typename T>
    static T *shownDialog()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *d = qobject_cast<T *>(w); d && d->isVisible())
                return d;
        }
        return nullptr;
    }

    Fakes::FakeUpdateFeed feed;
    RecordingActivationPolicy updaterActivation{ActivationPolicy::Policy::accessory};
    TestSupport::ScriptedUpdaterUser *updateUser = nullptr;
    // The application's own update dialogs instead of the scripted person (set before
    // buildUpdater).
    bool updateDialogs = false;
    std::shared_ptr<InMemoryPreferences> preferences;
    std::shared_ptr<RecordingActivationPolicy> activation;
    std::shared_ptr<InMemoryKeychain> keychain;
    std::unique_ptr<AccountServiceHarness> account;
    std::unique_ptr<UpdaterService> updater;
    std::shared_ptr<InMemoryCalendarStore> calendar;
    std::unique_ptr<MeetingsService> meetings;
    Fakes::FakeDiagnosticsService diagnostics;
    QNetworkAccessManager network;
    std::unique_ptr<LogCenter> logCenter;
    DiagnosticUploader uploader;
    std::unique_ptr<SettingsView> view;
    QList<QPair<QString, Analytics::Properties>> events;
    QStringList logLines;
};
