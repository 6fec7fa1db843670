#pragma once

#include <QPointer>
#include <QWidget>

class QVBoxLayout;

// The card that holds a screen's controls: children stacked, leading-aligned, no spacing;
// padding 32 sideways and 28 above and below; as wide as it is given; a `card` fill under a
// 1-wide `border` edge, corner radius 24 (continuous), with two black shadows (35 % radius 1
// down 1; 30 % radius 14 down 10).
//
// A shadow's blur radius is the standard deviation of its Gaussian. The shadows fall outside
// the card's own rectangle, so they are painted by widgets of their own in the card's
// ancestors, stacked just under the branch that holds the card: one in the nearest ancestor
// with room for the whole shadow, and one more in every ancestor on the way there that paints
// its own background (it would hide a shadow below it), so a card flush in a filled container
// still casts its whole shadow. A scroll area's viewport ends the way: what scrolls is cut at
// its edge. The card's size in its layout is only the card.
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
    void watchAncestors(QWidget *outermost);

    QVBoxLayout *m_layout;
    QList<QPointer<QWidget>> m_shadows; // innermost first
    QList<QPointer<QWidget>> m_watched;
    bool m_syncing = false;
};
