#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The user's persistent key–value settings. A value of another type than asked for counts as
// absent. Every write is on disk when the call returns.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    [[nodiscard]] virtual std::optional<bool> boolValue(const QString& key) const = 0;
    [[nodiscard]] virtual std::optional<double> doubleValue(const QString& key) const = 0;
    [[nodiscard]] virtual std::optional<QStringList> stringListValue(const QString& key) const = 0;

    virtual void setBool(const QString& key, bool value) = 0;
    virtual void setDouble(const QString& key, double value) = 0;
    virtual void setStringList(const QString& key, const QStringList& value) = 0;
};
