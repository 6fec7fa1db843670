// local-stack: the remote services of Vantle, faked on loopback, for trying the
// application by hand (scripts/run starts it). It prints the address of each service,
// writes them as "VANTLE_..._URL=address" lines to an env file a shell can source,
// and keeps the services' data (accounts, sessions, categories, audits) and their ports
// in a folder across restarts.
//
//   local-stack [--data <folder>] [--env-file <file>]
//
// Defaults: $XDG_DATA_HOME/vantle/local-stack and the file "env" in it. The env file
// is written once every service listens and removed when the stack stops (SIGINT,
// SIGTERM). Exit status 3: another stack already uses the data folder.
//
// Adding a fake of tools/fakes to the stack is one line in registerServices() below:
//
//   stack.serve<Fakes::FakeCaptureService>("capture", "VANTLE_ANALYTICS_URL");
//       at an address of its own, given to the application in that variable;
//   stack.mount<Fakes::FakeGeoService>(identity, "geo");
//       at another fake's address, for paths of a host that several fakes share
//       (diagnostics, error events and the region probe live on the identity host).
//
// The name is the file its data is kept in. A fake keeps data across restarts by
// overriding FakeService::saveState() and restoreState(); the stack writes the file
// after every request the fake answered that changed it.

#include "tools/fakes/FakeAuthority.h"
#include "tools/fakes/FakeContactsService.h"
#include "tools/fakes/FakeCaptureService.h"
#include "tools/fakes/FakeDiagnosticsService.h"
#include "tools/fakes/FakeErrorEventsService.h"
#include "tools/fakes/FakeGeoService.h"
#include "tools/fakes/FakeIdentityService.h"
#include "tools/fakes/FakeLedgerService.h"
#include "tools/fakes/FakeUpdateFeed.h"
#include "tools/fakes/FakeWebSite.h"
#include "tools/local-stack/LocalStack.h"

#include "Platform/Deployment.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Returns where a newer release is asked for.
QUrl registerServices(LocalStack &stack)
{
    auto &authority = stack.serve<Fakes::FakeAuthority>(QStringLiteral("authority"), QStringLiteral("VANTLE_AUTHORITY_URL"));
    auto &identity = stack.serve<Fakes::FakeIdentityService>(QStringLiteral("identity"), QStringLiteral("VANTLE_IDENTITY_URL"));
    auto &ledger = stack.serve<Fakes::FakeLedgerService>(QStringLiteral("ledger"), QStringLiteral("VANTLE_LEDGER_URL"));

    // A person signs in on the authority's page; the code it hands out names the
    // e-mail address typed there, and each address is an account with its own ledger.
    authority.setSignInPage(true);
    identity.setAuthority(&authority);
    ledger.setTokenResolver([&identity](const QString &token) { return identity.accountOfSession(token); });
    auto &contacts = stack.serve<Fakes::FakeContactsService>(QStringLiteral("contacts"), QStringLiteral("VANTLE_CONTACTS_URL"));
    contacts.setContactResolver([&identity](const QString &token) { return identity.accountOfSession(token); });

    stack.serve<Fakes::FakeCaptureService>(QStringLiteral("capture"), QStringLiteral("VANTLE_ANALYTICS_URL"));
    // The pages the application opens in the browser: the maker's site (account, privacy,
    // terms, support) and the Hour Audit's page on the ledger's own address.
    stack.serve<Fakes::FakeWebSite>(QStringLiteral("web"), QStringLiteral("VANTLE_WEB_URL"));
    ledger.on(QStringLiteral("GET"), QStringLiteral("/audit"), Fakes::FakeWebSite::hourAuditPage());
    stack.mount<Fakes::FakeGeoService>(identity, QStringLiteral("geo"));
    stack.mount<Fakes::FakeErrorEventsService>(identity, QStringLiteral("error-events"));
    stack.mount<Fakes::FakeDiagnosticsService>(identity, QStringLiteral("diagnostics"));

    // The feed holds a release of this build's version, so a check finds Vantle up to date;
    // POST /updates/newer adds a newer one to see the update dialog. Its items are signed
    // with the fake's own key, which the application is told to trust.
    auto &feed = stack.serve<Fakes::FakeUpdateFeed>(QStringLiteral("updates"), QString());
    feed.serveAsRunning(Deployment::buildVersion());
    stack.setVariable(QStringLiteral("VANTLE_UPDATE_FEED_URL"), feed.feedURL().toString());
    stack.setVariable(QStringLiteral("VANTLE_UPDATE_PUBLIC_KEY"), Fakes::FakeUpdateFeed::publicKey());

    // What the application asks of the identity service besides sessions: the reachability
    // probe of the sign-in screen and the mirror of its analytics events (taken, not kept).
    identity.on(QStringLiteral("GET"), QStringLiteral("/api/whoami"),
                Fakes::ScriptedAnswer::json(200, R"({"service":"identity"})"));
    identity.on(QStringLiteral("POST"), QStringLiteral("/api/app-events"),
                Fakes::ScriptedAnswer::json(202, R"({"accepted":true})"));
    return feed.url(QString::fromLatin1(Fakes::FakeUpdateFeed::newerPath));
}

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
}

