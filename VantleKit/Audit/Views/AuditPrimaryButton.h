#pragma once

#include "AuditButton.h"

class QShortcut;

// The screen's main action: the title in bold 17 (lg) or 15 (sm), `onAccent` on an `accent`
// fill of corner radius 14 (continuous); padding 28 (lg) or 22 (sm) sideways, at least 50 (lg)
// or 44 (sm) high. Under the pointer the whole button is 0.05 brighter. Disabled, it shows at
// half opacity, does not brighten and does not act. As the default button (and enabled) it
// answers Return, only while it is visible: the default button of a hidden screen does not.
// Under a root with an AuditDefaultAction installed, that handler answers Return for it.
class AuditPrimaryButton final : public AuditButton {
    Q_OBJECT
public:
    enum class Size { lg, sm };
    Q_ENUM(Size)

    AuditPrimaryButton(const QString &title, Size size, bool isDefault = false, QWidget *parent = nullptr);

    Size size() const { return m_size; }
    bool isDefault() const { return m_isDefault; }
    void setIsDefault(bool isDefault);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    friend class AuditDefaultAction;
    void syncShortcut();
    QFont titleFont() const;

    Size m_size;
    bool m_isDefault;
    QShortcut *m_shortcut;
};
