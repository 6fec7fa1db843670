#include "Platform/UpdaterError.h"

#include <utility>

const QString UpdaterError::domainName = QStringLiteral("dev.orvalen.updater");
const QString UpdaterError::networkDomain = QStringLiteral("QNetworkReply");

UpdaterError::UpdaterError(QString domain, int code, QString description)
    : m_domain(std::move(domain)), m_code(code), m_description(std::move(description))
{
}

UpdaterError UpdaterError::updater(Code code, QString description)
{
    return UpdaterError(domainName, static_cast<int>(code), std::move(description));
}

UpdaterError UpdaterError::network(int code, QString description)
{
    return UpdaterError(networkDomain, code, std::move(description));
}
