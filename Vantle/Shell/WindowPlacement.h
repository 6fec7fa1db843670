#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class QWidget;

// Keeps a window within its screen's available area (the part panels and docks leave) each
// time it is shown: centred over `over` whenever that is on screen; otherwise where it was
// when last hidden, or else centred over the screen; moved in as far as needed. The settings
// open over the main window each time, a window reopened from the tray comes back where it
// was, and a window never opens with a part off the screen.
class WindowPlacement final : public QObject {
    Q_OBJECT
public:
    // Watches `window` from now on; belongs to it.
    static void keepWithinScreen(QWidget *window, QWidget *over = nullptr);

    // The place of a frame `frame` that lies within `area`: moved in by the least; a frame
    // larger than the area keeps its top-left corner in it.
    static QRect within(QRect frame, const QRect &area);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    WindowPlacement(QWidget *window, QWidget *over);
    void place();

    QPointer<QWidget> m_window;
    QPointer<QWidget> m_over;
    QRect m_lastFrame; // where it was when last hidden
};
