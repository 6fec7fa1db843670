// Renders the settings window and its dialogs to PNG files, offscreen, so their look can be
// checked without a display:
//
//   settings-gallery <output folder> [--scale <factor>]
//
// Writes signed-out.png and signed-in.png (the window as it opens), signed-out-form.png and
// signed-in-form.png (the whole form, unscrolled), signing-in.png, sign-in-failed.png,
// launch-at-login-conflict.png, reset-confirmation.png, sending.png (the report on its
// way), report-sent.png, report-copied.png, report-failed.png and error-reports-note.png; and
// with the keyboard on a control: switch-on-focused.png and switch-off-focused.png (a
// switch on and off), sign-in-failed-focused.png ("OK") and report-sent-focused.png
// ("Copy code").
// Each picture is taken only when the window is in the state it names; otherwise the
// gallery says which on stderr and exits with 1. Nothing leaves the machine: the account
// lives in an in-memory keychain, reports go to a loopback diagnostics intake and every
// other service address is a closed loopback port.

#include "OrvalenAccount/KeychainStorage.h"
#include "OrvalenAccount/OrvalenInstallMetrics.h"
#include "OrvalenAccount/StoredSession.h"
#include "Platform/AppModule.h"
#include "Platform/ApplicationFont.h"
#include "Platform/InMemoryCalendarStore.h"
#include "Platform/InMemoryKeychain.h"
#include "Platform/Preferences.h"
#include "Platform/RecordingSystemLog.h"
#include "Platform/SystemLog.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/DiagnosticUploader.h"
#include "Vantle/Services/MeetingsService.h"
#include "Vantle/Services/OrvalenAccountBridge.h"
#include "Vantle/Services/UpdaterService.h"
#include "Vantle/Utilities/KeychainHelper.h"
#include "Vantle/Utilities/LogCenter.h"
#include "Vantle/Views/SettingsAlert.h"
#include "Vantle/Views/SettingsSheet.h"
#include "Vantle/Views/SettingsSwitch.h"
#include "Vantle/Views/SettingsView.h"
#include "tools/fakes/FakeDiagnosticsService.h"
#include "tools/fakes/FakeService.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

qreal g_scale = 1.0;
QString g_folder;

