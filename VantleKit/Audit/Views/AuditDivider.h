#pragma once

#include <QWidget>

// The rule between two rows of a card: 1 high, full width, `elevated`.
class AuditDivider final : public QWidget {
    Q_OBJECT
public:
    explicit AuditDivider(QWidget *parent = nullptr);

    QSize sizeHint() const override { return QSize(0, 1); }

protected:
    void paintEvent(QPaintEvent *event) override;
};
