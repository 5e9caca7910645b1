#include "Notifier.h"
#include "platform/QtPrinting.h"
#include "support/FakeEnvironment.h"

#include <gtest/gtest.h>

namespace {

// Only an undetermined status leads to a request; every request logs the status it ends with,
// after the answer when it asked.
TEST(Notifier, AsksOnlyWhileUndeterminedAndLogsTheOutcome) {
    using Granted = NotificationCenter::Granted;
    const std::tuple<int, NotificationCenter::PermissionAnswer, int, QString> cases[] = {
        {2, Granted{true}, 2, {}},
        {0, Granted{true}, 2, "info Authorization granted: true"},
        {0, Granted{false}, 1, "info Authorization granted: false"},
        {0, NotificationCenter::Failed{"The service is gone."}, 0,
         "error Authorization failed: The service is gone."},
    };
    for (const auto& [status, answer, answeredStatus, asked] : cases) {
        SCOPED_TRACE(asked.toStdString());
        const auto center = std::make_shared<FakeNotificationCenter>();
        const auto log = std::make_shared<FakeSystemLog>();
        center->status = status;
        center->answer = answer;
        center->answeredStatus = answeredStatus;
        EXPECT_EQ(QCoro::waitFor(Notifier::authorizationStatus({center, log})), status);
        EXPECT_TRUE(log->lines.isEmpty()); // the status alone is never logged
        EXPECT_EQ(QCoro::waitFor(Notifier::requestAuthorization({center, log})), answeredStatus);
        EXPECT_EQ(center->requests, status == 0 ? 1 : 0);
        QStringList expected{QStringLiteral("info Notification status: %1").arg(answeredStatus)};
        if (!asked.isEmpty())
            expected.prepend(asked);
        EXPECT_EQ(log->lines, expected);
    }
}

// Posting itself, with the bodies of 11 GB and of nothing to sweep, is checked against a
// notification server on a private bus.
TEST(Notifier, LowSpaceBodyMentionsSweepingOnlyWhenThereIsSomething) {
    const std::tuple<std::int64_t, std::int64_t, QString> cases[] = {
        {4'200'000'000, 1, "Only 4.2 GB left. I found 1 byte that's safe to sweep."},
        {84'234'000'000, -5, "Only 84.23 GB left."},
    };
    for (const auto& [freeBytes, sweepableBytes, body] : cases)
        EXPECT_EQ(Notifier::lowSpaceBody(freeBytes, sweepableBytes), body) << sweepableBytes;
}

} // namespace
