#pragma once

#include <QColor>

// The provider buttons' look: for a light or a dark surrounding, with an accent colour.
// Every colour of the sign-in screen derives from it, so one value themes the whole screen.
class OrvalenProviderButtonStyle final {
public:
    enum class Kind { light, dark };

    static OrvalenProviderButtonStyle light(QColor accent) { return {Kind::light, accent}; }
    static OrvalenProviderButtonStyle dark(QColor accent) { return {Kind::dark, accent}; }

    Kind kind() const { return m_kind; }
    QColor accent() const { return m_accent; }
    bool isDark() const { return m_kind == Kind::dark; }

    // Text and lines drawn on the surrounding.
    QColor text() const;
    QColor secondaryText() const;
    QColor hairline() const;
    // A quiet panel on the surrounding (the offline card).
    QColor panel() const;
    // The error row's text and fill.
    QColor errorText() const;
    QColor errorFill() const;
    // Text on an accent fill: dark on a light accent, white on a dark one.
    QColor onAccent() const;

    bool operator==(const OrvalenProviderButtonStyle &other) const
    {
        return m_kind == other.m_kind && m_accent.rgba() == other.m_accent.rgba();
    }

private:
    OrvalenProviderButtonStyle(Kind kind, QColor accent) : m_kind(kind), m_accent(accent) {}

    Kind m_kind;
    QColor m_accent;
};
