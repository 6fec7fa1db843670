#pragma once

#include "OrvalenAccount/OrvalenConfig.h"
#include "OrvalenAccount/OrvalenTransportError.h"

#include <QString>

#include <optional>

// Log fields of the account layer's failures, without query strings or fragments,
// which may carry codes or tokens.
namespace OrvalenRedaction {

// The endpoint up to, not including, the first "?" or "#".
QString endpoint(const QString &endpoint);
// "endpoint", "class" = "decode", and "field" only when one is given.
OrvalenLogFields decodeFailure(const QString &endpoint, const std::optional<QString> &field = std::nullopt);
// "endpoint", "class" = "transport", "error_domain", "error_code", and "url_error"
// only for a URL-loading error.
OrvalenLogFields transportFailure(const QString &endpoint, const OrvalenTransportError &error);

} // namespace OrvalenRedaction
