#pragma once

#include "OrvalenAccount/Internal/HTTPResponse.h"

#include <QString>
#include <QUrl>

// The answer the throttle gives in place of a request it refuses to send.
namespace IdentityThrottleShortCircuit {
// `status` 503 with reason "circuit_open" or 429 with "budget_exhausted"; the
// "Retry-After" header carries `retryAfter` rounded up to whole seconds, at least 1.
HTTPResponse response(const QUrl &url, int status, const QString &reason, double retryAfter);
} // namespace IdentityThrottleShortCircuit
