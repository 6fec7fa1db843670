#pragma once

#include "VantleKit/Audit/Views/AuditPalette.h"

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <cmath>
#include <cstdlib>

namespace ViewTest {

// A palette whose twelve roles are all different colours, none of them coal's: a view that
// paints with the wrong role shows it (in coal, accent and accentInk are the same colour).
inline AuditPalette distinctPalette()
{
    return AuditPalette{
        vantHex(0x101820), // canvas
        vantHex(0x2A3A4A), // card
        vantHex(0x3C2A50), // elevated
        vantHex(0x5A6E3C), // border
        vantHex(0xF0F8E0), // text
        vantHex(0xA08C78), // muted
        vantHex(0xE07020), // accent
        vantHex(0x20C0E0), // accentInk
        vantHex(0xF0D040), // accentStrong
        vantHex(0xE03060), // danger
        vantHex(0x081040), // onAccent
        vantHex(0x506070), // sleepFill
    };
}

// A window holding the components under test on the palette's canvas. activate() shows it
// and makes it the active window, so Return reaches its shortcuts.
class Window final : public QWidget {
public:
    explicit Window(const AuditPalette &palette = distinctPalette())
    {
        AuditPalette::set(this, palette);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(10, 10, 10, 10);
    }
    void add(QWidget *widget, Qt::Alignment alignment = Qt::AlignLeft)
    {
        static_cast<QVBoxLayout *>(layout())->addWidget(widget, 0, alignment);
    }
    bool activate()
    {
        show();
        activateWindow();
        return QTest::qWaitForWindowActive(this);
    }
    // The window as it is drawn now, at one device pixel per point.
    QImage picture() { return grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QColor pixel(QWidget *widget, QPoint at) { return QColor(picture().pixel(widget->mapTo(this, at))); }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), AuditPalette::of(this).canvas); }
};

inline void hover(QWidget *widget, bool in)
{
    if (in) {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(widget, &event);
    } else {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(widget, &event);
    }
}

// `over` with `color` laid on it at `alpha`, as the rasterizer blends.
inline QColor blend(const QColor &color, qreal alpha, const QColor &over)
{
    const auto mix = [alpha](int top, int bottom) { return qRound(top * alpha + bottom * (1 - alpha)); };
    return QColor(mix(color.red(), over.red()), mix(color.green(), over.green()), mix(color.blue(), over.blue()));
}

inline int distance(const QColor &a, const QColor &b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

// The colour of a text drawn in `area` over `ground`: the pixel farthest from the ground.
// Glyph stems of 15 px and more cover whole pixels, so that pixel is the ink itself.
inline QColor inkIn(const QImage &image, const QRect &area, const QColor &ground)
{
    QColor ink = ground;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c(image.pixel(x, y));
            if (distance(c, ground) > distance(ink, ground))
                ink = c;
        }
    }
    return ink;
}

} // namespace ViewTest
