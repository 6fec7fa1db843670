#include "EdsSandbox.h"

#include "support/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <libecal/libecal.h>

#include <csignal>
#include <stdexcept>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QString registryProgram = QStringLiteral("/usr/libexec/evolution-source-registry");
const QString factoryProgram = QStringLiteral("/usr/libexec/evolution-calendar-factory");

// A bus with no service files: only what a test starts runs on it.
const char busConfig[] = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

struct BusState {
    QTemporaryDir dir;
    QProcess daemon;
    QString address;
};
BusState *bus = nullptr;

// Children die with the test program and run in a process group of their own, so that
// ending one also ends the helper processes it started.
void makeChildOfOurs(QProcess &process)
{
    process.setChildProcessModifier([]() {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
}

bool nameHasOwner(const char *name)
{
    GDBusConnection *connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!connection)
        return false;
    GVariant *reply = g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name),
                                                  G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    g_object_unref(connection);
    if (!reply)
        return false;
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

[[noreturn]] void fail(const QString &what, GError *error)
{
    const std::string message = (what + QStringLiteral(": ") + QString::fromUtf8(error ? error->message : "?")).toStdString();
    g_clear_error(&error);
    throw std::runtime_error(message);
}

} // namespace

QString EdsSandbox::missingPrograms()
{
    QStringList missing;
    for (const QString &program : {registryProgram, factoryProgram}) {
        if (!QFileInfo(program).isExecutable())
            missing.append(program);
    }
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        missing.append(QStringLiteral("dbus-daemon"));
    return missing.join(QStringLiteral(", "));
}

QString EdsSandbox::startBus()
{
    if (bus)
        return {};
    auto state = std::make_unique<BusState>();
    const QString config = state->dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(busConfig) < 0)
        return QStringLiteral("cannot write the bus configuration");
    file.close();
    makeChildOfOurs(state->daemon);
    state->daemon.start(QStringLiteral("dbus-daemon"),
                        {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                         QStringLiteral("--print-address=1")});
    if (!state->daemon.waitForStarted(10000))
        return QStringLiteral("dbus-daemon did not start: ") + state->daemon.errorString();
    while (!state->daemon.canReadLine()) {
        if (!state->daemon.waitForReadyRead(10000))
            return QStringLiteral("dbus-daemon gave no address");
    }
    state->address = QString::fromUtf8(state->daemon.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", state->address.toUtf8());
    bus = state.release();
    return {};
}

void EdsSandbox::stopBus()
{
    if (!bus)
        return;
    // Our connection must not take the process down with the bus.
    if (GDBusConnection *connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
        g_dbus_connection_set_exit_on_close(connection, FALSE);
        g_object_unref(connection);
    }
    bus->daemon.kill();
    bus->daemon.waitForFinished(5000);
    delete bus;
    bus = nullptr;
}

QString EdsSandbox::busAddress()
{
    return bus ? bus->address : QString();
}

struct EdsDaemons::Process {
    QProcess process;
    QString program;
    const char *busName;
};

EdsDaemons::EdsDaemons() = default;

EdsDaemons::~EdsDaemons()
{
    stop();
}

void EdsDaemons::addLocalCalendar(const QString &uid, const QString &name, const QString &color)
{
    const QString sources = m_root.filePath(QStringLiteral("config/evolution/sources"));
    QDir().mkpath(sources);
    QFile file(sources + QLatin1Char('/') + uid + QStringLiteral(".source"));
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write a calendar source");
    file.write(QStringLiteral("[Data Source]\nDisplayName=%1\nEnabled=true\nParent=local-stub\n\n"
                              "[Calendar]\nBackendName=local\nColor=%2\nSelected=true\n")
                   .arg(name, color)
                   .toUtf8());
}

QString EdsDaemons::start()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), EdsSandbox::busAddress());
    environment.insert(QStringLiteral("HOME"), m_root.path());
    for (const char *folder : {"config", "data", "cache"}) {
        const QString path = m_root.filePath(QString::fromLatin1(folder));
        QDir().mkpath(path);
        environment.insert(QStringLiteral("XDG_%1_HOME").arg(QString::fromLatin1(folder).toUpper()), path);
    }
    environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));

    auto launch = [&](const QString &program, const char *busName) -> std::unique_ptr<Process> {
        auto child = std::make_unique<Process>();
        child->program = program;
        child->busName = busName;
        child->process.setProcessEnvironment(environment);
        child->process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->process.setStandardOutputFile(QProcess::nullDevice());
        makeChildOfOurs(child->process);
        child->process.start(program, {});
        return child;
    };
    auto answering = [](Process &child) -> QString {
        if (!child.process.waitForStarted(10000))
            return child.program + QStringLiteral(" did not start: ") + child.process.errorString();
        if (!TestSupport::waitUntil([&]() { return nameHasOwner(child.busName); }))
            return child.program + QStringLiteral(" did not take its name on the bus");
        return {};
    };
    // The factory reads its calendars from the registry when it starts, and nothing on this
    // bus starts the registry for it: the registry must answer first.
    if (!m_registry) {
        m_registry = launch(registryProgram, "org.gnome.evolution.dataserver.Sources5");
        if (QString failure = answering(*m_registry); !failure.isEmpty())
            return failure;
    }
    if (!m_factory) {
        m_factory = launch(factoryProgram, "org.gnome.evolution.dataserver.Calendar8");
        if (QString failure = answering(*m_factory); !failure.isEmpty())
            return failure;
    }
    return {};
}

