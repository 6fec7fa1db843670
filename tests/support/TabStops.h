#pragma once

#include "support/Pixels.h"

#include <QApplication>
#include <QImage>
#include <QList>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace TestSupport {

// Where one press of Tab put the focus, and how many pixels of that widget's area (with
// `ringRoom` pixels round it, where a ring may be drawn) clearly changed as it arrived.
struct TabStop {
    QWidget *widget = nullptr;
    int changed = 0;
};

// Presses Tab `count` times in the active window `window`, as a person would.
inline QList<TabStop> pressTab(QWidget *window, int count, int ringRoom = 4)
{
    QList<TabStop> stops;
    for (int i = 0; i < count; ++i) {
        const QImage before = window->grab().toImage();
        QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
        QWidget *now = QApplication::focusWidget();
        const QImage after = window->grab().toImage();
        QRect area;
        if (now && now->window() == window) {
            area = QRect(now->mapTo(window, QPoint()), now->size())
                       .adjusted(-ringRoom, -ringRoom, ringRoom, ringRoom)
                       .intersected(window->rect());
        }
        stops.append({now, area.isEmpty() ? 0 : clearlyChangedPixels(before.copy(area), after.copy(area), 60, 0)});
    }
    return stops;
}

} // namespace TestSupport
