#include "Platform/Preferences.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <utility>

Preferences::Preferences(QObject *parent) : QObject(parent) {}
Preferences::~Preferences() = default;

void Preferences::setValue(const QString &key, const QVariant &newValue)
{
    const auto old = value(key);
    // QSettings hands back text for what was written as a number or a Bool, so compare
    // through the written type.
    if (old) {
        QVariant converted = *old;
        if (converted.typeId() == newValue.typeId() || converted.convert(newValue.metaType())) {
            if (converted == newValue)
                return;
        }
    }
    store(key, newValue);
    Q_EMIT valueChanged(key);
}

void Preferences::remove(const QString &key)
{
    if (!contains(key))
        return;
    erase(key);
    Q_EMIT valueChanged(key);
}

bool Preferences::boolValue(const QString &key, bool fallback) const
{
    const auto v = value(key);
    if (!v)
        return fallback;
    if (v->typeId() == QMetaType::Bool)
        return v->toBool();
    const QString text = v->toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

double Preferences::doubleValue(const QString &key, double fallback) const
{
    const auto v = value(key);
    if (!v)
        return fallback;
    bool ok = false;
    const double d = v->toDouble(&ok);
    return ok ? d : fallback;
}

QString Preferences::stringValue(const QString &key, const QString &fallback) const
{
    const auto v = value(key);
    if (!v || !v->canConvert<QString>())
        return fallback;
    return v->toString();
}

QStringList Preferences::stringListValue(const QString &key) const
{
    const auto v = value(key);
    if (!v)
        return {};
    if (v->typeId() == QMetaType::QStringList)
        return v->toStringList();
    if (v->typeId() == QMetaType::QVariantList) {
        QStringList out;
        for (const QVariant &element : v->toList()) {
            if (element.typeId() == QMetaType::QString)
                out.append(element.toString());
        }
        return out;
    }
    // QSettings reads a one-element list back as plain text.
    if (v->typeId() == QMetaType::QString)
        return {v->toString()};
    return {};
}

namespace {
std::shared_ptr<Preferences> &standardSlot()
{
    static std::shared_ptr<Preferences> slot;
    return slot;
}
} // namespace

Preferences &Preferences::standard()
{
    auto &slot = standardSlot();
    if (!slot)
        slot = std::make_shared<SettingsPreferences>();
    return *slot;
}

void Preferences::setStandard(std::shared_ptr<Preferences> preferences)
{
    standardSlot() = std::move(preferences);
}

struct SettingsPreferences::Impl {
    explicit Impl(const QString &path) : settings(path, QSettings::IniFormat) {}
    QSettings settings;
};

namespace {
QString defaultSettingsPath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("vantle/vantle.conf"));
}
} // namespace

SettingsPreferences::SettingsPreferences() : SettingsPreferences(defaultSettingsPath()) {}

SettingsPreferences::SettingsPreferences(const QString &filePath) : m_impl(std::make_unique<Impl>(filePath)) {}

SettingsPreferences::~SettingsPreferences()
{
    m_impl->settings.sync();
}

std::optional<QVariant> SettingsPreferences::value(const QString &key) const
{
    if (!m_impl->settings.contains(key))
        return std::nullopt;
    return m_impl->settings.value(key);
}

void SettingsPreferences::sync()
{
    m_impl->settings.sync();
}

QString SettingsPreferences::filePath() const
{
    return m_impl->settings.fileName();
}

void SettingsPreferences::store(const QString &key, const QVariant &value)
{
    m_impl->settings.setValue(key, value);
}

void SettingsPreferences::erase(const QString &key)
{
    m_impl->settings.remove(key);
}

std::optional<QVariant> InMemoryPreferences::value(const QString &key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.cend())
        return std::nullopt;
    return *it;
}

void InMemoryPreferences::store(const QString &key, const QVariant &value)
{
    m_values.insert(key, value);
}

void InMemoryPreferences::erase(const QString &key)
{
    m_values.remove(key);
}
