#include "AuditDefaultAction.h"

#include "AuditPrimaryButton.h"

#include <QApplication>
#include <QShortcut>
#include <QWidget>

namespace {
int depth(const QWidget *widget)
{
    int d = 0;
    for (; widget; widget = widget->parentWidget())
        ++d;
    return d;
}

// Depth of the deepest widget that holds both; 0 when they share none.
int sharedDepth(const QWidget *a, const QWidget *b)
{
    if (!a || !b)
        return 0;
    for (const QWidget *w = a; w; w = w->parentWidget()) {
        if (w == b || w->isAncestorOf(b))
            return depth(w);
    }
    return 0;
}
} // namespace

AuditDefaultAction::AuditDefaultAction(QWidget *root)
    : QObject(root)
    , m_root(root)
    , m_shortcut(new QShortcut(root))
{
    m_shortcut->setKeys({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    m_shortcut->setContext(Qt::WindowShortcut);
    m_shortcut->setAutoRepeat(false);
    connect(m_shortcut, &QShortcut::activated, this, &AuditDefaultAction::press);
}

AuditDefaultAction *AuditDefaultAction::install(QWidget *root)
{
    if (!root)
        return nullptr;
    if (auto *existing = root->findChild<AuditDefaultAction *>(QString(), Qt::FindDirectChildrenOnly))
        return existing;
    auto *handler = new AuditDefaultAction(root);
    // The buttons already under the root hand Return over.
    const auto buttons = root->findChildren<AuditPrimaryButton *>();
    for (AuditPrimaryButton *button : buttons)
        button->syncShortcut();
    handler->refresh();
    return handler;
}

AuditDefaultAction *AuditDefaultAction::covering(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (auto *handler = w->findChild<AuditDefaultAction *>(QString(), Qt::FindDirectChildrenOnly))
            return handler;
    }
    return nullptr;
}

QWidget *AuditDefaultAction::root() const
{
    return m_root;
}

AuditPrimaryButton *AuditDefaultAction::target() const
{
    if (!m_root)
        return nullptr;
    const QWidget *focus = m_root->window()->focusWidget();
    AuditPrimaryButton *best = nullptr;
    int bestDepth = -1;
    const auto buttons = m_root->findChildren<AuditPrimaryButton *>();
    for (AuditPrimaryButton *button : buttons) {
        if (!button->isDefault() || !button->isEnabled() || !button->isVisible() || covering(button) != this)
            continue;
        const int shared = sharedDepth(button, focus);
        if (shared > bestDepth) {
            best = button;
            bestDepth = shared;
        }
    }
    return best;
}

bool AuditDefaultAction::press()
{
    AuditPrimaryButton *button = target();
    if (!button)
        return false;
    button->click();
    return true;
}

void AuditDefaultAction::refresh()
{
    m_shortcut->setEnabled(target() != nullptr);
}
