#include "Vantle/Utilities/DiagnosticLogger.h"

#include "Platform/Preferences.h"

#include <QMetaObject>
#include <QPointer>

#include <atomic>
#include <cmath>
#include <utility>

namespace DiagnosticLogger {

namespace {
struct State {
    std::function<QDateTime()> clock;
    QPointer<Preferences> watched;
    QMetaObject::Connection connection;
    // What the log writer reads: the flag and its time as last read.
    std::atomic<bool> flag{false};
    std::atomic<double> enabledAt{0};
};

State &state()
{
    // Never destroyed: the log asks for the verbose rule from any thread, a thread left
    // running at exit included.
    static State *const instance = new State;
    return *instance;
}

double nowSeconds()
{
    const auto &clock = state().clock;
    const QDateTime now = clock ? clock() : QDateTime::currentDateTimeUtc();
    return static_cast<double>(now.toMSecsSinceEpoch()) / 1000.0;
}

std::optional<double> storedTime(const Preferences &preferences)
{
    const auto value = preferences.value(enabledAtKey);
    if (!value)
        return std::nullopt;
    bool ok = false;
    const double seconds = value->toDouble(&ok);
    if (!ok || !std::isfinite(seconds))
        return std::nullopt;
    return seconds;
}

void reload(const Preferences &preferences)
{
    State &s = state();
    s.enabledAt.store(storedTime(preferences).value_or(0));
    s.flag.store(preferences.boolValue(enabledKey));
}
} // namespace

bool isActiveAt(bool flag, std::optional<double> enabledAt, double now)
{
    if (!flag || !enabledAt || *enabledAt <= 0)
        return false;
    const double elapsed = now - *enabledAt;
    return elapsed >= 0 && elapsed < windowSeconds;
}

void watch()
{
    State &s = state();
    Preferences &preferences = Preferences::standard();
    if (s.watched != &preferences) {
        QObject::disconnect(s.connection);
        s.watched = &preferences;
        s.connection = QObject::connect(&preferences, &Preferences::valueChanged, &preferences,
                                        [p = &preferences](const QString &key) {
                                            if (key == enabledKey || key == enabledAtKey)
                                                reload(*p);
                                        });
    }
    reload(preferences);
}

bool isVerboseActive()
{
    watch();
    Preferences &preferences = Preferences::standard();
    const bool flag = preferences.boolValue(enabledKey);
    const std::optional<double> at = storedTime(preferences);
    const double now = nowSeconds();
    if (isActiveAt(flag, at, now))
        return true;
    // Lapsed, or switched on "in the future": off for good, until switched on again.
    if (flag && at && *at > 0)
        preferences.setValue(enabledKey, false);
    return false;
}

void setVerbose(bool on)
{
    watch();
    Preferences &preferences = Preferences::standard();
    preferences.setValue(enabledKey, on);
    if (on)
        preferences.setValue(enabledAtKey, nowSeconds());
    else
        preferences.remove(enabledAtKey);
    reload(preferences);
}

bool verboseActiveNow()
{
    const State &s = state();
    if (!s.flag.load())
        return false;
    const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    return isActiveAt(true, s.enabledAt.load(), now);
}

void setClock(std::function<QDateTime()> clock)
{
    state().clock = std::move(clock);
}

} // namespace DiagnosticLogger
