#include "platform/linux/DesktopColorScheme.h"

#include <QColor>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");
const QString gnomeSchema = QStringLiteral("org.gnome.desktop.interface");

constexpr uint portalDark = 1;
constexpr uint portalLight = 2;

bool isGnomeLike(const QString& desktop) {
    for (const auto& name : {"GNOME", "Unity", "Budgie", "Pantheon"})
        if (desktop.contains(QLatin1String(name), Qt::CaseInsensitive))
            return true;
    return false;
}

// "r,g,b" from a KDE colour entry.
std::optional<QColor> kdeColor(const QByteArray& value) {
    const auto parts = value.trimmed().split(',');
    if (parts.size() < 3)
        return std::nullopt;
    bool ok[3] = {};
    const QColor color(parts[0].toInt(&ok[0]), parts[1].toInt(&ok[1]), parts[2].toInt(&ok[2]));
    if (!ok[0] || !ok[1] || !ok[2] || !color.isValid())
        return std::nullopt;
    return color;
}

} // namespace

DesktopColorScheme::DesktopColorScheme(QDBusConnection bus, Desktop desktop, QObject* parent)
    : ColorSchemeSource(parent), bus_(std::move(bus)), desktop_(std::move(desktop)) {
    // Connected before the first read, so a change during it is not lost.
    bus_.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                 this, SLOT(portalSettingChanged(QDBusMessage)));
    connect(&kdeGlobals_, &QFileSystemWatcher::fileChanged, this,
            &DesktopColorScheme::readKdeGlobals);
    connect(&gnomeMonitor_, &QProcess::readyReadStandardOutput, this, [this] {
        while (gnomeMonitor_.canReadLine())
            setScheme(fromGnomeSetting(QString::fromUtf8(gnomeMonitor_.readLine())));
    });
    readPortal(QStringLiteral("ReadOne"));
}

DesktopColorScheme::~DesktopColorScheme() {
    gnomeMonitor_.kill();
    gnomeMonitor_.waitForFinished();
}

ColorScheme DesktopColorScheme::fromPortalValue(const QVariant& value) {
    QVariant inner = value;
    while (inner.canConvert<QDBusVariant>() && inner.userType() == qMetaTypeId<QDBusVariant>())
        inner = inner.value<QDBusVariant>().variant();
    bool ok = false;
    const uint number = inner.toUInt(&ok);
    if (!ok || inner.userType() == QMetaType::QString)
        return ColorScheme::noPreference;
    if (number == portalDark)
        return ColorScheme::dark;
    if (number == portalLight)
        return ColorScheme::light;
    return ColorScheme::noPreference;
}

ColorScheme DesktopColorScheme::fromGnomeSetting(const QString& text) {
    if (text.contains(QLatin1String("'prefer-dark'")))
        return ColorScheme::dark;
    if (text.contains(QLatin1String("'prefer-light'")))
        return ColorScheme::light;
    return ColorScheme::noPreference;
}

ColorScheme DesktopColorScheme::fromKdeGlobals(const QByteArray& contents) {
    bool inWindowColors = false;
    for (const QByteArray& rawLine : contents.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inWindowColors = line == "[Colors:Window]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inWindowColors || equals < 0 || line.left(equals).trimmed() != "BackgroundNormal")
            continue;
        const auto color = kdeColor(line.mid(equals + 1));
        if (!color)
            return ColorScheme::noPreference;
        return color->lightness() < 128 ? ColorScheme::dark : ColorScheme::light;
    }
    return ColorScheme::noPreference;
}

void DesktopColorScheme::readPortal(const QString& method) {
    auto message =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, method);
    message << appearanceGroup << colorSchemeKey;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QVariant> reply = *call;
                if (!reply.isError()) {
                    setScheme(fromPortalValue(reply.value()));
                    return;
                }
                // Portals before version 2 have only Read.
                if (method == QLatin1String("ReadOne") &&
                    reply.error().type() == QDBusError::UnknownMethod) {
                    readPortal(QStringLiteral("Read"));
                    return;
                }
                useDesktopSetting();
            });
}

void DesktopColorScheme::portalSettingChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() == 3 && arguments[0].toString() == appearanceGroup &&
        arguments[1].toString() == colorSchemeKey)
        setScheme(fromPortalValue(arguments[2]));
}

void DesktopColorScheme::useDesktopSetting() {
    if (desktop_.currentDesktop.contains(QLatin1String("KDE"), Qt::CaseInsensitive))
        followKdeGlobals();
    else if (isGnomeLike(desktop_.currentDesktop))
        followGnomeSetting();
}

void DesktopColorScheme::followKdeGlobals() {
    kdeGlobals_.addPath(desktop_.configHome + QStringLiteral("/kdeglobals"));
    readKdeGlobals();
}

void DesktopColorScheme::readKdeGlobals() {
    const QString path = desktop_.configHome + QStringLiteral("/kdeglobals");
    QFile file(path);
    setScheme(file.open(QIODevice::ReadOnly) ? fromKdeGlobals(file.readAll())
                                             : ColorScheme::noPreference);
    // KDE saves by replacing the file, which ends the watch on the old one.
    if (!kdeGlobals_.files().contains(path))
        kdeGlobals_.addPath(path);
}

// `gsettings monitor` prints nothing until the first change, so one `get` comes first.
void DesktopColorScheme::followGnomeSetting() {
    auto* get = new QProcess(this);
    connect(get, &QProcess::finished, this, [this, get] {
        get->deleteLater();
        setScheme(fromGnomeSetting(QString::fromUtf8(get->readAllStandardOutput())));
    });
    get->start(QStringLiteral("gsettings"), {QStringLiteral("get"), gnomeSchema, colorSchemeKey});
    gnomeMonitor_.start(QStringLiteral("gsettings"),
                        {QStringLiteral("monitor"), gnomeSchema, colorSchemeKey});
}

void DesktopColorScheme::setScheme(ColorScheme scheme) {
    if (scheme == scheme_)
        return;
    scheme_ = scheme;
    emit colorSchemeChanged(scheme_);
}
