#include "Notifier.h"
#include "platform/QtPrinting.h"
#include "support/FakeEnvironment.h"

#include <gtest/gtest.h>

namespace {

// Only an undetermined status leads to a request; every request logs the status it ends with.
TEST(Notifier, AsksOnlyWhileUndeterminedAndLogsTheOutcome) {
    struct Case {
        const char* name;
        int status;
        NotificationCenter::PermissionAnswer answer;
        int answeredStatus;
        QStringList lines;
    };
    const NotificationCenter::Failed gone{"The service is gone."};
    const Case cases[] = {
        {"authorized", 2, NotificationCenter::Granted{true}, 2, {"info Notification status: 2"}},
        {"denied", 1, NotificationCenter::Granted{true}, 1, {"info Notification status: 1"}},
        {"granted",
         0,
         NotificationCenter::Granted{true},
         2,
         {"info Authorization granted: true", "info Notification status: 2"}},
        {"refused",
         0,
         NotificationCenter::Granted{false},
         1,
         {"info Authorization granted: false", "info Notification status: 1"}},
        {"failed",
         0,
         gone,
         0,
         {"error Authorization failed: The service is gone.", "info Notification status: 0"}},
    };
    for (const auto& [name, status, answer, answeredStatus, lines] : cases) {
        const auto center = std::make_shared<FakeNotificationCenter>();
        const auto log = std::make_shared<FakeSystemLog>();
        center->status = status;
        center->answer = answer;
        center->answeredStatus = answeredStatus;
        EXPECT_EQ(QCoro::waitFor(Notifier::authorizationStatus({center, log})), status) << name;
        EXPECT_TRUE(log->lines.isEmpty()) << name; // the status alone is never logged
        EXPECT_EQ(QCoro::waitFor(Notifier::requestAuthorization({center, log})), answeredStatus)
            << name;
        EXPECT_EQ(center->requests, status == 0 ? 1 : 0) << name;
        EXPECT_EQ(log->lines, lines) << name;
    }
}

TEST(Notifier, LowSpaceBodyMentionsSweepingOnlyWhenThereIsSomething) {
    const std::tuple<std::int64_t, std::int64_t, QString> cases[] = {
        {4'200'000'000, 11'000'000'000, "Only 4.2 GB left. I found 11 GB that's safe to sweep."},
        {4'200'000'000, 1, "Only 4.2 GB left. I found 1 byte that's safe to sweep."},
        {4'200'000'000, 0, "Only 4.2 GB left."},
        {84'234'000'000, -5, "Only 84.23 GB left."},
        {0, 0, "Only Zero kB left."},
    };
    for (const auto& [freeBytes, sweepableBytes, body] : cases)
        EXPECT_EQ(Notifier::lowSpaceBody(freeBytes, sweepableBytes), body) << sweepableBytes;
}

TEST(Notifier, PostsTheLowSpaceAlertAndLogsTheOutcome) {
    const auto center = std::make_shared<FakeNotificationCenter>();
    const auto log = std::make_shared<FakeSystemLog>();
    Notifier::postLowSpace({center, log}, 4'200'000'000, 0);
    center->postFailure = QStringLiteral("Not allowed.");
    Notifier::postLowSpace({center, log}, 4'200'000'000, 0);

    ASSERT_EQ(center->posts.size(), 2U);
    const auto& post = center->posts.front();
    EXPECT_EQ(post.identifier, QStringLiteral("low-space"));
    EXPECT_EQ(post.title, QStringLiteral("Psst, your computer is getting full"));
    EXPECT_EQ(post.body, QStringLiteral("Only 4.2 GB left."));
    EXPECT_FALSE(post.soundName.isEmpty());
    EXPECT_EQ(log->lines, (QStringList{"info Posted low-space notification",
                                       "error Could not post notification: Not allowed."}));
}

} // namespace
