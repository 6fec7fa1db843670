#include "Vantle/App/SignInLinks.h"

#include "OrvalenAccount/Internal/OIDCExternalUserAgentSession.h"
#include "OrvalenAccount/OrvalenAccountManager.h"
#include "Vantle/Utilities/Log.h"

#include <QUrl>
#include <QUrlQuery>

bool SignInLinks::open(OrvalenAccountManager &manager, const QUrl &url)
{
    if (const auto pending = manager.oauthDriver().currentSession(); pending && !pending->isFinished()) {
        const QString state = QUrlQuery(url).queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
        if (state.isEmpty() || state != pending->request().state()) {
            static const Log log(QStringLiteral("auth"));
            log.emit(QStringLiteral("warn"), QStringLiteral("url_refused reason=foreign_state"));
            return false;
        }
    }
    return manager.resume(url);
}
