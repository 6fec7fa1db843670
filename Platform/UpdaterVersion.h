#pragma once

#include <QString>
#include <QStringView>

#include <compare>
#include <optional>
#include <vector>

// A release version as the update feed and the build spell it: dot-separated whole
// numbers ("1", "1.4", "2.10.3"). Missing trailing parts count as zero, so "1.4" and
// "1.4.0" are the same release, and "1.10" is newer than "1.9".
class UpdaterVersion final {
public:
    // Nothing for text that is not such a version ("", "1.", "1..2", "v1.2", "1.2-beta",
    // a part of more than nine digits, more than eight parts). Blanks around it are ignored.
    static std::optional<UpdaterVersion> parse(QStringView text);

    std::strong_ordering operator<=>(const UpdaterVersion &other) const;
    bool operator==(const UpdaterVersion &other) const { return (*this <=> other) == 0; }

    QString toString() const;

private:
    std::vector<unsigned> m_parts;
};
