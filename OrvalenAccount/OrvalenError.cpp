#include "OrvalenAccount/OrvalenError.h"

namespace {
template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;
} // namespace

OrvalenError::OrvalenError(Case value) : m_case(std::move(value)), m_what(message().toUtf8()) {}

OrvalenError OrvalenError::serverError(int status, std::optional<QString> code) { return OrvalenError(Case(ServerError{status, std::move(code)})); }
OrvalenError OrvalenError::malformedResponse(std::optional<QString> field) { return OrvalenError(Case(MalformedResponse{std::move(field)})); }
OrvalenError OrvalenError::authorizationFailed(QString reason) { return OrvalenError(Case(AuthorizationFailed{std::move(reason)})); }
OrvalenError OrvalenError::keychainFailure(std::int32_t status) { return OrvalenError(Case(KeychainFailure{status})); }
OrvalenError OrvalenError::clientKilled(std::optional<QUrl> replacement) { return OrvalenError(Case(ClientKilled{std::move(replacement)})); }
OrvalenError OrvalenError::requiresUpgrade(QString minVersion) { return OrvalenError(Case(RequiresUpgrade{std::move(minVersion)})); }
OrvalenError OrvalenError::dpopUnavailable(QString reason) { return OrvalenError(Case(DpopUnavailable{std::move(reason)})); }
OrvalenError OrvalenError::notSignedIn() { return OrvalenError(Case(NotSignedIn{})); }
OrvalenError OrvalenError::sessionExpired() { return OrvalenError(Case(SessionExpired{})); }
OrvalenError OrvalenError::networkUnavailable() { return OrvalenError(Case(NetworkUnavailable{})); }
OrvalenError OrvalenError::authorizationCancelled() { return OrvalenError(Case(AuthorizationCancelled{})); }

QString OrvalenError::message() const
{
    return std::visit(
        Overloaded{
            [](const ServerError &e) {
                QString text = QStringLiteral("Server error (") + QString::number(e.status);
                if (e.code)
                    text += QStringLiteral(" \u2014 ") + *e.code;
                return text + QStringLiteral(").");
            },
            [](const MalformedResponse &e) {
                QString text = QStringLiteral("Couldn't read the server response");
                if (e.field)
                    text += QStringLiteral(" (") + *e.field + QLatin1Char(')');
                return text + QLatin1Char('.');
            },
            [](const AuthorizationFailed &e) { return QStringLiteral("Sign-in failed: ") + e.reason; },
            [](const KeychainFailure &e) {
                return QStringLiteral("Couldn't read your stored sign-in (") + QString::number(e.status)
                    + QStringLiteral(").");
            },
            [](const ClientKilled &) { return QStringLiteral("This version is no longer supported. Please update."); },
            [](const RequiresUpgrade &e) {
                return QStringLiteral("Please update to version ") + e.minVersion + QStringLiteral(" or later.");
            },
            [](const DpopUnavailable &e) { return QStringLiteral("Device security key unavailable: ") + e.reason; },
            [](const NotSignedIn &) { return QStringLiteral("Sign in to continue."); },
            [](const SessionExpired &) { return QStringLiteral("Your session expired. Please sign in again."); },
            [](const NetworkUnavailable &) { return QStringLiteral("Can't reach the network. Try again."); },
            [](const AuthorizationCancelled &) { return QStringLiteral("Sign-in was cancelled."); },
        },
        m_case);
}
