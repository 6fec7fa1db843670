#pragma once

#include <QBasicTimer>
#include <QWidget>

// What the main window shows while Vantle gets ready: a spinning indicator in the middle
// of the canvas. It draws no text, so the first frame never waits for the font database;
// screen readers still hear "Loading…". It turns only while it is on screen.
class LoadingView final : public QWidget {
    Q_OBJECT
public:
    static inline const QString identifier = QStringLiteral("loadingView");
    // The indicator's spokes and how often it moves on by one.
    static constexpr int spokes = 8;
    static constexpr int stepMs = 100;

    explicit LoadingView(QWidget *parent = nullptr);

    // Whether the indicator is turning (only while the view is shown).
    bool isSpinning() const { return m_timer.isActive(); }
    // The spoke drawn brightest.
    int step() const { return m_step; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    QBasicTimer m_timer;
    int m_step = 0;
};
