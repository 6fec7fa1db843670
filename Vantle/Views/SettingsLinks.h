#pragma once

#include <QUrl>

// The pages of the maker's web site that the settings window opens in the browser. All of
// them live on one site, a deployment value (VANTLE_WEB_URL).
namespace SettingsLinks {

QUrl site();
QUrl accountPage();         // "/account": devices, data export, account deletion
QUrl privacyPolicy();       // "/privacy/vantle"
QUrl termsOfService();      // "/terms/vantle"
QUrl support();             // "/contact?app=vantle"
QUrl errorReportsPrivacy(); // "/privacy#error-reports"

} // namespace SettingsLinks
