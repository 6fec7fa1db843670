#pragma once

#include <QPointer>
#include <QWidget>

class QVBoxLayout;

// The card that holds a screen's controls: children stacked, leading-aligned, no spacing;
// padding 32 sideways and 28 above and below; as wide as it is given; a `card` fill under a
// 1-wide `border` edge, corner radius 24 (continuous), with two black shadows (35 % radius 1
// down 1; 30 % radius 14 down 10).
//
// The shadows fall outside the card's own rectangle, so they are painted by a widget of their
// own, placed in the nearest ancestor with room for them (or the nearest that paints a
// background, or the window) and stacked just under the branch that holds the card; the
// containers between are see-through. The card's size in its layout is only the card.
class AuditCard final : public QWidget {
    Q_OBJECT
public:
    explicit AuditCard(QWidget *parent = nullptr);
    ~AuditCard() override;

    void addWidget(QWidget *widget);
    QVBoxLayout *contentLayout() const { return m_layout; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void syncShadow();
    void watchAncestors(QWidget *host);

    QVBoxLayout *m_layout;
    QPointer<QWidget> m_shadow;
    QList<QPointer<QWidget>> m_watched;
    bool m_syncing = false;
};
