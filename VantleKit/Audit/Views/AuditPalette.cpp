#include "AuditPalette.h"

#include <QCoreApplication>
#include <QEvent>
#include <QVariant>
#include <QWidget>

namespace {
constexpr char kProperty[] = "_vantle_auditPalette";

void announce(QWidget *root)
{
    QEvent event(static_cast<QEvent::Type>(AuditPalette::changedEventType()));
    QCoreApplication::sendEvent(root, &event);
    root->update();
    const auto children = root->findChildren<QWidget *>();
    for (QWidget *child : children) {
        QEvent childEvent(static_cast<QEvent::Type>(AuditPalette::changedEventType()));
        QCoreApplication::sendEvent(child, &childEvent);
        child->update();
    }
}
} // namespace

QColor vantHex(quint32 rgb)
{
    return QColor::fromRgb(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

const AuditPalette &AuditPalette::coal()
{
    static const AuditPalette palette{
        vantHex(0x121214), vantHex(0x202024), vantHex(0x26262B), vantHex(0x2C2C33),
        vantHex(0xF5F5F5), vantHex(0x9B9BA4), vantHex(0xF0A32A), vantHex(0xF0A32A),
        vantHex(0xF5B84F), vantHex(0xF87171), vantHex(0x1C1200), vantHex(0x3B3B40),
    };
    return palette;
}

QColor AuditPalette::role(AuditRole role) const
{
    switch (role) {
    case AuditRole::canvas: return canvas;
    case AuditRole::card: return card;
    case AuditRole::elevated: return elevated;
    case AuditRole::border: return border;
    case AuditRole::text: return text;
    case AuditRole::muted: return muted;
    case AuditRole::accent: return accent;
    case AuditRole::accentInk: return accentInk;
    case AuditRole::accentStrong: return accentStrong;
    case AuditRole::danger: return danger;
    case AuditRole::onAccent: return onAccent;
    case AuditRole::sleepFill: return sleepFill;
    }
    return text;
}

AuditPalette AuditPalette::of(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        const QVariant stored = w->property(kProperty);
        if (stored.isValid())
            return stored.value<AuditPalette>();
    }
    return coal();
}

void AuditPalette::set(QWidget *root, const AuditPalette &palette)
{
    if (!root)
        return;
    root->setProperty(kProperty, QVariant::fromValue(palette));
    announce(root);
}

void AuditPalette::clear(QWidget *root)
{
    if (!root)
        return;
    root->setProperty(kProperty, QVariant());
    announce(root);
}

int AuditPalette::changedEventType()
{
    static const int type = QEvent::registerEventType();
    return type;
}
