#include "Platform/UpdaterVersion.h"

#include <algorithm>

namespace {
constexpr qsizetype maximumParts = 8;
// Nine digits always fit an unsigned int; a longer number is a typo, not a release.
constexpr qsizetype maximumDigits = 9;
constexpr qsizetype maximumIdentifiers = 16;
constexpr qsizetype maximumIdentifierLength = 64;

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool isNumeric(QStringView identifier) { return std::all_of(identifier.begin(), identifier.end(), isDigit); }

// Dot-separated identifiers of ASCII letters, digits and hyphens, none empty.
std::optional<QStringList> identifiers(QStringView text)
{
    QStringList out;
    for (const QStringView identifier : text.split(QLatin1Char('.'))) {
        if (identifier.isEmpty() || identifier.size() > maximumIdentifierLength || out.size() >= maximumIdentifiers)
            return std::nullopt;
        for (const QChar c : identifier) {
            const bool letter =
                (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
            if (!letter && !isDigit(c) && c != QLatin1Char('-'))
                return std::nullopt;
        }
        out.append(identifier.toString());
    }
    return out;
}

// Semantic versioning's order of two pre-release identifiers.
std::strong_ordering compareIdentifiers(const QString &a, const QString &b)
{
    const bool aNumeric = isNumeric(a);
    const bool bNumeric = isNumeric(b);
    if (aNumeric != bNumeric)
        return aNumeric ? std::strong_ordering::less : std::strong_ordering::greater;
    // Numbers have no leading zeros, so the longer one is the larger.
    if (aNumeric && a.size() != b.size())
        return a.size() <=> b.size();
    const int order = QString::compare(a, b, Qt::CaseSensitive);
    return order <=> 0;
}
} // namespace

std::optional<UpdaterVersion> UpdaterVersion::parse(QStringView text)
{
    QStringView trimmed = text.trimmed();
    UpdaterVersion version;
    if (const qsizetype plus = trimmed.indexOf(QLatin1Char('+')); plus >= 0) {
        if (!identifiers(trimmed.mid(plus + 1)))
            return std::nullopt;
        version.m_build = trimmed.mid(plus + 1).toString();
        trimmed = trimmed.left(plus);
    }
    if (const qsizetype minus = trimmed.indexOf(QLatin1Char('-')); minus >= 0) {
        const auto preRelease = identifiers(trimmed.mid(minus + 1));
        if (!preRelease)
            return std::nullopt;
        for (const QString &identifier : *preRelease) {
            if (isNumeric(identifier) && identifier.size() > 1 && identifier.startsWith(QLatin1Char('0')))
                return std::nullopt;
        }
        version.m_preRelease = *preRelease;
        trimmed = trimmed.left(minus);
    }
    if (trimmed.isEmpty())
        return std::nullopt;
    for (const QStringView part : trimmed.split(QLatin1Char('.'))) {
        if (part.isEmpty() || part.size() > maximumDigits || !isNumeric(part))
            return std::nullopt;
        unsigned value = 0;
        for (const QChar c : part)
            value = value * 10 + static_cast<unsigned>(c.unicode() - u'0');
        version.m_parts.push_back(value);
        if (qsizetype(version.m_parts.size()) > maximumParts)
            return std::nullopt;
    }
    return version;
}

std::strong_ordering UpdaterVersion::operator<=>(const UpdaterVersion &other) const
{
    const std::size_t n = std::max(m_parts.size(), other.m_parts.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned a = i < m_parts.size() ? m_parts[i] : 0;
        const unsigned b = i < other.m_parts.size() ? other.m_parts[i] : 0;
        if (a != b)
            return a <=> b;
    }
    // A release comes after every pre-release of it.
    if (m_preRelease.isEmpty() != other.m_preRelease.isEmpty())
        return m_preRelease.isEmpty() ? std::strong_ordering::greater : std::strong_ordering::less;
    const qsizetype common = std::min(m_preRelease.size(), other.m_preRelease.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (const auto order = compareIdentifiers(m_preRelease.at(i), other.m_preRelease.at(i)); order != 0)
            return order;
    }
    return m_preRelease.size() <=> other.m_preRelease.size();
}

QString UpdaterVersion::toString() const
{
    QStringList parts;
    for (const unsigned p : m_parts)
        parts.append(QString::number(p));
    QString out = parts.join(QLatin1Char('.'));
    if (!m_preRelease.isEmpty())
        out += QLatin1Char('-') + m_preRelease.join(QLatin1Char('.'));
    if (!m_build.isEmpty())
        out += QLatin1Char('+') + m_build;
    return out;
}
