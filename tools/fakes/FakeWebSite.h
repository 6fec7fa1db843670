#pragma once

#include "tools/fakes/FakeService.h"

#include <QString>
#include <QStringList>

namespace Fakes {

// The maker's web site on loopback, for the local stack: every page the application opens
// in the browser is there, as a plain page saying what the real site does at that address,
// so a link followed while trying the application by hand never ends in an error.
//
//   GET /account         the account page ("Manage devices", "Export my data", "Delete account")
//   GET /privacy/vantle  GET /terms/vantle  GET /contact  GET /privacy (#error-reports)
class FakeWebSite : public FakeService {
    Q_OBJECT
public:
    static inline const QString accountPath = QStringLiteral("/account");

    explicit FakeWebSite(QObject *parent = nullptr);

    // The Hour Audit's web page, which the real ledger service serves at "/audit" of its
    // own address.
    static ScriptedAnswer hourAuditPage();

    // A page of plain text: a title, what the real site does here, and that this is the
    // stand-in. `anchor` names the id of the section a link's fragment points at, if any.
    static ScriptedAnswer page(const QString &title, const QStringList &paragraphs, const QString &anchor = {});
};

} // namespace Fakes
