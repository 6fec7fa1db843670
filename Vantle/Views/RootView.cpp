#include "Vantle/Views/RootView.h"

#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Services/AccountService.h"
#include "Vantle/Services/DeviceService.h"
#include "Vantle/Services/OrvalenAccountBridge.h"
#include "Vantle/Shell/LoadingView.h"
#include "Vantle/Utilities/Log.h"
#include "Vantle/Utilities/Theme.h"
#include "Vantle/Views/FreshLaunchToast.h"
#include "Vantle/Views/LedgerOfflineView.h"

#include <QTimer>
#include <QVBoxLayout>

namespace {

const Log &lifecycleLog()
{
    static const Log log(QStringLiteral("lifecycle"));
    return log;
}

} // namespace

QWidget *RootView::makeLoadingView(QWidget *parent)
{
    return new LoadingView(parent);
}

QString RootView::name(Surface surface)
{
    switch (surface) {
    case Surface::loading:
        return QStringLiteral("loading");
    case Surface::gate:
        return QStringLiteral("gate");
    case Surface::audit:
        return QStringLiteral("audit");
    case Surface::main:
        return QStringLiteral("main");
    case Surface::offline:
        return QStringLiteral("offline");
    }
    return QString();
}

RootView::RootView(AccountService *account, OrvalenAccountBridge *bridge, LedgerModel *ledger, Surfaces surfaces,
                   QWidget *parent)
    : QWidget(parent),
      m_account(account),
      m_bridge(bridge),
      m_ledger(ledger),
      m_surfaces(std::move(surfaces)),
      m_layout(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("rootView"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::canvas);
    setPalette(palette);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    m_content = makeLoadingView(this);
    m_layout->addWidget(m_content);
    m_toast = new FreshLaunchToast(bridge, this);

    if (m_account) {
        connect(m_account, &AccountService::didCompleteLaunchRestoreChanged, this, [this](bool completed) {
            if (completed)
                onRestoreCompleted();
        });
        connect(m_account, &AccountService::isAuthenticatedChanged, this, &RootView::onAuthenticatedChanged);
        connect(m_account, &AccountService::orvalenAccountIDChanged, this, &RootView::onAccountChanged);
    }
    if (m_ledger) {
        connect(m_ledger, &LedgerModel::categoriesChanged, this, &RootView::route);
        connect(m_ledger, &LedgerModel::didLoadCategoriesChanged, this, &RootView::route);
        connect(m_ledger, &LedgerModel::lastRefreshFailedChanged, this, &RootView::route);
    }

    // The ledger follows the account from the end of the launch restore, and after three
    // seconds at the latest: a restore stuck on the network must not hold it back for good.
    m_followDeadline.setSingleShot(true);
    m_followDeadline.setInterval(ledgerFollowDeadline);
    connect(&m_followDeadline, &QTimer::timeout, this, &RootView::followLedger);
    m_followDeadline.start();

    m_wasAuthenticated = m_account && m_account->isAuthenticated();
    if (m_account && m_account->didCompleteLaunchRestore())
        onRestoreCompleted();
    route();
}

RootView::~RootView() = default;

RootView::Surface RootView::wantedSurface() const
{
    if (!m_account || !m_account->didCompleteLaunchRestore())
        return Surface::loading;
    if (!m_account->isAuthenticated() || !m_gateCompleted)
        return Surface::gate;
    // Until the categories are in, neither the audit (a returning person would be asked to
    // take it again) nor an empty ledger is the right thing to show.
    if (!m_ledger)
        return Surface::loading;
    if (!m_ledger->didLoadCategories())
        return m_ledger->lastRefreshFailed() ? Surface::offline : Surface::loading;
    return m_ledger->visibleCategories().isEmpty() ? Surface::audit : Surface::main;
}

void RootView::route()
{
    const Surface wanted = wantedSurface();
    if (wanted == m_surface && m_content)
        return;
    present(wanted);
}