void settle()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 150)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Saves the picture when `shown` holds: it is of the state its name says. Otherwise says
// so, loudly, and saves nothing.
bool save(QPixmap pixmap, const QString &name, bool shown, const char *state)
{
    if (!shown) {
        std::fprintf(stderr, "settings-gallery: %s.png not taken: the window is not %s\n", qPrintable(name), state);
        return false;
    }
    if (g_scale != 1.0)
        pixmap = pixmap.scaled(pixmap.size() * g_scale, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QString path = QDir(g_folder).filePath(name + QStringLiteral(".png"));
    const bool ok = pixmap.save(path);
    QTextStream(stdout) << path << ' ' << pixmap.width() << 'x' << pixmap.height() << (ok ? "" : " FAILED") << '\n';
    return ok;
}

// The whole form at the window's width, as if the window were tall enough.
QPixmap wholeForm(SettingsView &view)
{
    auto *scroll = view.findChild<QScrollArea *>();
    QWidget *form = scroll->widget();
    form->resize(form->width(), form->sizeHint().height());
    QPixmap pixmap = form->grab();
    scroll->setWidgetResizable(true);
    return pixmap;
}

// A dialog drawn over the window it belongs to, centred, as the desktop would show it.
QPixmap over(SettingsView &view, QWidget *dialog)
{
    QPixmap base = view.grab();
    QPainter painter(&base);
    painter.fillRect(base.rect(), QColor(0, 0, 0, 90));
    const QPixmap top = dialog->grab();
    const QPointF at((view.width() - dialog->width()) / 2.0, 60);
    painter.drawPixmap(at, top);
    return base;
}

template <typename T>
T *shown()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<T *>(w); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

SettingsAlert *openAlert() { return shown<SettingsAlert>(); }

bool alertTitled(const QString &title)
{
    const SettingsAlert *alert = openAlert();
    return alert && alert->titleText() == title;
}

bool sheetTitled(const QString &title)
{
    const SettingsSheet *sheet = shown<SettingsSheet>();
    return sheet && sheet->titleText() == title;
}

template <typename T>
T *named(QWidget &view, const QString &text)
{
    for (T *w : view.findChildren<T *>()) {
        if (w->text() == text || w->objectName() == text)
            return w;
    }
    return nullptr;
}

bool waitFor(const std::function<bool()> &condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Puts the keyboard on `control` in its active window, as Tab would; whether it is there.
bool focusByKeyboard(QWidget *control)
{
    if (!control)
        return false;
    QWidget *window = control->window();
    window->activateWindow();
    waitFor([window] { return QApplication::activeWindow() == window; });
    control->setFocus(Qt::TabFocusReason);
    settle();
    return control->hasFocus();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    for (const char *name : {"VANTLE_AUTHORITY_URL", "VANTLE_IDENTITY_URL", "VANTLE_ANALYTICS_URL"})
        qputenv(name, "http://127.0.0.1:9");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    QApplication app(argc, argv);
    ApplicationFont::apply();
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: settings-gallery <output folder> [--scale <factor>]\n");
        return 2;
    }
    g_folder = args.at(1);
    if (const auto i = args.indexOf(QStringLiteral("--scale")); i > 0 && i + 1 < args.size())
        g_scale = args.at(i + 1).toDouble();
    if (!QDir().mkpath(g_folder))
        return 1;
    AppModule::setDirectories({QStringLiteral(VANTLE_MODULE_BUILD_DIR)});

    Preferences::setStandard(std::make_shared<InMemoryPreferences>());
    auto keychain = std::make_shared<InMemoryKeychain>();
    KeychainHelper::setKeychain(keychain);
    OrvalenInstallMetrics::setKeychain(keychain);
    QFile machineId(home.filePath(QStringLiteral("machine-id")));
    machineId.open(QIODevice::WriteOnly);
    machineId.write("3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    machineId.close();
    DeviceService device(machineId.fileName());

    UpdaterService::Environment updaterEnvironment;
    updaterEnvironment.currentVersion = QStringLiteral("0.1.0");
    UpdaterService updater(updaterEnvironment);
    MeetingsService meetings(std::make_shared<InMemoryCalendarStore>());

    SystemLog::setSink(std::make_shared<RecordingSystemLog>());
    LogCenter::Settings logSettings;
    logSettings.directory = home.filePath(QStringLiteral("logs"));
    LogCenter logCenter(logSettings);
    Fakes::FakeDiagnosticsService intake;
    QNetworkAccessManager network;
    DiagnosticUploader uploader;
    uploader.setLogCenter(&logCenter);
    uploader.setNetwork(&network);
    uploader.setIdentityURL([&intake] { return intake.identityURL(); });
    uploader.setSessionTokenReader([]() -> std::optional<QString> { return QStringLiteral("oas_gallery"); });

    OrvalenAccountManager::Environment managerEnvironment;
    managerEnvironment.keychain = keychain;
    managerEnvironment.dpop.keychain = keychain;
    AccountService::Environment serviceEnvironment;
    serviceEnvironment.track = [](const QString &, const Analytics::Properties &) {};
    serviceEnvironment.identify = [](const QString &) {};
    serviceEnvironment.log = [](const QString &, const QString &) {};
    serviceEnvironment.installID = [] { return QStringLiteral("dev_gallery"); };
    serviceEnvironment.keychain = keychain;
    SettingsView::Environment quiet;
    quiet.track = [](const QString &, const Analytics::Properties &) {};
    quiet.log = [](const QString &, const QString &) {};
    quiet.uploader = &uploader;

    bool ok = true;
    {
        // Signed out.
        OrvalenAccountBridge bridge(managerEnvironment);
        AccountService account(&device, serviceEnvironment);
        account.attach(&bridge);
        settle();
        SettingsView view(&account, &updater, &meetings, quiet);
        view.show();
        settle();
        const bool signedOut = !account.isAuthenticated();
        ok &= save(view.grab(), QStringLiteral("signed-out"), signedOut, "signed out");
        ok &= save(wholeForm(view), QStringLiteral("signed-out-form"), signedOut, "signed out");

        // A sign-in on its way (the buttons busy, with a cancel), then failing: the
        // authority's address is a closed port.
        view.startSignInFromSettings(OAuthDriver::ProviderHint::google);
        ok &= save(view.grab(), QStringLiteral("signing-in"), account.isAuthenticating(), "signing in");
        waitFor([] { return openAlert() != nullptr; });
        const bool failed = alertTitled(QStringLiteral("Sign-in failed"));
        ok &= save(failed ? over(view, openAlert()) : view.grab(), QStringLiteral("sign-in-failed"), failed,
                   "showing a failed sign-in");
        const bool okFocused = failed && focusByKeyboard(openAlert()->cancelButton());
        ok &= save(okFocused ? over(view, openAlert()) : view.grab(), QStringLiteral("sign-in-failed-focused"),
                   okFocused, "showing a failed sign-in with the keyboard on \"OK\"");
        if (SettingsAlert *alert = openAlert())
            alert->reject();
        settle();

        // Someone else's autostart entry of the same name: the switch goes back, and says why.
        QDir().mkpath(home.filePath(QStringLiteral("config/autostart")));
        QFile foreign(home.filePath(QStringLiteral("config/autostart/vantle.desktop")));
        foreign.open(QIODevice::WriteOnly);
        foreign.write("[Desktop Entry]\nType=Application\nExec=/opt/other/vantle\n");
        foreign.close();
        named<SettingsSwitch>(view, QStringLiteral("Launch vantle at login"))->click();
        settle();
        const bool conflict = alertTitled(QStringLiteral("Couldn't turn on launch at login"));
        ok &= save(conflict ? over(view, openAlert()) : view.grab(), QStringLiteral("launch-at-login-conflict"),
                   conflict, "showing another program's login entry");
        if (SettingsAlert *alert = openAlert())
            alert->reject();
        foreign.remove();
    }
    {
        StoredSession session;
        session.oas = QStringLiteral("oas_gallery");
        session.expiresAt = QDateTime::currentDateTimeUtc().addDays(1);
        session.account = OrvalenAccount{OrvalenAccountID(QStringLiteral("oa_0190f3a2-7c1d-7b4e-9a55-2f9c1e8d4b6a")),
                                         QStringLiteral("ada@example.com"), std::nullopt};
        session.appSlug = QStringLiteral("vantle");
        session.issuedAt = QDateTime::currentDateTimeUtc();
        KeychainStorage(QStringLiteral("vantle"), std::nullopt, keychain)
            .setJSON(session, KeychainStorage::Keys::session);
        OrvalenAccountBridge bridge(managerEnvironment);
        AccountService account(&device, serviceEnvironment);
        account.attach(&bridge);
        settle();
        SettingsView view(&account, &updater, &meetings, quiet);
        view.show();
        settle();
        const bool signedIn = account.isAuthenticated();
        ok &= save(view.grab(), QStringLiteral("signed-in"), signedIn, "signed in");
        ok &= save(wholeForm(view), QStringLiteral("signed-in-form"), signedIn, "signed in");

        // A switch with the keyboard on it, on and off.
        auto *analytics = named<SettingsSwitch>(view, QStringLiteral("Share anonymous usage analytics"));
        view.findChild<QScrollArea *>()->ensureWidgetVisible(analytics);
        for (const bool on : {true, false}) {
            if (analytics->isChecked() != on)
                analytics->click();
            const bool focused = focusByKeyboard(analytics) && analytics->isChecked() == on;
            ok &= save(view.grab(), on ? QStringLiteral("switch-on-focused") : QStringLiteral("switch-off-focused"),
                       focused, on ? "showing a switch on with the keyboard on it" : "showing a switch off with the keyboard on it");
        }
        if (!analytics->isChecked())
            analytics->click();
        view.findChild<QScrollArea *>()->ensureWidgetVisible(named<QAbstractButton>(view, QStringLiteral("Sign out")));

        for (QAbstractButton *button : view.findChildren<QAbstractButton *>()) {
            if (button->objectName() == QLatin1String("resetButton"))
                button->click();
        }
        settle();
        const bool confirming = alertTitled(QStringLiteral("Reset & clear local data"));
        ok &= save(confirming ? over(view, openAlert()) : view.grab(), QStringLiteral("reset-confirmation"), confirming,
                   "asking to confirm the reset");
        if (SettingsAlert *confirm = openAlert())
            confirm->reject();
        settle();

        // The report: on its way, sent, its code copied, failed.
        auto *send = named<QPushButton>(view, QStringLiteral("sendReportButton"));
        auto *scroll = view.findChild<QScrollArea *>();
        scroll->ensureWidgetVisible(send);
        send->click();
        // Drawn at once, before the report can have arrived.
        ok &= save(view.grab(), QStringLiteral("sending"), view.isSendingDiagnostic(), "sending a report");
        waitFor([&] { return shown<SettingsSheet>() != nullptr; });
        const bool sent = sheetTitled(QStringLiteral("Diagnostic report sent")) && view.diagnosticResultCode();
        ok &= save(sent ? over(view, shown<SettingsSheet>()) : view.grab(), QStringLiteral("report-sent"), sent,
                   "showing a sent report's code");
        if (SettingsSheet *sheet = shown<SettingsSheet>(); sent && sheet) {
            const bool copyFocused = focusByKeyboard(sheet->primaryButton());
            ok &= save(over(view, sheet), QStringLiteral("report-sent-focused"), copyFocused,
                       "showing a sent report's code with the keyboard on \"Copy code\"");
            sheet->primaryButton()->click();
            settle();
            ok &= save(over(view, sheet), QStringLiteral("report-copied"), view.diagnosticCodeCopied(),
                       "showing the code copied");
        }
        if (SettingsSheet *sheet = shown<SettingsSheet>())
            sheet->secondaryButton()->click();
        ok &= waitFor([&] { return !view.isSendingDiagnostic(); });
        uploader.setIdentityURL(
            [] { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(Fakes::FakeService::closedPort())); });
        send->click();
        waitFor([&] { return shown<SettingsSheet>() != nullptr; });
        const bool notSent = sheetTitled(QStringLiteral("Couldn't send diagnostic report"));
        ok &= save(notSent ? over(view, shown<SettingsSheet>()) : view.grab(), QStringLiteral("report-failed"), notSent,
                   "showing why a report was not sent");
        if (SettingsSheet *sheet = shown<SettingsSheet>())
            sheet->secondaryButton()->click();
        ok &= waitFor([&] { return !view.isSendingDiagnostic(); });

        // The one-time note before error reports go off.
        named<SettingsSwitch>(view, QStringLiteral("Send anonymous error reports automatically"))->click();
        settle();
        const bool noting = sheetTitled(QStringLiteral("Help us fix issues faster"));
        ok &= save(noting ? over(view, shown<SettingsSheet>()) : view.grab(), QStringLiteral("error-reports-note"),
                   noting, "showing the note before error reports go off");
        if (SettingsSheet *note = shown<SettingsSheet>())
            note->reject();
    }
    SystemLog::setSink(nullptr);
    return ok ? 0 : 1;
}
