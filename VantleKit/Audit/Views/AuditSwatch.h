#pragma once

#include "AuditPalette.h"

#include <QWidget>

#include <variant>

// A fill: a fixed colour, or a role of the palette in effect.
using AuditFill = std::variant<QColor, AuditRole>;

// A small square of colour beside a row's title or a legend entry: `side` points across,
// corner radius `radius` (continuous), filled with a fixed colour or a palette role, with an
// optional 1-wide ring in `border` drawn inside its edge.
class AuditSwatch final : public QWidget {
    Q_OBJECT
public:
    AuditSwatch(int side, qreal radius, QWidget *parent = nullptr);

    void setFill(const AuditFill &fill);
    QColor color() const;
    void setBordered(bool bordered);
    bool isBordered() const { return m_bordered; }

    QSize sizeHint() const override { return QSize(m_side, m_side); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_side;
    qreal m_radius;
    AuditFill m_fill;
    bool m_bordered = false;
};
