#include "Updater.h"

#include "Appcast.h"
#include "core/VersionComparison.h"

#include <QCoro/QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace {

// The check resumes inside the reply's finished signal, so neither the reply nor its manager
// may be deleted before that signal has returned.
struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

bool isNewer(const QString& candidate, const QString& than) {
    return compareVersions(candidate.toStdString(), than.toStdString()) > 0;
}

// GCC 12 cannot compile QStringLiteral inside a coroutine, so the texts are made here.
Updater::Error busyError() {
    return {QStringLiteral("Update checks are not available right now.")};
}

Updater::Error downloadError(const QNetworkReply& reply) {
    // Qt reports its transfer time limit as a cancelled operation; nothing else cancels ours.
    if (reply.error() == QNetworkReply::OperationCanceledError)
        return {QStringLiteral("The update server did not answer in time.")};
    return {QStringLiteral("Could not load the update feed: ") + reply.errorString()};
}

} // namespace

QUrl Updater::configuredFeedUrl() {
    return QUrl(QStringLiteral(PELLWICK_APPCAST_URL));
}

Updater::Updater(QUrl feedUrl, QString currentVersion, QObject* parent)
    : QObject(parent), feedUrl_(std::move(feedUrl)), currentVersion_(std::move(currentVersion)) {
    // Like an update framework starting up: the flag turns on after launch, not during it.
    if (feedUrl_.isValid() && !feedUrl_.isEmpty())
        QTimer::singleShot(0, this, [this] { setCanCheckForUpdates(true); });
}

void Updater::setCanCheckForUpdates(bool value) {
    if (canCheckForUpdates_ == value)
        return;
    canCheckForUpdates_ = value;
    emit canCheckForUpdatesChanged();
}

QCoro::Task<Updater::Outcome> Updater::checkForUpdates() {
    if (!canCheckForUpdates_)
        co_return busyError();
    setCanCheckForUpdates(false);
    const QPointer<Updater> self(this);
    const QString currentVersion = currentVersion_;

    QNetworkRequest request(feedUrl_);
    request.setTransferTimeout(static_cast<int>(transferTimeout_.count()));
    // The manager belongs to this check, so the download never depends on the Updater living.
    const std::unique_ptr<QNetworkAccessManager, DeleteLater> network(new QNetworkAccessManager);
    const std::unique_ptr<QNetworkReply, DeleteLater> reply(network->get(request));
    co_await reply.get();

    if (self)
        self->setCanCheckForUpdates(true);
    if (reply->error() != QNetworkReply::NoError)
        co_return downloadError(*reply);
    co_return outcomeFor(reply->readAll(), currentVersion);
}

Updater::Outcome Updater::outcomeFor(const QByteArray& feed, const QString& currentVersion) {
    const auto items = parseAppcast(feed);
    if (!items)
        return Error{QStringLiteral("The update feed could not be read.")};
    const AppcastItem* newest = nullptr;
    for (const auto& item : *items) {
        if (!newest || isNewer(item.version, newest->version))
            newest = &item;
    }
    if (!newest || !isNewer(newest->version, currentVersion))
        return UpToDate{};
    return NewVersion{newest->displayVersion, newest->releaseNotesUrl, newest->downloadUrl};
}
