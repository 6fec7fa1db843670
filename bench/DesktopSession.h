#pragma once

// The desktop a benchmark's programs run on, as a person's would be, and apart from the
// person's own: a private D-Bus session with an unlocked gnome-keyring kept in a throw-away
// home (never the keyring of whoever runs the benchmark), and an X display ($DISPLAY, or an
// Xvfb of the run's own when none is set) that does not reset between two programs.

#include <QProcess>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace DesktopSession {

inline constexpr const char *innerVariable = "VANTLE_BENCH_INNER";

// Runs the program again inside the private session and returns its exit status, for the
// outer process to return; nothing when this process is the one inside.
inline std::optional<int> enter(int argc, char **argv)
{
    if (std::getenv(innerVariable))
        return std::nullopt;
    char scratch[] = "/tmp/vantle-bench.XXXXXX";
    if (!::mkdtemp(scratch)) {
        std::perror("bench: mkdtemp");
        return 1;
    }
    // The keyring daemon keeps its keyrings under the home it starts in.
    std::string command = std::string("export HOME=") + scratch + " XDG_DATA_HOME=" + scratch
        + "/data XDG_CONFIG_HOME=" + scratch + "/config XDG_CACHE_HOME=" + scratch + "/cache;"
          " mkdir -p \"$XDG_DATA_HOME\" \"$XDG_CONFIG_HOME\" \"$XDG_CACHE_HOME\";"
          " eval \"$(echo -n bench | gnome-keyring-daemon --unlock --components=secrets)\" >/dev/null;"
        + " " + innerVariable + "=1 exec \"$0\" \"$@\"";
    std::vector<char *> args{const_cast<char *>("dbus-run-session"), const_cast<char *>("--"),
                             const_cast<char *>("bash"), const_cast<char *>("-c"), command.data()};
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp("dbus-run-session", args.data());
        std::perror("bench: dbus-run-session");
        std::_Exit(127);
    }
    int status = 1;
    if (child > 0)
        ::waitpid(child, &status, 0);
    const std::string remove = std::string("rm -rf ") + scratch;
    if (std::system(remove.c_str()) != 0)
        std::fprintf(stderr, "bench: %s was left behind\n", scratch);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// The X display of the run: $DISPLAY, or an Xvfb started for the run (and stopped with
// this object). Either way it must not reset between two programs, as a person's desktop
// never does: an X server whose last client leaves resets and compiles its keymap again,
// and a program started right after waits for that, which flatters any ratio against a
// small baseline. The Xvfb is started with -noreset, and this object holds a connection
// to the display for the whole run, which keeps any server from resetting.
class Display {
public:
    Display()
    {
        if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
            m_name = qEnvironmentVariable("DISPLAY");
            m_origin = "$DISPLAY";
        } else {
            startXvfb();
        }
        if (!m_name.isEmpty())
            holdConnection();
    }
    ~Display()
    {
        if (m_connection)
            m_disconnect(m_connection);
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    Display(const Display &) = delete;
    Display &operator=(const Display &) = delete;

    // ":n"; empty when there is none and Xvfb could not be started.
    QString name() const { return m_name; }
    // Which display the run used, and whether it can reset between starts, for the report.
    std::string description() const
    {
        std::string text = m_name.toStdString() + " (" + m_origin;
        text += m_connection ? ", a connection held for the run: no reset between starts)"
                             : "; no connection could be held: a server started without -noreset resets between starts)";
        return text;
    }

private:
    void startXvfb()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        m_process.setChildProcessModifier([fds]() { ::dup2(fds[1], 9); });
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("9"), QStringLiteral("-noreset"),
                                                 QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24"),
                                                 QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        ::close(fds[1]);
        char buffer[16] = {};
        const ssize_t got = ::read(fds[0], buffer, sizeof buffer - 1);
        ::close(fds[0]);
        if (got > 0)
            m_name = QStringLiteral(":") + QString::fromLatin1(buffer).trimmed();
        m_origin = "an Xvfb of this run, -noreset";
    }

    // Through libxcb, loaded here: the benchmark links no X library of its own.
    void holdConnection()
    {
        void *xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!xcb)
            return;
        using Connect = void *(*)(const char *, int *);
        using HasError = int (*)(void *);
        const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
        const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
        m_disconnect = reinterpret_cast<void (*)(void *)>(::dlsym(xcb, "xcb_disconnect"));
        if (!connect || !hasError || !m_disconnect)
            return;
        void *connection = connect(m_name.toLocal8Bit().constData(), nullptr);
        if (connection && hasError(connection) == 0)
            m_connection = connection;
        else if (connection)
            m_disconnect(connection);
    }

    QProcess m_process;
    QString m_name;
    std::string m_origin;
    void *m_connection = nullptr;
    void (*m_disconnect)(void *) = nullptr;
};

} // namespace DesktopSession
