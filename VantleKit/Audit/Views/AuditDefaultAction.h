#pragma once

#include <QObject>
#include <QPointer>

class AuditPrimaryButton;
class QShortcut;
class QWidget;

// The one Return handler of an audit flow. Each screen marks its main button as the default
// one (AuditPrimaryButton's `isDefault`); with every screen built at once, more than one such
// button can be visible and enabled, and separate Return shortcuts would then cancel each
// other out: Return would press nothing. Installed on the flow's root, this one handler
// presses the default button under the root that is visible and enabled:
//
//     AuditDefaultAction::install(flowShell); // once, e.g. in the flow shell's constructor
//
// Return and Enter act while the root is visible and its window is active, whatever has the
// focus in it. When several default buttons are visible and enabled at once, the one nearest
// to the focus (the one sharing the deepest ancestor with it) is pressed, and among equals the
// first in the widget tree. A default button outside any installed root answers Return on
// its own, as before.
class AuditDefaultAction final : public QObject {
    Q_OBJECT
public:
    // Installs the handler on `root` (once: a second call returns the same handler). The
    // handler belongs to `root`.
    static AuditDefaultAction *install(QWidget *root);
    // The handler installed on `widget` or its nearest ancestor that has one, or null.
    static AuditDefaultAction *covering(const QWidget *widget);

    QWidget *root() const;
    // The button Return would press now, or null.
    AuditPrimaryButton *target() const;
    // Presses the target; false when there is none.
    bool press();

private:
    explicit AuditDefaultAction(QWidget *root);
    // Takes Return only while some button could act on it, so that the root being shown
    // does not make Return ambiguous for other shortcuts of the window.
    void refresh();

    friend class AuditPrimaryButton;

    QPointer<QWidget> m_root;
    QShortcut *m_shortcut;
};
