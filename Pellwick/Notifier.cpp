#include "Notifier.h"

#include "core/ByteCountFormat.h"

namespace {

const QString lowSpaceIdentifier = QStringLiteral("low-space");
const QString lowSpaceTitle = QStringLiteral("Psst, your computer is getting full");
// The freedesktop sound theme's ordinary alert for a new message.
const QString defaultSound = QStringLiteral("message-new-instant");

constexpr int notDetermined = 0;

QString formatted(std::int64_t bytes) {
    return QString::fromStdString(formatByteCount(bytes));
}

void logStatus(SystemLog& log, int status) {
    log.info(QStringLiteral("Notification status: %1").arg(status));
}

void logPermissionAnswer(SystemLog& log, const NotificationCenter::PermissionAnswer& answer) {
    if (const auto* granted = std::get_if<NotificationCenter::Granted>(&answer))
        log.info(QStringLiteral("Authorization granted: %1")
                     .arg(granted->granted ? QStringLiteral("true") : QStringLiteral("false")));
    else
        log.error(QStringLiteral("Authorization failed: %1")
                      .arg(std::get<NotificationCenter::Failed>(answer).message));
}

// Outside the coroutine below: GCC 12 cannot compile QStringLiteral inside one.
void logPostOutcome(SystemLog& log, const std::optional<QString>& failure) {
    if (failure)
        log.error(QStringLiteral("Could not post notification: %1").arg(*failure));
    else
        log.info(QStringLiteral("Posted low-space notification"));
}

QCoro::Task<> postAndLog(Notifier::Context context, QString body) {
    const auto failure =
        co_await context.center->post(lowSpaceIdentifier, lowSpaceTitle, body, defaultSound);
    logPostOutcome(*context.log, failure);
}

} // namespace

namespace Notifier {

QCoro::Task<int> requestAuthorization(Context context) {
    const int status = co_await context.center->authorizationStatus();
    if (status != notDetermined) {
        logStatus(*context.log, status);
        co_return status;
    }
    logPermissionAnswer(*context.log, co_await context.center->requestAuthorization());
    const int answered = co_await context.center->authorizationStatus();
    logStatus(*context.log, answered);
    co_return answered;
}

QCoro::Task<int> authorizationStatus(Context context) {
    co_return co_await context.center->authorizationStatus();
}

void postLowSpace(Context context, std::int64_t freeBytes, std::int64_t sweepableBytes) {
    // The task runs on by itself: QCoro keeps a coroutine alive until it finishes.
    postAndLog(std::move(context), lowSpaceBody(freeBytes, sweepableBytes));
}

QString lowSpaceBody(std::int64_t freeBytes, std::int64_t sweepableBytes) {
    const QString left = QStringLiteral("Only ") + formatted(freeBytes) + QStringLiteral(" left.");
    if (sweepableBytes < 1)
        return left;
    return left + QStringLiteral(" I found ") + formatted(sweepableBytes) +
           QStringLiteral(" that's safe to sweep.");
}

} // namespace Notifier
