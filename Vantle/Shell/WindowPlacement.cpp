#include "Vantle/Shell/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

// The frame's margins: the window's own once it has been on screen; before that, those
// another window of the application got from the same window manager.
QMargins frameMargins(const QWidget *window)
{
    if (const QWindow *handle = window->windowHandle(); handle && !handle->frameMargins().isNull())
        return handle->frameMargins();
    const auto windows = QGuiApplication::topLevelWindows();
    for (const QWindow *other : windows) {
        if (other->isVisible() && !other->frameMargins().isNull())
            return other->frameMargins();
    }
    return {};
}

} // namespace

void WindowPlacement::keepWithinScreen(QWidget *window, QWidget *over)
{
    if (window && !window->findChild<WindowPlacement *>(QString(), Qt::FindDirectChildrenOnly))
        new WindowPlacement(window, over);
}

WindowPlacement::WindowPlacement(QWidget *window, QWidget *over)
    : QObject(window), m_window(window), m_over(over)
{
    window->installEventFilter(this);
}

QRect WindowPlacement::within(QRect frame, const QRect &area)
{
    frame.moveLeft(std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())));
    frame.moveTop(std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height())));
    return frame;
}

bool WindowPlacement::eventFilter(QObject *watched, QEvent *event)
{
    // A spontaneous show or hide is the window manager's (minimised, restored): its place.
    if (watched == m_window && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            place();
        else if (event->type() == QEvent::Hide)
            m_lastFrame = m_window->frameGeometry();
    }
    return QObject::eventFilter(watched, event);
}

void WindowPlacement::place()
{
    // The show event comes before the window is mapped: moved now, it appears in its place.
    const QMargins margins = frameMargins(m_window);
    QRect frame = QRect(QPoint(), m_window->size()).marginsAdded(margins);
    // Over the window it belongs to whenever that one is on screen, wherever it was left
    // last time: it opens where the person is looking.
    const bool overShown = m_over && m_over->isVisible() && !m_over->isMinimized() && m_over->window() != m_window;
    if (overShown) {
        frame.moveCenter(m_over->frameGeometry().center());
    } else if (!m_lastFrame.isNull()) {
        frame.moveTopLeft(m_lastFrame.topLeft());
    } else if (const QScreen *screen = m_window->screen()) {
        frame.moveCenter(screen->availableGeometry().center());
    }
    const QScreen *screen = QGuiApplication::screenAt(frame.center());
    if (!screen)
        screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    m_window->move(within(frame, screen->availableGeometry()).topLeft());
}
