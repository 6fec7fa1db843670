#include "Vantle/Services/Analytics.h"

#include "Platform/Preferences.h"

#include <QUuid>

#include <utility>

// Placeholder until the capture client stands: records nothing, keeps the contract.
namespace {
Analytics::ContextProvider &contextProviderSlot()
{
    static Analytics::ContextProvider provider;
    return provider;
}
Analytics::AppEventSink &appEventSinkSlot()
{
    static Analytics::AppEventSink sink;
    return sink;
}
} // namespace

void Analytics::track(const QString &, const Properties &) {}
void Analytics::identify(const QString &) {}

QString Analytics::anonymousDistinctID()
{
    static const QString id =
        QStringLiteral("dev_") + QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    return id;
}

QString Analytics::cachedInstallID()
{
    return anonymousDistinctID();
}

void Analytics::setOptedOut(bool optedOut)
{
    Preferences::standard().setValue(QStringLiteral("vantle.analytics.optOut"), optedOut);
}

bool Analytics::isOptedOut()
{
    return Preferences::standard().boolValue(QStringLiteral("vantle.analytics.optOut"));
}

void Analytics::setContextProvider(ContextProvider provider)
{
    contextProviderSlot() = std::move(provider);
}

void Analytics::setAppEventSink(AppEventSink sink)
{
    appEventSinkSlot() = std::move(sink);
}
