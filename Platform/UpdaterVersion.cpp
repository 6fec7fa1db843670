#include "Platform/UpdaterVersion.h"

#include <QStringList>

#include <algorithm>

namespace {
constexpr qsizetype maximumParts = 8;
// Nine digits always fit an unsigned int; a longer number is a typo, not a release.
constexpr qsizetype maximumDigits = 9;
} // namespace

std::optional<UpdaterVersion> UpdaterVersion::parse(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    UpdaterVersion version;
    qsizetype start = 0;
    while (true) {
        qsizetype end = trimmed.indexOf(QLatin1Char('.'), start);
        if (end < 0)
            end = trimmed.size();
        const QStringView part = trimmed.mid(start, end - start);
        if (part.isEmpty() || part.size() > maximumDigits)
            return std::nullopt;
        unsigned value = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c.unicode() - u'0');
        }
        version.m_parts.push_back(value);
        if (qsizetype(version.m_parts.size()) > maximumParts)
            return std::nullopt;
        if (end == trimmed.size())
            break;
        start = end + 1;
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
    return std::strong_ordering::equal;
}

QString UpdaterVersion::toString() const
{
    QStringList parts;
    for (const unsigned p : m_parts)
        parts.append(QString::number(p));
    return parts.join(QLatin1Char('.'));
}
