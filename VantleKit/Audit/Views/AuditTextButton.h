#pragma once

#include "AuditButton.h"

#include <QFont>
#include <QMargins>

// A button that is only its label: the title in one font and colour (another under the
// pointer), padded, with no background and a rectangular hit area. With the keyboard's focus
// the label turns `accentInk` over a bar of the same colour.
class AuditTextButton : public AuditButton {
    Q_OBJECT
public:
    struct Ink {
        AuditRole role;
        qreal opacity;
    };

    AuditTextButton(const QString &title, const QFont &font, const QMargins &padding, Ink normal,
                    Ink hovered, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    // The colour the label is drawn in now.
    QColor labelColor() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont m_font;
    QMargins m_padding;
    Ink m_normal;
    Ink m_hovered;
};
