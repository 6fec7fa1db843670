#pragma once

#include <QPointer>
#include <QScrollArea>

class QGraphicsOpacityEffect;
class QVariantAnimation;
class QPropertyAnimation;

// The frame of one screen of the audit: a vertical scroll view holding the screen in a column
// at most 860 wide, centred, with 28 on either side, 40 above and 90 below.
//
// A screen a little too tall for the window gives up to 24 of the 40 above it, as much as it
// needs to end 10 inside the window: its last row, the screen's buttons, is then not cut at
// the window's edge. A screen that would not fit even so keeps the whole 40 and scrolls.
//
// Only the active host is shown and takes input. Whenever its screen becomes the active one
// (and when it first appears active), the host goes back to its top and the screen rises into
// place: drawn 12 lower and transparent, it eases out to its place and full opacity over
// 0.3 s. With reduce motion on it simply appears in place.
//
// Its scroll bars are thin and drawn in the palette (a `muted` thumb on no track), so they do
// not stand out of the dark canvas the way the platform's light ones would.
class AuditScreenHost final : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int maxColumnWidth = 860;
    static constexpr int riseDistance = 12;
    static constexpr int riseMilliseconds = 300;
    static constexpr int scrollMilliseconds = 350;

    explicit AuditScreenHost(QWidget *parent = nullptr);
    ~AuditScreenHost() override;

    void setContent(QWidget *screen);
    QWidget *content() const { return m_content; }

    bool isActive() const { return m_active; }
    void setActive(bool active);

    // Where the rise stands: opacity 0 to 1, and how far below its place the screen is drawn.
    qreal riseOpacity() const { return m_opacity; }
    qreal riseOffset() const { return m_offset; }
    bool isRising() const;

    // Scrolls so that the top of `anchor`, a widget of the screen, stands at the top: eased
    // in and out over 0.35 s, or at once when `animated` is false or reduce motion is on.
    void scrollToAnchor(QWidget *anchor, bool animated = true);
    bool isScrolling() const;
    // Scrolls the host holding `widget`, if any, just far enough to show it whole (with
    // `margin` above and below), at once: a part of the screen that has just opened or been
    // added, laid out first if the layouts still owe it its place.
    static void bringIntoView(QWidget *widget, int margin = 24);

Q_SIGNALS:
    // The screen's drawn offset changed; the flow places the host accordingly.
    void riseOffsetChanged(qreal offset);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;

private:
    void rise();
    void styleScrollBars();
    void setRise(qreal progress);

    QWidget *m_column;
    QPointer<QWidget> m_content;
    bool m_active = false;
    bool m_appeared = false;
    qreal m_opacity = 1;
    qreal m_offset = 0;
    QVariantAnimation *m_rise;
    QPointer<QGraphicsOpacityEffect> m_fade;
    QPropertyAnimation *m_scroll;
};
