#include "ui/Icons.h"

#include "ui/SymbolIconEngine.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>

// The resources live in this static library; naming their initialiser here keeps the linker
// from dropping them from programs that use the icons.
static void initialiseIconResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {

const QString applicationIconName = QStringLiteral("pellwick");

QString resourcePath(const QString& name) {
    static const bool initialised = [] {
        initialiseIconResources();
        return true;
    }();
    Q_UNUSED(initialised);
    return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

QImage render(const QString& name, QSize pixelSize) {
    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid() || pixelSize.isEmpty())
        return {};
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

} // namespace

namespace Icons {

QStringList symbolNames() {
    resourcePath(applicationIconName);
    QStringList names;
    for (const QFileInfo& file : QDir(QStringLiteral(":/icons")).entryInfoList({"*.svg"})) {
        const QString name = file.completeBaseName();
        if (name != applicationIconName)
            names << name;
    }
    return names;
}

bool hasSymbol(const QString& name) {
    return name != applicationIconName && QFileInfo::exists(resourcePath(name));
}

QImage image(const QString& name, const QColor& color, QSize pixelSize) {
    if (!hasSymbol(name))
        return {};
    QImage image = render(name, pixelSize);
    if (image.isNull())
        return {};
    // Keeps the symbol's coverage (alpha) and replaces its black with the requested colour.
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}

QPixmap pixmap(const QString& name, const QColor& color, int logicalSize, qreal devicePixelRatio) {
    const int pixels = qRound(logicalSize * devicePixelRatio);
    QPixmap result = QPixmap::fromImage(image(name, color, QSize(pixels, pixels)));
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

QIcon icon(const QString& name, const QColor& color) {
    return QIcon(new SymbolIconEngine(name, color));
}

QIcon applicationIcon() {
    return QIcon(new SymbolIconEngine(QString(), QColor()));
}

QImage applicationImage(QSize pixelSize) {
    return render(applicationIconName, pixelSize);
}

} // namespace Icons
