#pragma once

#include <QString>
#include <QStringList>

// The accounts that have passed the first-run gate on this computer: a JSON array of
// account identifiers in the application's keychain item "vantle.welcome.acknowledgedOaIds".
// An earlier release kept the list in the preferences under the same key; it moves to the
// keychain the first time the list is read. Identifiers are kept trimmed and lower-cased,
// only with the "oa_" prefix, once each, in the order they arrived; none is ever removed.
namespace WelcomeAcknowledgementStore {

inline const QString key = QStringLiteral("vantle.welcome.acknowledgedOaIds");

// Trimmed of white space and line breaks at both ends, lower-cased.
QString normalise(const QString &id);
// True when the normalised identifier begins with "oa_".
bool isAccountID(const QString &normalisedID);

// The stored text as a list: a JSON array of strings, normalised, keeping those with the
// prefix; an empty list for anything else.
QStringList decodeIDs(const QString &text);
// Writes the list to the keychain; true when it is stored. Only then is the old
// preferences copy removed, so a failed write loses nothing.
bool saveIDs(const QStringList &ids);
// The welcomed identifiers. Without a keychain item, the preferences list is read,
// moved to the keychain and removed. A keychain that cannot be read (locked, no Secret
// Service) gives an empty list for now and is logged; nothing is moved or written then.
QStringList loadIDs();
// Adds one identifier (normalised; ignored without the prefix or when already present).
// Skipped when the stored list cannot be read: writing would replace it.
void acknowledge(const QString &id);

} // namespace WelcomeAcknowledgementStore
