#pragma once

#include <QColor>
#include <QMetaType>

class QWidget;

// An sRGB colour at full opacity from a 24-bit 0xRRGGBB number; bits above bit 23 are ignored.
QColor vantHex(quint32 rgb);

// The roles of the palette, for code that names a colour by role (text runs, labels).
enum class AuditRole {
    canvas,
    card,
    elevated,
    border,
    text,
    muted,
    accent,
    accentInk,
    accentStrong,
    danger,
    onAccent,
    sleepFill,
};

// The twelve colour roles every Hour Audit view draws with.
//
// The palette travels down the widget tree: set() stores it on a widget, and of() finds
// the one stored on the widget itself or its nearest ancestor, or the coal palette when
// none is stored. Views read it when they paint, so a palette set on the root of a flow
// reaches every view below it, including ones added later.
struct AuditPalette {
    QColor canvas;
    QColor card;
    QColor elevated;
    QColor border;
    QColor text;
    QColor muted;
    QColor accent;
    QColor accentInk;
    QColor accentStrong;
    QColor danger;
    QColor onAccent;
    QColor sleepFill;

    // The built-in dark palette; made once, on first use, and never changed.
    static const AuditPalette &coal();

    QColor role(AuditRole role) const;

    // The palette in effect for `widget`: its own or its nearest ancestor's, else coal.
    static AuditPalette of(const QWidget *widget);
    // Stores `palette` on `root` and repaints the views below it.
    static void set(QWidget *root, const AuditPalette &palette);
    static void clear(QWidget *root);

    // Sent to `root` and every widget below it after set() or clear(), for the few
    // views that hand colours on to a widget Qt paints (the text field).
    static int changedEventType();
};

Q_DECLARE_METATYPE(AuditPalette)
