#pragma once

#include <QObject>

class QWidget;

// The hover flag of an audit control: true while the pointer is over the widget, false when
// it leaves (or the widget is hidden under it). It changes no cursor and animates nothing;
// the owner repaints on hoveredChanged, so the look follows the pointer at once.
class AuditHover final : public QObject {
    Q_OBJECT
public:
    // Watches `target` and lives as its child.
    explicit AuditHover(QWidget *target);

    bool isHovered() const { return m_hovered; }

Q_SIGNALS:
    void hoveredChanged(bool hovered);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setHovered(bool hovered);

    bool m_hovered = false;
};