void RootView::present(Surface surface)
{
    QWidget *next = make(surface);
    if (m_content) {
        m_layout->removeWidget(m_content);
        m_content->hide();
        // Later: the old surface may be the one calling in (a gate's completion).
        m_content->deleteLater();
    }
    m_content = next;
    m_surface = surface;
    m_layout->addWidget(next);
    if (surface == Surface::gate && m_account && m_account->isAuthenticated()) {
        // A gate made for a person signed in already passes them on as soon as it appears:
        // its sign-in screen must not flash by meanwhile. Drawn after all should it stay.
        next->setUpdatesEnabled(false);
        QTimer::singleShot(gateRevealDelay, next, [next]() { next->setUpdatesEnabled(true); });
    }
    next->show();
    m_toast->raise();
    lifecycleLog().emit(QStringLiteral("info"), QStringLiteral("root_surface surface=%1").arg(name(surface)));

    if (surface == Surface::main && m_greetOnContent && m_bridge) {
        m_greetOnContent = false;
        m_bridge->setDidJustRestore(true);
    }
    Q_EMIT surfaceChanged(surface);
}

QWidget *RootView::make(Surface surface)
{
    QWidget *made = nullptr;
    switch (surface) {
    case Surface::loading:
        break;
    case Surface::gate:
        if (m_surfaces.gate) {
            const quint64 generation = ++m_gateGeneration;
            QPointer<RootView> self(this);
            made = m_surfaces.gate(
                [self, generation]() {
                    // Only the gate on screen counts, and only for a signed-in person.
                    if (!self || generation != self->m_gateGeneration || !self->m_account
                        || !self->m_account->isAuthenticated())
                        return;
                    self->m_gateCompleted = true;
                    self->route();
                },
                this);
        }
        break;
    case Surface::audit:
        if (m_surfaces.audit)
            made = m_surfaces.audit(this);
        break;
    case Surface::main:
        if (m_surfaces.main)
            made = m_surfaces.main(this);
        break;
    case Surface::offline:
        if (m_ledger)
            made = new LedgerOfflineView(m_ledger, this);
        break;
    }
    return made ? made : makeLoadingView(this);
}

void RootView::followLedger()
{
    m_followDeadline.stop();
    if (m_ledgerFollows || !m_ledger || !m_account)
        return;
    m_ledgerFollows = true;
    m_ledgerAccount = m_account->isAuthenticated() ? m_account->orvalenAccountID() : QString();
    m_ledger->setActive(m_account->isAuthenticated());
}

void RootView::onRestoreCompleted()
{
    m_greetOnContent = m_account && m_account->isAuthenticated();
    followLedger();
    route();
}

void RootView::onAuthenticatedChanged(bool authenticated)
{
    // Told once per change only: a repeat must not throw away the gate just made.
    if (authenticated == m_wasAuthenticated)
        return;
    m_wasAuthenticated = authenticated;
    // Read before the ledger changes: clearing it routes, which may bring a gate already.
    const bool gateShown = m_surface == Surface::gate;
    if (m_ledgerFollows && m_ledger) {
        m_ledgerAccount = authenticated ? m_account->orvalenAccountID() : QString();
        m_ledger->setActive(authenticated);
    }
    if (!authenticated) {
        m_greetOnContent = false;
        m_gateCompleted = false;
        // A fresh gate, whatever step the one on screen was at.
        if (gateShown)
            present(Surface::gate);
        route();
        return;
    }
    // Signed in somewhere other than this gate (the settings window): this gate would stay
    // on its sign-in step; a fresh one routes the signed-in person on at once.
    if (m_surface == Surface::gate && !m_gateCompleted && m_content
        && !(m_surfaces.gateIsSigningIn && m_surfaces.gateIsSigningIn(m_content))) {
        QPointer<RootView> self(this);
        QMetaObject::invokeMethod(
            this,
            [self]() {
                if (self && self->m_surface == Surface::gate && !self->m_gateCompleted && self->m_account
                    && self->m_account->isAuthenticated())
                    self->present(Surface::gate);
            },
            Qt::QueuedConnection);
    }
    route();
}

void RootView::onAccountChanged(const QString &accountID)
{
    // Another account signed in without a sign-out in between: its ledger, not the last one's.
    if (!m_ledgerFollows || !m_ledger || !m_account || !m_account->isAuthenticated() || m_ledgerAccount.isEmpty()
        || accountID == m_ledgerAccount)
        return;
    m_ledgerAccount = accountID;
    m_ledger->setActive(false);
    m_ledger->setActive(true);
}

void RootView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_toast->place();
}
