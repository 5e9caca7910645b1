#include "Appcast.h"

#include <QXmlStreamReader>

namespace {

const QString sparkleNamespace =
    QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

// Sparkle accepts each of these either as an attribute of the enclosure or as an element of
// the item; the element wins when both are there.
struct ItemFields {
    QString version;
    QString shortVersion;
    QString releaseNotesLink;
    QString link;
    QString enclosureUrl;
    QString enclosureVersion;
    QString enclosureShortVersion;
};

std::optional<AppcastItem> itemFrom(const ItemFields& fields) {
    const QString version = fields.version.isEmpty() ? fields.enclosureVersion : fields.version;
    const QString shortVersion =
        fields.shortVersion.isEmpty() ? fields.enclosureShortVersion : fields.shortVersion;
    if (version.isEmpty())
        return std::nullopt;
    return AppcastItem{
        .version = version,
        .displayVersion = shortVersion.isEmpty() ? version : shortVersion,
        .releaseNotesUrl =
            fields.releaseNotesLink.isEmpty() ? fields.link : fields.releaseNotesLink,
        .downloadUrl = fields.enclosureUrl.isEmpty() ? fields.link : fields.enclosureUrl,
    };
}

void readEnclosure(QXmlStreamReader& reader, ItemFields& fields) {
    const QXmlStreamAttributes attributes = reader.attributes();
    fields.enclosureUrl = attributes.value(QStringLiteral("url")).toString().trimmed();
    fields.enclosureVersion =
        attributes.value(sparkleNamespace, QStringLiteral("version")).toString().trimmed();
    fields.enclosureShortVersion =
        attributes.value(sparkleNamespace, QStringLiteral("shortVersionString"))
            .toString()
            .trimmed();
    reader.skipCurrentElement();
}

QString elementText(QXmlStreamReader& reader) {
    return reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
}

// Reads one <item> up to its end tag.
ItemFields readItem(QXmlStreamReader& reader) {
    ItemFields fields;
    while (reader.readNextStartElement()) {
        const auto name = reader.name();
        const bool sparkle = reader.namespaceUri() == sparkleNamespace;
        if (sparkle && name == QLatin1String("version"))
            fields.version = elementText(reader);
        else if (sparkle && name == QLatin1String("shortVersionString"))
            fields.shortVersion = elementText(reader);
        else if (sparkle && name == QLatin1String("releaseNotesLink"))
            fields.releaseNotesLink = elementText(reader);
        else if (reader.namespaceUri().isEmpty() && name == QLatin1String("link"))
            fields.link = elementText(reader);
        else if (reader.namespaceUri().isEmpty() && name == QLatin1String("enclosure"))
            readEnclosure(reader, fields);
        else
            reader.skipCurrentElement();
    }
    return fields;
}

} // namespace

std::optional<std::vector<AppcastItem>> parseAppcast(const QByteArray& document) {
    QXmlStreamReader reader(document);
    if (!reader.readNextStartElement() || reader.name() != QLatin1String("rss"))
        return std::nullopt;
    std::vector<AppcastItem> items;
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("channel")) {
            reader.skipCurrentElement();
            continue;
        }
        while (reader.readNextStartElement()) {
            if (reader.name() != QLatin1String("item")) {
                reader.skipCurrentElement();
                continue;
            }
            if (auto item = itemFrom(readItem(reader)))
                items.push_back(std::move(*item));
        }
    }
    // Reading to the end also catches malformed text after the last item.
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError())
        return std::nullopt;
    return items;
}
