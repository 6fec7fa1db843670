#pragma once

// Drives the Hour Audit's widgets the way a user does: clicks land on the window at the
// control's place (so a hidden or covered control gets nothing), text arrives as key events.

#include "VantleKit/Audit/Views/AuditMotion.h"
#include "VantleKit/Audit/Views/AuditTextInput.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QTextBoundaryFinder>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

namespace AuditDriver {

// Turns motion off (or on) for the life of the value, whatever the environment says.
class Motion final {
public:
    explicit Motion(bool reduce) { qApp->setProperty(AuditMotion::reduceMotionProperty, reduce); }
    ~Motion() { qApp->setProperty(AuditMotion::reduceMotionProperty, QVariant()); }
    Motion(const Motion &) = delete;
    Motion &operator=(const Motion &) = delete;
};

template <typename T = QWidget>
T *find(const QWidget *root, const QString &name)
{
    T *found = root->findChild<T *>(name);
    EXPECT_NE(found, nullptr) << "no widget named " << name.toStdString();
    return found;
}

// Lets posted layout requests and repaints run.
inline void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// Scrolls the control into its scroll view's viewport, as a user would before clicking.
inline void reveal(QWidget *widget)
{
    settle();
    for (QWidget *w = widget->parentWidget(); w; w = w->parentWidget()) {
        if (auto *scroll = qobject_cast<QScrollArea *>(w)) {
            scroll->ensureWidgetVisible(widget, 0, 0);
            break;
        }
    }
    settle();
}

inline QPoint windowPoint(QWidget *widget)
{
    return widget->mapTo(widget->window(), widget->rect().center());
}

// A click on the window where the control is, delivered at once: no event is processed
// before or after it, so no timer can fire in between. The control must already be in view.
inline bool clickNow(QWidget *widget)
{
    if (!widget || !widget->isVisible())
        return false;
    QTest::mouseClick(widget->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier, windowPoint(widget));
    return true;
}

// A click on the window where the control is. Returns false when the control is not shown.
inline bool click(QWidget *widget)
{
    if (!widget || !widget->isVisible())
        return false;
    reveal(widget);
    clickNow(widget);
    settle();
    return true;
}

inline bool doubleClick(QWidget *widget)
{
    if (!widget || !widget->isVisible())
        return false;
    reveal(widget);
    QTest::mouseDClick(widget->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier, windowPoint(widget));
    settle();
    return true;
}

// Clicks into the input and types `text` one user-perceived character at a time.
inline void type(AuditTextInput *input, const QString &text)
{
    click(input);
    QLineEdit *field = input->field();
    field->setFocus(Qt::MouseFocusReason);
    field->end(false);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = graphemes.toNextBoundary(); end != -1; end = graphemes.toNextBoundary()) {
        const QString piece = text.mid(start, end - start);
        QTest::sendKeyEvent(QTest::Press, field, Qt::Key_unknown, piece, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, field, Qt::Key_unknown, piece, Qt::NoModifier);
        start = end;
    }
    settle();
}

inline void pressReturn(QWidget *window)
{
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    settle();
}

} // namespace AuditDriver
