#include "platform/linux/IniSettingsStore.h"

#include <QDir>
#include <QVariant>

#include <cmath>

QString IniSettingsStore::defaultFilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rule: a relative value is invalid and is ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/pellwick/pellwick.conf");
}

IniSettingsStore::IniSettingsStore(const QString& filePath)
    : settings_(filePath, QSettings::IniFormat) {
}

std::optional<bool> IniSettingsStore::boolValue(const QString& key) const {
    settings_.sync();
    const QVariant value = settings_.value(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return std::nullopt;
}

// Not-a-number and infinities count as absent: no setting of ours can take them, and a
// threshold compared with them would never (or always) trigger.
std::optional<double> IniSettingsStore::doubleValue(const QString& key) const {
    settings_.sync();
    const QVariant value = settings_.value(key);
    std::optional<double> number;
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Int ||
        value.typeId() == QMetaType::LongLong) {
        number = value.toDouble();
    } else if (value.typeId() == QMetaType::QString) {
        bool ok = false;
        const double parsed = value.toString().toDouble(&ok);
        if (ok)
            number = parsed;
    }
    if (number && !std::isfinite(*number))
        return std::nullopt;
    return number;
}

std::optional<QStringList> IniSettingsStore::stringListValue(const QString& key) const {
    settings_.sync();
    if (!settings_.contains(key))
        return std::nullopt;
    const QVariant value = settings_.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() == QMetaType::QString)
        return QStringList{value.toString()};
    if (!value.isValid())
        return QStringList{}; // how INI stores an empty list
    return std::nullopt;
}

void IniSettingsStore::setBool(const QString& key, bool value) {
    settings_.setValue(key, value);
    settings_.sync();
}

void IniSettingsStore::setDouble(const QString& key, double value) {
    settings_.setValue(key, value);
    settings_.sync();
}

void IniSettingsStore::setStringList(const QString& key, const QStringList& value) {
    settings_.setValue(key, value);
    settings_.sync();
}