void say(const QString &line)
{
    std::fprintf(stdout, "local-stack: %s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

int fail(const QString &line, int status = 1)
{
    std::fprintf(stderr, "local-stack: %s\n", line.toLocal8Bit().constData());
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("local-stack"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Vantle's remote services, faked on loopback."));
    parser.addHelpOption();
    const QCommandLineOption dataOption(QStringLiteral("data"), QStringLiteral("Folder that keeps the services' data."),
                                        QStringLiteral("folder"));
    const QCommandLineOption envOption(QStringLiteral("env-file"), QStringLiteral("File the addresses are written to."),
                                       QStringLiteral("file"));
    parser.addOption(dataOption);
    parser.addOption(envOption);
    parser.process(app);

    const QString data = parser.isSet(dataOption)
        ? QDir(parser.value(dataOption)).absolutePath()
        : QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/vantle/local-stack");
    const QString envFile = parser.isSet(envOption) ? QFileInfo(parser.value(envOption)).absoluteFilePath()
                                                    : QDir(data).filePath(QStringLiteral("env"));

    if (!QDir().mkpath(data))
        return fail(QStringLiteral("cannot make the data folder %1").arg(data));
    // Tokens are kept in there.
    QFile::setPermissions(data, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QLockFile lock(QDir(data).filePath(QStringLiteral(".lock")));
    lock.setStaleLockTime(0); // only a dead owner frees it, never age
    if (!lock.tryLock(0))
        return fail(QStringLiteral("another local stack uses %1").arg(data), 3);

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return fail(QStringLiteral("cannot watch for signals"));
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&signalNotifier]() {
        signalNotifier.setEnabled(false);
        QCoreApplication::quit();
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    LocalStack stack(data);
    QUrl newerRelease;
    try {
        newerRelease = registerServices(stack);
        stack.restore();
        stack.savePorts();
    } catch (const std::exception &error) {
        return fail(QString::fromUtf8(error.what()));
    }
    QObject::connect(&stack, &LocalStack::saveFailed, &app, [](const QString &message) { fail(message); });

    for (const auto &[name, url] : stack.addresses())
        say(QStringLiteral("%1=%2").arg(name, url.toString()));
    QSaveFile env(envFile);
    const QByteArray environment = stack.environment();
    if (!env.open(QIODevice::WriteOnly) || env.write(environment) != environment.size() || !env.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(envFile, env.errorString()));
    say(QStringLiteral("data in %1").arg(data));
    say(QStringLiteral("to offer a newer release: curl -X POST %1").arg(newerRelease.toString()));
    say(QStringLiteral("addresses in %1").arg(envFile));
    say(QStringLiteral("ready"));

    const int status = app.exec();
    QFile::remove(envFile);
    try {
        stack.save();
    } catch (const std::exception &error) {
        return fail(QString::fromUtf8(error.what()));
    }
    say(QStringLiteral("stopped"));
    return status;
}
