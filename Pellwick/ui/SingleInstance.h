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
    // to ask, or the program that owned the name went away while it was asked (it was
    // quitting). False once that program was asked to open its panel.
    [[nodiscard]] bool claim();
    // Gives the name up at once, so a launch while this program quits starts afresh.
    void release();

public slots:
    Q_SCRIPTABLE void OpenPanel();

signals:
    void openPanelRequested();

private:
    [[nodiscard]] bool registerName();

    QDBusConnection bus_;
};
