#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// Pellwick runs once per user: the first launch owns a name on the session bus, and a later
// one asks it to open its panel instead of starting a second tray item.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quenlix.Pellwick")

public:
    static inline const QString serviceName = QStringLiteral("com.quenlix.pellwick");
    static inline const QString objectPath = QStringLiteral("/");
    static inline const QString interfaceName = QStringLiteral("org.quenlix.Pellwick");

    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(),
                            QObject* parent = nullptr);

    // True when this process should go on: it owns the name now, or there is no session bus
    // to ask. False once the program that owns the name was asked to open its panel.
    [[nodiscard]] bool claim();

public slots:
    Q_SCRIPTABLE void OpenPanel();

signals:
    void openPanelRequested();

private:
    QDBusConnection bus_;
};
