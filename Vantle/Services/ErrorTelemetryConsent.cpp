#include "Vantle/Services/ErrorTelemetryConsent.h"

#include "Platform/Preferences.h"
#include "Vantle/Services/GeoProbeClient.h"

namespace ErrorTelemetryConsent {

bool isEnabled()
{
    const Preferences &preferences = Preferences::standard();
    if (preferences.contains(Keys::enabled))
        return preferences.boolValue(Keys::enabled, true);
    return !GeoProbeClient::cachedIsEU();
}

void setEnabled(bool enabled)
{
    Preferences::standard().setValue(Keys::enabled, enabled);
}

bool shouldShowOptOutNote()
{
    return !Preferences::standard().boolValue(Keys::optOutShown);
}

void markOptOutNoteShown()
{
    Preferences::standard().setValue(Keys::optOutShown, true);
}

} // namespace ErrorTelemetryConsent
