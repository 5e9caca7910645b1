#include "platform/linux/AutostartLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <optional>

namespace {

QString configHome() {
    const QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rule: a relative value is invalid and is ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        return QDir::homePath() + QStringLiteral("/.config");
    return base;
}

// The Exec key's quoting (Desktop Entry Specification, "The Exec key"): an argument with a
// reserved character is put in double quotes, inside which ", `, $ and \ take a backslash;
// a literal % is doubled so it is not read as a field code.
QString quotedExecArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString doubledPercent = argument;
    doubledPercent.replace(u'%', QStringLiteral("%%"));
    const bool needsQuotes =
        std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    if (!needsQuotes)
        return doubledPercent;
    QString quoted = QStringLiteral("\"");
    for (const QChar character : doubledPercent) {
        if (character == u'"' || character == u'`' || character == u'$' || character == u'\\')
            quoted += u'\\';
        quoted += character;
    }
    return quoted + u'"';
}

// The escapes of a string value, which a reader undoes before it reads the quoting.
QString escapedStringValue(const QString& value) {
    QString escaped;
    for (const QChar character : value) {
        if (character == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (character == u'\n')
            escaped += QStringLiteral("\\n");
        else if (character == u'\t')
            escaped += QStringLiteral("\\t");
        else if (character == u'\r')
            escaped += QStringLiteral("\\r");
        else
            escaped += character;
    }
    return escaped;
}

// The value of `key` in the [Desktop Entry] group, read the way desktop-entry readers do
// (white space around "=" ignored; the first occurrence counts).
std::optional<QString> desktopEntryValue(const QByteArray& contents, const QString& key) {
    bool inMainGroup = false;
    for (const QByteArray& rawLine : contents.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return std::nullopt;
}

} // namespace

QString AutostartLoginItem::defaultEntryPath() {
    return configHome() + QStringLiteral("/autostart/pellwick.desktop");
}

AutostartLoginItem::AutostartLoginItem(QString entryPath, QString executable)
    : entryPath_(std::move(entryPath)), executable_(std::move(executable)) {
}

bool AutostartLoginItem::isEnabled() const {
    QFile entry(entryPath_);
    if (!entry.open(QIODevice::ReadOnly))
        return false;
    const QByteArray contents = entry.readAll();
    if (desktopEntryValue(contents, QStringLiteral("Hidden")) == QLatin1String("true"))
        return false;
    return desktopEntryValue(contents, QStringLiteral("X-GNOME-Autostart-enabled")) !=
           QLatin1String("false");
}

void AutostartLoginItem::setEnabled(bool enabled) {
    if (!enabled) {
        QFile::remove(entryPath_);
        return;
    }
    const QString executable =
        executable_.isEmpty() ? QCoreApplication::applicationFilePath() : executable_;
    if (executable.isEmpty() || !QDir().mkpath(QFileInfo(entryPath_).absolutePath()))
        return;
    QSaveFile entry(entryPath_);
    if (!entry.open(QIODevice::WriteOnly))
        return;
    entry.write(desktopEntry(executable));
    entry.commit();
}

QByteArray AutostartLoginItem::desktopEntry(const QString& executable) {
    const QString exec = escapedStringValue(quotedExecArgument(executable));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Pellwick\n"
                          "Comment=Your computer's free space, one glance away.\n"
                          "Exec=%1\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec)
        .toUtf8();
}
