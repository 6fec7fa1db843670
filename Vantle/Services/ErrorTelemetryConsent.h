#pragma once

#include <QString>

// Whether warnings and errors may be sent to the identity service, and the one-time note
// shown before the user turns them off. Read and written on the GUI thread.
namespace ErrorTelemetryConsent {

struct Keys {
    static inline const QString enabled = QStringLiteral("orvalen.error_telemetry_enabled");
    static inline const QString optOutShown = QStringLiteral("orvalen.error_telemetry_opt_out_shown");
    static inline const QString euOptInShown = QStringLiteral("orvalen.error_telemetry_eu_optin_shown");
};

// The user's stored choice when there is one; before any choice, off for a user whose
// cached region answer is the EU and on elsewhere, also when the region was never probed.
bool isEnabled();
void setEnabled(bool enabled);
// True until the note has been shown once.
bool shouldShowOptOutNote();
void markOptOutNoteShown();

} // namespace ErrorTelemetryConsent
