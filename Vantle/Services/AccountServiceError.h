#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Errors of the account service's own requests, each with a fixed user-facing description.
class AccountServiceError final : public std::exception {
public:
    enum class Kind { custom, unavailable };

    static AccountServiceError custom(QString text) { return AccountServiceError(Kind::custom, std::move(text)); }
    static AccountServiceError unavailable() { return AccountServiceError(Kind::unavailable, {}); }

    // "vantle account services are temporarily unavailable. Please try again in a minute."
    static QString unavailableText();

    Kind kind() const { return m_kind; }
    // The carried text (custom) or the fixed text (unavailable).
    QString description() const;
    const char *what() const noexcept override { return m_what.constData(); }

    bool operator==(const AccountServiceError &other) const
    {
        return m_kind == other.m_kind && m_text == other.m_text;
    }

private:
    AccountServiceError(Kind kind, QString text);

    Kind m_kind;
    QString m_text;
    QByteArray m_what;
};
