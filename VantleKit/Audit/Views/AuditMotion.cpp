#include "AuditMotion.h"

#include <QCoreApplication>
#include <QPointF>
#include <QVariant>

namespace {
QEasingCurve bezier(QPointF c1, QPointF c2)
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(c1, c2, QPointF(1, 1));
    return curve;
}
} // namespace

bool AuditMotion::reduceMotion()
{
    if (const QCoreApplication *app = QCoreApplication::instance()) {
        const QVariant chosen = app->property(reduceMotionProperty);
        if (chosen.isValid())
            return chosen.toBool();
    }
    const QByteArray env = qgetenv("VANTLE_REDUCE_MOTION").trimmed().toLower();
    return env == "1" || env == "true" || env == "yes" || env == "on";
}

QEasingCurve AuditMotion::easeOut()
{
    return bezier(QPointF(0, 0), QPointF(0.58, 1));
}

QEasingCurve AuditMotion::easeInOut()
{
    return bezier(QPointF(0.42, 0), QPointF(0.58, 1));
}
