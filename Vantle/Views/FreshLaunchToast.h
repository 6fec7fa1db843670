#pragma once

#include <QEasingCurve>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>

class OrvalenAccountBridge;
class QGraphicsOpacityEffect;
class QParallelAnimationGroup;

// "Your week is ready.": a small card in the window's bottom-trailing corner, shown for a
// few seconds when the account bridge raises its just-restored flag (a launch that found
// the person still signed in and their week loaded). Showing it lowers the flag again.
// The parent places it with place(); it never takes the focus or a click.
class FreshLaunchToast final : public QWidget {
    Q_OBJECT
public:
    static inline const QString text = QStringLiteral("Your week is ready.");
    static constexpr int margin = 14;
    static constexpr std::chrono::milliseconds showDuration{250};
    static constexpr std::chrono::milliseconds visibleFor{3000};
    static constexpr std::chrono::milliseconds hideDuration{300};

    explicit FreshLaunchToast(OrvalenAccountBridge *bridge, QWidget *parent);
    ~FreshLaunchToast() override;

    // How far up from the window's bottom edge the toast reaches, margin included: what
    // stands in the window's bottom-trailing corner ends above it, not under it.
    static int reach();

    // Shows the toast when the flag is raised and it is not showing yet.
    void maybePresent();
    bool isPresented() const { return m_presented; }
    // Puts the toast in the parent's bottom-trailing corner (after a resize).
    void place();

protected:
    void paintEvent(QPaintEvent *event) override;
    QSize sizeHint() const override;

private:
    void dismiss();
    // Replaces the running animation with one that slides from `from` to `to` and fades from
    // `fromOpacity` to `toOpacity`; the caller starts it.
    void animate(QPoint from, QPoint to, qreal fromOpacity, qreal toOpacity, std::chrono::milliseconds duration,
                 QEasingCurve::Type curve);
    QPoint restingPosition() const;
    static QSize sizeFor(const QFont &font);

    QPointer<OrvalenAccountBridge> m_bridge;
    QGraphicsOpacityEffect *m_opacity;
    QParallelAnimationGroup *m_animation = nullptr;
    QTimer m_hideTimer;
    bool m_presented = false;
};
