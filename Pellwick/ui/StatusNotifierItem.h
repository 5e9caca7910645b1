#pragma once

#include <QColor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

#include <chrono>

class DBusMenu;
class QDBusServiceWatcher;

// One image of the item's icon as the protocol carries it: (iiay), ARGB32 in network byte
// order.
struct StatusNotifierPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
};
using StatusNotifierPixmaps = QList<StatusNotifierPixmap>;

// The item's tooltip: (sa(iiay)ss), icon name, icon images, title, description.
struct StatusNotifierToolTip {
    QString iconName;
    StatusNotifierPixmaps iconPixmap;
    QString title;
    QString description;
};

Q_DECLARE_METATYPE(StatusNotifierPixmap)
Q_DECLARE_METATYPE(StatusNotifierToolTip)

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& toolTip);

// Pellwick's tray item: an org.kde.StatusNotifierItem on the session bus. It shows the title
// text as the label (GNOME's AppIndicator host reads XAyatanaLabel) and as the tooltip, and can
// draw the whole-gigabyte figure into the icon for hosts that ignore labels (KDE Plasma, Xfce).
// It registers with the StatusNotifierWatcher whenever one appears, because at login the tray
// often starts after us and may restart later, and it notices when the watcher drops it.
class StatusNotifierItem : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(StatusNotifierPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(StatusNotifierToolTip ToolTip READ toolTip)
    Q_PROPERTY(QString XAyatanaLabel READ title)
    Q_PROPERTY(QString XAyatanaLabelGuide READ title)
    // GNOME's host reads these for screen readers whenever the icon changes.
    Q_PROPERTY(QString IconAccessibleDesc READ title)
    Q_PROPERTY(QString AccessibleDesc READ title)

public:
    explicit StatusNotifierItem(QDBusConnection bus = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);
    ~StatusNotifierItem() override;
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // The label and tooltip text.
    void setTitle(const QString& title);
    // The symbol (Icons.h), the figure drawn into the icon when that is switched on (empty:
    // the symbol is drawn instead), and the colour the image is drawn in.
    void setIcon(const QString& symbol, const QString& figure, const QColor& color);
    void setFigureInIcon(bool figureInIcon);

    [[nodiscard]] const QString& serviceName() const { return serviceName_; }
    // The item's object and service are on the bus.
    [[nodiscard]] bool isExported() const { return isExported_; }
    // A watcher accepted the item, lists it, and has not gone away since.
    [[nodiscard]] bool isRegistered() const { return isRegistered_; }
    // A registration with a watcher that is there has been asked for and not yet answered or
    // given up on.
    [[nodiscard]] bool isRegistering() const { return isRegistering_; }
    // The name of the process that owns the watcher ("gnome-shell", "kded5", "xfce4-panel"),
    // read when the item registers; empty before.
    [[nodiscard]] const QString& hostProcess() const { return hostProcess_; }
    // Only GNOME Shell's AppIndicator extension draws the label beside the icon.
    [[nodiscard]] bool hostShowsLabel() const;

    [[nodiscard]] QString category() const;
    [[nodiscard]] QString id() const;
    [[nodiscard]] QString title() const { return title_; }
    [[nodiscard]] QString status() const;
    [[nodiscard]] int windowId() const { return 0; }
    [[nodiscard]] bool itemIsMenu() const { return false; }
    // The context menu's path; on GNOME's host the documented "no menu" value, because a host
    // that has a menu opens it on a left click there instead of activating the item.
    [[nodiscard]] QDBusObjectPath menu() const;
    // "Open Pellwick" and "Quit" for hosts that show a menu on a right click.
    [[nodiscard]] DBusMenu& contextMenu() { return *menu_; }
    [[nodiscard]] QString iconName() const;
    [[nodiscard]] StatusNotifierPixmaps iconPixmap() const { return pixmaps_; }
    [[nodiscard]] StatusNotifierToolTip toolTip() const;

    // The host's theme name for a symbol; symbolic names let hosts recolour the icon for the
    // panel.
    [[nodiscard]] static QString themeIconName(const QString& symbol);

private slots:
    void onItemUnregistered(const QString& service);
    void onItemRegistered(const QString& service);

public slots:
    Q_SCRIPTABLE void Activate(int x, int y);
    Q_SCRIPTABLE void SecondaryActivate(int x, int y);
    Q_SCRIPTABLE void ContextMenu(int x, int y);
    Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);

signals:
    Q_SCRIPTABLE void NewTitle();
    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void XAyatanaNewLabel(const QString& label, const QString& guide);

    // For the application: a primary click at the host's screen position, a request for the
    // context menu, each time a watcher accepted the item, and when the watcher went away or
    // stopped listing the item.
    void activated(QPoint position);
    void contextMenuRequested(QPoint position);
    void registeredWithWatcher();
    void unregistered();

private:
    void exportOnBus();
    void registerWithWatcher();
    void retryRegistration(std::chrono::milliseconds delay);
    void renewServiceName();
    void markRegistered();
    void checkStillListed();
    void loseRegistration();
    void renderPixmaps();
    [[nodiscard]] bool isListed(const QStringList& registeredItems) const;

    QDBusConnection bus_;
    QString serviceName_;
    QDBusServiceWatcher* watcherWatcher_ = nullptr;
    DBusMenu* menu_ = nullptr;
    bool isExported_ = false;
    bool isRegistered_ = false;
    bool isRegistering_ = false;
    int registrationRetries_ = 0;
    int dropRetries_ = 0;
    QString hostProcess_;

    QString title_ = QStringLiteral("Pellwick");
    QString symbol_ = QStringLiteral("internaldrive");
    QString figure_;
    bool figureInIcon_ = false;
    QColor iconColor_;
    StatusNotifierPixmaps pixmaps_;
};
