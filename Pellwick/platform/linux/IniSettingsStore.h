#pragma once

#include "platform/SettingsStore.h"

#include <QSettings>

// The settings file $XDG_CONFIG_HOME/pellwick/pellwick.conf. INI keeps every value as text,
// so each type is parsed explicitly: a one-element list reads back as a plain string and an
// empty list as "@Invalid()".
class IniSettingsStore : public SettingsStore {
public:
    // The file for the current environment (XDG_CONFIG_HOME, else ~/.config).
    [[nodiscard]] static QString defaultFilePath();

    explicit IniSettingsStore(const QString& filePath = defaultFilePath());

    [[nodiscard]] std::optional<bool> boolValue(const QString& key) const override;
    [[nodiscard]] std::optional<double> doubleValue(const QString& key) const override;
    [[nodiscard]] std::optional<QStringList> stringListValue(const QString& key) const override;

    void setBool(const QString& key, bool value) override;
    void setDouble(const QString& key, double value) override;
    void setStringList(const QString& key, const QStringList& value) override;

private:
    mutable QSettings settings_;
};
