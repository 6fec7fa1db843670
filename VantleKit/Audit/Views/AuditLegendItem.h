#pragma once

#include "AuditSwatch.h"

#include <QWidget>

// One entry of the dashboard's legend: an 11 × 11 swatch (corner radius 3, a 1-wide `border`
// ring when bordered), 7 apart from its text in regular 13, `muted`.
class AuditLegendItem final : public QWidget {
    Q_OBJECT
public:
    explicit AuditLegendItem(QWidget *parent = nullptr);

    void setEntry(const AuditFill &color, bool bordered, const QString &text);
    QString text() const { return m_text; }
    AuditSwatch *swatch() const { return m_swatch; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    AuditSwatch *m_swatch;
    QString m_text;
};
