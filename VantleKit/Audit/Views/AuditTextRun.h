#pragma once

#include "AuditPalette.h"

#include <QFont>
#include <QList>
#include <QString>

#include <optional>

// One run of a text built from several: its own font, weight or colour role where it differs
// from the text it belongs to. Runs share one baseline and wrap as one text.
struct AuditTextRun {
    QString text;
    std::optional<QFont> font;           // replaces the text's font (size, design, weight)
    std::optional<QFont::Weight> weight; // changes only the weight of the text's font
    std::optional<AuditRole> color;      // else the text's colour

    static AuditTextRun plain(const QString &text) { return {text, std::nullopt, std::nullopt, std::nullopt}; }
    static AuditTextRun emphasis(const QString &text, QFont::Weight weight, AuditRole color)
    {
        return {text, std::nullopt, weight, color};
    }
    static AuditTextRun styled(const QString &text, const QFont &font, std::optional<AuditRole> color)
    {
        return {text, font, std::nullopt, color};
    }
};

using AuditTextRuns = QList<AuditTextRun>;
