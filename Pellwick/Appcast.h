#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// One release listed in an update feed (an RSS "appcast" with Sparkle's attributes).
struct AppcastItem {
    QString version;        // compared with the running version ("sparkle:version")
    QString displayVersion; // shown to the user ("sparkle:shortVersionString", else version)
    QString releaseNotesUrl;
    QString downloadUrl;
};

// The items of an appcast that name a version, in feed order; none when the document is not
// a well-formed RSS feed.
[[nodiscard]] std::optional<std::vector<AppcastItem>> parseAppcast(const QByteArray& document);
