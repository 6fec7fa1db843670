#pragma once

#include <QApplication>
#include <QList>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace TestSupport {

// Presses Tab `count` times in the active window `window`, as a person would, and tells where
// each press put the focus.
inline QList<QWidget *> pressTab(QWidget *window, int count)
{
    QList<QWidget *> stops;
    for (int i = 0; i < count; ++i) {
        QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
        stops.append(QApplication::focusWidget());
    }
    return stops;
}

} // namespace TestSupport
