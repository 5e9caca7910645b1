#include "ui/DBusMenu.h"

#include <QDBusMetaType>

namespace {

constexpr int rootId = 0;
constexpr uint layoutRevision = 1;

const QString clicked = QStringLiteral("clicked");

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayoutItem& child : item.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    item.children.clear();
    while (!argument.atEnd()) {
        QDBusVariant wrapped;
        argument >> wrapped;
        DBusMenuLayoutItem child;
        qvariant_cast<QDBusArgument>(wrapped.variant()) >> child;
        item.children.append(child);
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event) {
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event) {
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

DBusMenu::DBusMenu(QObject* parent) : QObject(parent) {
    registerDBusTypes();
}

void DBusMenu::registerDBusTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<QList<DBusMenuItemProperties>>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<QList<DBusMenuEvent>>();
        return true;
    }();
    Q_UNUSED(registered);
}

bool DBusMenu::exists(int id) {
    return id == rootId || id == openId || id == quitId;
}

QVariantMap DBusMenu::properties(int id) {
    switch (id) {
    case rootId:
        return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
    case openId:
        return {{QStringLiteral("label"), QStringLiteral("Open Pellwick")}};
    case quitId:
        return {{QStringLiteral("label"), QStringLiteral("Quit")}};
    default:
        return {};
    }
}

// The whole menu is two entries below the root, so any request gets all of it below the
// asked-for entry.
uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList&,
                         DBusMenuLayoutItem& layout) {
    layout = {exists(parentId) ? parentId : rootId, properties(parentId), {}};
    if (parentId == rootId && recursionDepth != 0) {
        for (const int id : {openId, quitId})
            layout.children.append({id, properties(id), {}});
    }
    return layoutRevision;
}

QList<DBusMenuItemProperties> DBusMenu::GetGroupProperties(const QList<int>& ids,
                                                           const QStringList&) {
    QList<DBusMenuItemProperties> result;
    for (const int id : ids) {
        if (exists(id))
            result.append({id, properties(id)});
    }
    return result;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString& name) {
    return QDBusVariant(properties(id).value(name));
}

void DBusMenu::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    activate(id, eventId);
}

QList<int> DBusMenu::EventGroup(const QList<DBusMenuEvent>& events) {
    QList<int> unknownIds;
    for (const DBusMenuEvent& event : events) {
        if (!exists(event.id))
            unknownIds.append(event.id);
        activate(event.id, event.eventId);
    }
    return unknownIds;
}

bool DBusMenu::AboutToShow(int) {
    return false;
}

QList<int> DBusMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    for (const int id : ids) {
        if (!exists(id))
            idErrors.append(id);
    }
    return {};
}

void DBusMenu::activate(int id, const QString& eventId) {
    if (eventId != clicked)
        return;
    if (id == openId)
        emit openRequested();
    else if (id == quitId)
        emit quitRequested();
}
