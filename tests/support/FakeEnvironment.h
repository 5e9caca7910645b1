#pragma once

#include "Clock.h"
#include "platform/SettingsStore.h"
#include "platform/VolumeCapacity.h"

#include <QHash>
#include <QVariant>

#include <memory>

// Stand-ins for the desktop services, so model tests decide every input.
class FakeVolume : public VolumeCapacity {
public:
    std::optional<Figures> figures = Figures{std::nullopt, std::nullopt};
    mutable int reads = 0;

    [[nodiscard]] std::optional<Figures> read(const std::filesystem::path&) const override {
        ++reads;
        return figures;
    }
};

class FakeSettings : public SettingsStore {
public:
    QHash<QString, QVariant> values;
    int writes = 0;

    [[nodiscard]] std::optional<bool> boolValue(const QString& key) const override {
        return typed<bool>(key, QMetaType::Bool);
    }
    [[nodiscard]] std::optional<double> doubleValue(const QString& key) const override {
        return typed<double>(key, QMetaType::Double);
    }
    [[nodiscard]] std::optional<QStringList> stringListValue(const QString& key) const override {
        return typed<QStringList>(key, QMetaType::QStringList);
    }
    void setBool(const QString& key, bool value) override { write(key, value); }
    void setDouble(const QString& key, double value) override { write(key, value); }
    void setStringList(const QString& key, const QStringList& value) override { write(key, value); }

private:
    template <typename T> std::optional<T> typed(const QString& key, QMetaType::Type type) const {
        const auto found = values.find(key);
        if (found == values.end() || found->typeId() != type)
            return std::nullopt;
        return found->value<T>();
    }
    void write(const QString& key, const QVariant& value) {
        values.insert(key, value);
        ++writes;
    }
};

class FakeClock : public Clock {
public:
    FileTime current = std::chrono::system_clock::now();
    [[nodiscard]] FileTime now() const override { return current; }
};
