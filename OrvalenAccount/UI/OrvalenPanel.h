#pragma once

#include <QColor>
#include <QWidget>

// A rounded, filled panel with an optional one-point border; lays out its children.
class OrvalenPanel final : public QWidget {
    Q_OBJECT
public:
    OrvalenPanel(QColor fill, QColor border, qreal radius, QWidget *parent = nullptr);

    void setColors(const QColor &fill, const QColor &border);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
    QColor m_border;
    qreal m_radius;
};
