#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>

class AccountService;
class FreshLaunchToast;
class LedgerModel;
class OrvalenAccountBridge;
class QVBoxLayout;

// The main window's content, chosen from the account and the ledger:
//   loading  until the launch restore has ended (and while a signed-in person's categories
//            have not arrived yet);
//   offline  while a signed-in person's categories could not be loaded: a Retry, and the
//            ledger's own retries move on by themselves once the week arrives;
//   gate     the first-run gate while the person is signed out or has not passed it; a
//            fresh one after every sign-out;
//   audit    the Hour Audit while the person has no category to track;
//   main     the ledger, as soon as a category is visible.
// It also keeps the ledger following the signed-in state (from the end of the launch
// restore, or 3 seconds after start at the latest), and shows "Your week is ready." when
// a launch found the person signed in and their week is on screen.
class RootView final : public QWidget {
    Q_OBJECT
public:
    enum class Surface { loading, gate, audit, main, offline };
    Q_ENUM(Surface)

    // How each surface is made. The root view owns what they return and deletes it when
    // the surface goes; a gate calls `onComplete` once the person has passed it.
    struct Surfaces {
        std::function<QWidget *(std::function<void()> onComplete, QWidget *parent)> gate;
        std::function<QWidget *(QWidget *parent)> audit;
        std::function<QWidget *(QWidget *parent)> main;
        // Whether a sign-in the gate started itself is still running, whatever its buttons
        // look like (a cancel refused once the browser handed the code back leaves it
        // running): then it routes the person on by itself, to the welcome step of a new
        // account. A sign-in finished anywhere else leaves the gate waiting.
        std::function<bool(QWidget *gate)> gateIsSigningIn;
    };

    static constexpr std::chrono::milliseconds ledgerFollowDeadline{3000};
    // How long a gate made for a signed-in person stays undrawn while it passes them on.
    static constexpr std::chrono::milliseconds gateRevealDelay{1000};
    static QString name(Surface surface);
    // The view shown while there is nothing else to show yet.
    static QWidget *makeLoadingView(QWidget *parent);

    RootView(AccountService *account, OrvalenAccountBridge *bridge, LedgerModel *ledger, Surfaces surfaces,
             QWidget *parent = nullptr);
    ~RootView() override;

    Surface surface() const { return m_surface; }
    QWidget *content() const { return m_content; }
    FreshLaunchToast *toast() const { return m_toast; }
    bool gateCompleted() const { return m_gateCompleted; }

Q_SIGNALS:
    void surfaceChanged(RootView::Surface surface);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    Surface wantedSurface() const;
    void route();
    void present(Surface surface);
    QWidget *make(Surface surface);
    void followLedger();
    void onAuthenticatedChanged(bool authenticated);
    void onAccountChanged(const QString &accountID);
    void onRestoreCompleted();

    QPointer<AccountService> m_account;
    QPointer<OrvalenAccountBridge> m_bridge;
    QPointer<LedgerModel> m_ledger;
    Surfaces m_surfaces;

    QVBoxLayout *m_layout;
    QPointer<QWidget> m_content;
    Surface m_surface = Surface::loading;
    FreshLaunchToast *m_toast;

    bool m_wasAuthenticated = false;
    bool m_gateCompleted = false;
    quint64 m_gateGeneration = 0;
    bool m_ledgerFollows = false;
    QTimer m_followDeadline;
    QString m_ledgerAccount;
    // The launch found the person signed in: greet them once their week shows.
    bool m_greetOnContent = false;
};
