#include "Vantle/Onboarding/WelcomeConsent.h"

#include <QHash>

namespace WelcomeConsent {

const std::array<MarketingList, 2> &lists()
{
    static const std::array<MarketingList, 2> table{
        MarketingList{appListSlug, appListLabel},
        MarketingList{studioListSlug, studioListLabel},
    };
    return table;
}

QSet<QString> allListSlugs()
{
    return {appListSlug, studioListSlug};
}

bool startsOptedIn(const QString &regionCode)
{
    return regionCode == QLatin1String("US");
}

bool Choices::isOn(const QString &listSlug) const
{
    return listSlug == appListSlug ? appOptIn : listSlug == studioListSlug && studioOptIn;
}

bool Choices::touched(const QString &listSlug) const
{
    return listSlug == appListSlug ? appOptInTouched : listSlug == studioListSlug && studioOptInTouched;
}

bool Choices::countsAsOptedIn(const QString &listSlug) const
{
    return visibleMarketingLists.contains(listSlug) && isOn(listSlug);
}

void Choices::tap(const QString &listSlug)
{
    if (listSlug == appListSlug) {
        appOptInTouched = true;
        appOptIn = !appOptIn;
    } else if (listSlug == studioListSlug) {
        studioOptInTouched = true;
        studioOptIn = !studioOptIn;
    }
}

QSet<QString> visibleLists(const MarketingMeResponse &response)
{
    QHash<QString, bool> asked;
    for (const MarketingListState &entry : response.lists)
        asked[entry.listSlug] = asked.value(entry.listSlug) || entry.state != neverAsked;
    QSet<QString> visible;
    for (const MarketingList &list : lists()) {
        if (!asked.value(list.slug))
            visible.insert(list.slug);
    }
    return visible;
}

QString consentMethod(bool isOn, bool touched, const QString &regionCode)
{
    if (startsOptedIn(regionCode) && !touched && isOn)
        return QStringLiteral("default_checked");
    return QStringLiteral("explicit_checkbox");
}

QJsonObject consentBody(const QString &kind)
{
    return QJsonObject{
        {QStringLiteral("kind"), kind},
        {QStringLiteral("version"), consentVersion},
        {QStringLiteral("surface"), consentSurface},
        {QStringLiteral("verbatim_text"), sentence},
    };
}

QJsonObject captureBody(const CaptureInput &input)
{
    QJsonObject body{
        {QStringLiteral("email"), input.email},
        {QStringLiteral("list_slug"), input.listSlug},
        {QStringLiteral("source_type"), QStringLiteral("signup")},
        {QStringLiteral("consent_method"), input.consentMethod},
        {QStringLiteral("consent_text"), input.consentText},
        {QStringLiteral("consent_version"), captureVersion},
    };
    if (input.listSlug == appListSlug)
        body.insert(QStringLiteral("app_slug"), input.appSlug);
    if (input.accountID.startsWith(QLatin1String("oa_")))
        body.insert(QStringLiteral("orvalen_account_id"), input.accountID);
    return body;
}

} // namespace WelcomeConsent
