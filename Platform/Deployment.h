#pragma once

#include <QString>
#include <QUrl>

// Where the remote services live. Each address is fixed when the program is built
// (a CMake cache variable) and can be overridden at run time by an environment
// variable of the same name, so tests and the local stack can point at loopback.
namespace Deployment {

QUrl authorityURL();   // VANTLE_AUTHORITY_URL
QUrl identityURL();    // VANTLE_IDENTITY_URL
QUrl ledgerURL();      // VANTLE_LEDGER_URL: the ledger service's base address
QUrl contactsURL();    // VANTLE_CONTACTS_URL
QUrl analyticsURL();   // VANTLE_ANALYTICS_URL
QUrl webURL();         // VANTLE_WEB_URL: the maker's web site (account, terms, privacy, support)
// VANTLE_ANALYTICS_KEY: the analytics project key sent with every captured event;
// the environment variable wins when set and not blank.
QString analyticsKey();
// VANTLE_VERSION at build time; "0.1.0" when the build set none.
QString buildVersion();

// What an entry the application writes for the desktop (launch at login) starts: the
// program named by VANTLE_LAUNCHER when that is an executable file given by an absolute
// path, else `ownExecutable`. A development run sets it to the launcher that brings up
// the services the run used, so a start by the desktop finds them too.
QString launcher(const QString &ownExecutable);

// An absolute http or https address with a host: what a service, a feed or a page the
// browser opens may be fetched from.
bool isWebAddress(const QUrl &url);

// The value of `envName` when set to an absolute http(s) address, else `fallback`.
// A trailing slash is dropped so callers can append paths.
QUrl resolve(const char *envName, const char *fallback);

} // namespace Deployment
