#pragma once

#include "AuditPalette.h"

#include <QWidget>

// The dashboard's big number: hours as half-hour text in bold monospaced 92, letter spacing
// -1.5, centred in the width it is given. Its text changes on every frame of the count-up, so
// it only repaints: its size never depends on the text.
class AuditRevealNumber final : public QWidget {
    Q_OBJECT
public:
    explicit AuditRevealNumber(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    void setColorRole(AuditRole role);
    AuditRole colorRole() const { return m_role; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    AuditRole m_role = AuditRole::accentInk;
};
