#include "VantleKit/VantAPIError.h"

VantAPIError::VantAPIError(int status, QString code)
    : m_status(status)
    , m_code(std::move(code))
    , m_what(QStringLiteral("ledger error %1 %2").arg(status).arg(m_code).toUtf8())
{
}