void EdsDaemons::stop()
{
    for (auto *child : {&m_registry, &m_factory}) {
        if (!*child)
            continue;
        QProcess &process = (*child)->process;
        const qint64 pid = process.processId();
        if (pid > 0) {
            ::kill(static_cast<pid_t>(pid), SIGCONT);
            ::kill(-static_cast<pid_t>(pid), SIGKILL);
        }
        process.waitForFinished(5000);
        child->reset();
    }
    // The bus drops the names once the processes are gone.
    TestSupport::waitUntil([]() {
        return !nameHasOwner("org.gnome.evolution.dataserver.Sources5")
            && !nameHasOwner("org.gnome.evolution.dataserver.Calendar8");
    });
}

void EdsDaemons::freezeRegistry()
{
    if (!m_registry)
        return;
    const auto pid = static_cast<pid_t>(m_registry->process.processId());
    ::kill(pid, SIGSTOP);
    // The signal only asks: each thread stops when it next enters the kernel, and until then
    // the registry may still answer. Wait until every one of them has stopped.
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    TestSupport::waitUntil([&]() {
        for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat(tasks + QLatin1Char('/') + task + QStringLiteral("/stat"));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // "pid (name) S ...": the state follows the name's closing parenthesis.
            const QByteArray line = stat.readAll();
            const qsizetype close = line.lastIndexOf(')');
            if (close < 0 || close + 2 >= line.size() || line.at(close + 2) != 'T')
                return false;
        }
        return true;
    });
}

void EdsDaemons::thawRegistry()
{
    if (m_registry)
        ::kill(static_cast<pid_t>(m_registry->process.processId()), SIGCONT);
}

struct CalendarWriter::Private {
    ESourceRegistry *registry = nullptr;
    ECalClient *client = nullptr;
};

CalendarWriter::CalendarWriter(const QString &sourceUid) : d(std::make_unique<Private>())
{
    GError *error = nullptr;
    d->registry = e_source_registry_new_sync(nullptr, &error);
    if (!d->registry)
        fail(QStringLiteral("registry"), error);
    ESource *source = e_source_registry_ref_source(d->registry, sourceUid.toUtf8().constData());
    if (!source)
        throw std::runtime_error("no such calendar: " + sourceUid.toStdString());
    EClient *client =
        e_cal_client_connect_sync(source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS, static_cast<guint32>(-1), nullptr, &error);
    g_object_unref(source);
    if (!client)
        fail(QStringLiteral("connect"), error);
    d->client = E_CAL_CLIENT(client);
}

CalendarWriter::~CalendarWriter()
{
    if (d->client)
        g_object_unref(d->client);
    if (d->registry)
        g_object_unref(d->registry);
}

QString CalendarWriter::tzid(const QString &location)
{
    ICalTimezone *zone = i_cal_timezone_get_builtin_timezone(location.toUtf8().constData());
    if (!zone)
        throw std::runtime_error("unknown zone " + location.toStdString());
    GError *error = nullptr;
    if (!e_cal_client_add_timezone_sync(d->client, zone, nullptr, &error))
        fail(QStringLiteral("add timezone"), error);
    return QString::fromUtf8(i_cal_timezone_get_tzid(zone));
}

void CalendarWriter::add(const QStringList &vevents)
{
    GSList *components = nullptr;
    for (const QString &text : vevents) {
        ICalComponent *component = i_cal_component_new_from_string(text.toUtf8().constData());
        if (!component)
            throw std::runtime_error("not a VEVENT: " + text.toStdString());
        components = g_slist_prepend(components, component);
    }
    GError *error = nullptr;
    GSList *uids = nullptr;
    const gboolean ok =
        e_cal_client_create_objects_sync(d->client, components, E_CAL_OPERATION_FLAG_NONE, &uids, nullptr, &error);
    g_slist_free_full(components, g_object_unref);
    g_slist_free_full(uids, g_free);
    if (!ok)
        fail(QStringLiteral("create"), error);
}

void CalendarWriter::changeOccurrence(const QString &vevent)
{
    ICalComponent *component = i_cal_component_new_from_string(vevent.toUtf8().constData());
    if (!component)
        throw std::runtime_error("not a VEVENT: " + vevent.toStdString());
    GError *error = nullptr;
    const gboolean ok = e_cal_client_modify_object_sync(d->client, component, E_CAL_OBJ_MOD_THIS,
                                                        E_CAL_OPERATION_FLAG_NONE, nullptr, &error);
    g_object_unref(component);
    if (!ok)
        fail(QStringLiteral("modify"), error);
}

void CalendarWriter::remove(const QString &uid)
{
    GError *error = nullptr;
    if (!e_cal_client_remove_object_sync(d->client, uid.toUtf8().constData(), nullptr, E_CAL_OBJ_MOD_ALL,
                                         E_CAL_OPERATION_FLAG_NONE, nullptr, &error))
        fail(QStringLiteral("remove"), error);
}
