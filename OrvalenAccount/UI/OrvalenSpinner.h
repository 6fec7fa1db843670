#pragma once

#include <QColor>
#include <QWidget>

class QTimer;

// A small turning arc that says "working"; turns only while shown.
class OrvalenSpinner final : public QWidget {
    Q_OBJECT
public:
    explicit OrvalenSpinner(QColor color, int diameter = 14, QWidget *parent = nullptr);

    void setColor(const QColor &color);
    QSize sizeHint() const override { return QSize(m_diameter, m_diameter); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QColor m_color;
    int m_diameter;
    int m_angle = 0;
    QTimer *m_timer;
};
