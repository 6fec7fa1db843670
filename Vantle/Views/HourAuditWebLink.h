#pragma once

#include "VantleKit/Audit/Views/AuditButton.h"

// The Hour Audit's way out to the web: "Prefer the web? Open the Hour Audit in your browser"
// (the second half underlined) in regular 13, the theme's muted colour (the audit's ink while
// the keyboard is on it), the whole line one button with no chrome. A click opens the audit's
// web page in the default browser; nothing in the audit changes.
class HourAuditWebLink final : public AuditButton {
    Q_OBJECT
public:
    explicit HourAuditWebLink(QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
