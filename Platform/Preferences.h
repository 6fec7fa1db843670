#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

// The application's user defaults: small values under "vantle." and "orvalen." keys.
// Reading never writes a default. Every write that changes a stored value emits
// valueChanged, so a view bound to a key follows writes made anywhere else.
// Confined to the GUI thread.
class Preferences : public QObject {
    Q_OBJECT
public:
    ~Preferences() override;

    // The stored value; nothing when the key is absent.
    virtual std::optional<QVariant> value(const QString &key) const = 0;
    bool contains(const QString &key) const { return value(key).has_value(); }

    // Stores `value`; an equal stored value is left alone and emits nothing.
    void setValue(const QString &key, const QVariant &value);
    // Removes the key; an absent key emits nothing.
    void remove(const QString &key);
    // Writes pending changes to their store now (before a relaunch or an exit).
    virtual void sync() {}

    // Typed reads: the stored value converted, or `fallback` when it is absent or does not
    // convert (a Bool stored as "true"/"false" or 1/0 converts; "yes" does not).
    bool boolValue(const QString &key, bool fallback = false) const;
    double doubleValue(const QString &key, double fallback = 0) const;
    QString stringValue(const QString &key, const QString &fallback = {}) const;
    QStringList stringListValue(const QString &key) const;

    // The process-wide store: QSettings under the XDG config folder unless replaced.
    static Preferences &standard();
    // Replaces the process-wide store (tests give an in-memory one); null restores the
    // QSettings store.
    static void setStandard(std::shared_ptr<Preferences> preferences);

Q_SIGNALS:
    void valueChanged(const QString &key);

protected:
    explicit Preferences(QObject *parent = nullptr);
    virtual void store(const QString &key, const QVariant &value) = 0;
    virtual void erase(const QString &key) = 0;
};

// Preferences in an INI file: "$XDG_CONFIG_HOME/vantle/vantle.conf" by default.
class SettingsPreferences final : public Preferences {
    Q_OBJECT
public:
    SettingsPreferences();
    explicit SettingsPreferences(const QString &filePath);
    ~SettingsPreferences() override;

    std::optional<QVariant> value(const QString &key) const override;
    void sync() override;
    QString filePath() const;

protected:
    void store(const QString &key, const QVariant &value) override;
    void erase(const QString &key) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Preferences that live as long as the object: for tests.
class InMemoryPreferences final : public Preferences {
    Q_OBJECT
public:
    InMemoryPreferences() = default;
    std::optional<QVariant> value(const QString &key) const override;

protected:
    void store(const QString &key, const QVariant &value) override;
    void erase(const QString &key) override;

private:
    QVariantMap m_values;
};
