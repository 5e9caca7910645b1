#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <variant>

// The update checker: reads the release feed (an RSS appcast in Sparkle's format) when the
// user asks, and says whether a newer version than the running one is listed. There are no
// background checks. Without a feed address no check can start.
class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    struct UpToDate {
        bool operator==(const UpToDate&) const = default;
    };
    struct NewVersion {
        QString version;
        QString releaseNotesUrl;
        QString downloadUrl;
        bool operator==(const NewVersion&) const = default;
    };
    struct Error {
        QString message;
        bool operator==(const Error&) const = default;
    };
    using Outcome = std::variant<UpToDate, NewVersion, Error>;

    // The feed address this build was configured with (empty when none).
    [[nodiscard]] static QUrl configuredFeedUrl();

    explicit Updater(QUrl feedUrl = configuredFeedUrl(),
                     QString currentVersion = QStringLiteral(PELLWICK_VERSION),
                     QObject* parent = nullptr);

    // False at creation; becomes true once the event loop runs, if there is a feed; false
    // while a check runs.
    [[nodiscard]] bool canCheckForUpdates() const { return canCheckForUpdates_; }

    // How long the feed's server may stay silent before the check gives up.
    void setTransferTimeout(std::chrono::milliseconds timeout) { transferTimeout_ = timeout; }

    [[nodiscard]] QCoro::Task<Outcome> checkForUpdates();

    // The newest item of `feed` by the feed's version rules if it is newer than
    // `currentVersion`, else UpToDate; an Error when the document is not a feed.
    [[nodiscard]] static Outcome outcomeFor(const QByteArray& feed, const QString& currentVersion);

signals:
    void canCheckForUpdatesChanged();

private:
    void setCanCheckForUpdates(bool value);

    QUrl feedUrl_;
    QString currentVersion_;
    std::chrono::milliseconds transferTimeout_{15'000};
    bool canCheckForUpdates_ = false;
};
