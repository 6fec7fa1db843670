#pragma once

#include "Vantle/Onboarding/MarketingMeResponse.h"

#include <QJsonObject>
#include <QSet>
#include <QString>

#include <array>

// What the welcome step asks and records: the consent sentence and its records, the two
// e-mail lists with their box labels, and the bodies sent for them.
namespace WelcomeConsent {

struct MarketingList {
    QString slug;
    QString label; // shown beside the box and sent as the consent text
};

inline const QString appListSlug = QStringLiteral("vantle_marketing");
inline const QString studioListSlug = QStringLiteral("orvalen_newsletter");
inline const QString appListLabel = QStringLiteral("Email me tips and updates for vantle.");
inline const QString studioListLabel = QStringLiteral("Email me when Orvalen Studios launches new apps.");

inline const QString sentence =
    QStringLiteral("By creating an account you agree to the Terms of Service and Privacy Policy.");
inline const QString termsRun = QStringLiteral("Terms of Service");
inline const QString privacyRun = QStringLiteral("Privacy Policy");

inline const QString consentVersion = QStringLiteral("v1-2026-06");
inline const QString consentSurface = QStringLiteral("vantle_mac_welcome");
inline const QString captureVersion = QStringLiteral("welcome-v2-2026-06");
inline const QString neverAsked = QStringLiteral("never_asked");

// The two lists, always in this order.
const std::array<MarketingList, 2> &lists();
QSet<QString> allListSlugs();

// Whether a box starts ticked: only where the region is "US".
bool startsOptedIn(const QString &regionCode);

// The person's choices on the welcome step: each list's box ticked or not and tapped or
// not, and the lists whose boxes are shown.
struct Choices {
    bool appOptIn = false;
    bool studioOptIn = false;
    bool appOptInTouched = false;
    bool studioOptInTouched = false;
    QSet<QString> visibleMarketingLists = allListSlugs();

    bool isOn(const QString &listSlug) const;
    bool touched(const QString &listSlug) const;
    // Shown and ticked: a box that is not shown never counts, whatever it holds.
    bool countsAsOptedIn(const QString &listSlug) const;
    // The person tapped the box: it is touched from now on, and flips.
    void tap(const QString &listSlug);
};

// The lists to offer: those the answer says nothing about or marks "never_asked" (exactly).
// A list named more than once is offered only when every entry says "never_asked": a
// person who answered once is not asked again.
QSet<QString> visibleLists(const MarketingMeResponse &response);

// "default_checked" for a box left ticked as it started in the US; "explicit_checkbox"
// for every other choice.
QString consentMethod(bool isOn, bool touched, const QString &regionCode);

// The record of one accepted document: kind "terms" or "privacy".
QJsonObject consentBody(const QString &kind);

struct CaptureInput {
    QString email;     // as stored, not trimmed
    QString listSlug;
    QString consentMethod;
    QString consentText;
    QString accountID; // as stored
    QString appSlug;
};
// One opted-in list: "app_slug" only for the app's own list, "orvalen_account_id" only
// for an identifier that begins with "oa_" exactly as stored.
QJsonObject captureBody(const CaptureInput &input);

} // namespace WelcomeConsent
