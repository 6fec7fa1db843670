#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <compare>
#include <optional>
#include <vector>

// A release version as the update feed and the build spell it: dot-separated whole
// numbers ("1", "1.4", "2.10.3"), optionally followed by a pre-release part after "-"
// ("1.5.0-beta.1") and build metadata after "+" ("1.5.0+20240501"), as semantic
// versioning writes them. Missing trailing numbers count as zero, so "1.4" and "1.4.0"
// are the same release, and "1.10" is newer than "1.9". A pre-release comes before its
// release ("1.5.0-beta.1" < "1.5.0") and pre-releases are ordered as semantic versioning
// orders them: identifier by identifier, numbers numerically and below words, words in
// ASCII order, a shorter list first. Build metadata plays no part in the order.
class UpdaterVersion final {
public:
    // Nothing for text that is not such a version ("", "1.", "1..2", "v1.2", "1.2b",
    // "1.2-", "1.2-beta..1", "1.2-01", a number of more than nine digits, more than eight
    // numbers). Blanks around it are ignored.
    static std::optional<UpdaterVersion> parse(QStringView text);

    std::strong_ordering operator<=>(const UpdaterVersion &other) const;
    bool operator==(const UpdaterVersion &other) const { return (*this <=> other) == 0; }

    QString toString() const;

private:
    std::vector<unsigned> m_parts;
    QStringList m_preRelease;
    QString m_build;
};
