#pragma once

#include "Vantle/App/SingleInstance.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

// The application's part in what the desktop asks of it: one running instance per
// user, the "vantle://" links that bring a sign-in back from the browser, and the
// relaunch after a reset.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    enum class LaunchRole {
        primary,   // this process is the running instance: build the application
        forwarded, // the running instance took this start's arguments: exit
        failed,    // another instance holds the lock but never answered: exit
    };
    enum class UrlOutcome {
        taken,    // the sign-in handler took the link
        notTaken, // the sign-in handler had no use for it
        queued,   // kept until the sign-in handler is set
        refused,  // not a link of ours: never reaches the sign-in handler
    };
    // Hands a sign-in link to the account layer; true when it was taken.
    using UrlHandler = std::function<bool(const QUrl &url)>;

    static inline const QString resetRelaunchPendingKey = QStringLiteral("vantle.resetRelaunchPending");
    // How long a start keeps trying to reach the running instance (it may still be
    // coming up), and how long a relaunched one waits for its predecessor to let go.
    static constexpr std::chrono::milliseconds forwardPatience{5000};
    static constexpr std::chrono::milliseconds relaunchPatience{10000};
    // Links kept while no sign-in handler is set; the oldest goes first.
    static constexpr qsizetype maxQueuedUrls = 8;

    explicit AppDelegate(QString runtimeDirectory = SingleInstance::defaultDirectory(), QObject *parent = nullptr);
    ~AppDelegate() override;

    // The running instance's delegate, from the moment launch() made this process the
    // running instance until the delegate is gone.
    static AppDelegate *shared();

    // Becomes the running instance, or hands `arguments` (without the program name)
    // to it. A start that follows relaunchForReset() waits for the old instance to
    // let go instead of handing its arguments to it. Never throws.
    QCoro::Task<LaunchRole> launch(QStringList arguments);
    // Takes over the instance lock the executable claimed before it put up the main
    // window, so that launch() makes this process the running instance at once.
    void adoptInstanceLock(std::unique_ptr<QLockFile> lock);

    // Links that arrived earlier are handed over now, in order.
    void setUrlHandler(UrlHandler handler);
    // Brings the main window forward when the person comes back from the browser or
    // starts the application again.
    void setActivationHandler(std::function<void()> activate);

    // Routes one link: "vantle://" with the host "auth", "auth-callback" or
    // "signed-in" brings the window forward, and goes to the sign-in handler when it
    // carries a state and a code or an error. Anything else is refused, so a stray
    // link cannot end a pending sign-in.
    UrlOutcome openUrl(const QUrl &url);

    // Marks the relaunch, starts a new instance of this program and quits; when the
    // new instance cannot be started the failure is logged, the mark taken back, and
    // this one keeps running.
    void relaunchForReset();

    // The program relaunchForReset() starts (this executable unless replaced) and what
    // it calls to quit (QCoreApplication::quit unless replaced).
    void setRelaunchProgram(QString program) { m_relaunchProgram = std::move(program); }
    void setQuitHandler(std::function<void()> quit) { m_quit = std::move(quit); }

private:
    void becomeRunningInstance(const QStringList &arguments);
    void receiveArguments(const QStringList &arguments, bool fromLaterStart);
    void activate();

    SingleInstance m_instance;
    UrlHandler m_urlHandler;
    std::function<void()> m_activate;
    std::function<void()> m_quit;
    QString m_relaunchProgram;
    QList<QUrl> m_queuedUrls;

    static QPointer<AppDelegate> s_shared;
};
