#include "Notifier.h"

#include <QCoro/QCoroTask>

#include "platform/QtPrinting.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

class RecordingLog : public SystemLog {
public:
    void info(const QString& message) override { lines << QStringLiteral("info ") + message; }
    void error(const QString& message) override { lines << QStringLiteral("error ") + message; }
    QStringList lines;
};

class FakeCenter : public NotificationCenter {
public:
    struct Post {
        QString identifier, title, body, soundName;
    };

    QCoro::Task<int> authorizationStatus() override {
        const int status = statuses.size() > 1 ? statuses.front() : statuses.back();
        if (statuses.size() > 1)
            statuses.pop_front();
        co_return status;
    }
    QCoro::Task<PermissionAnswer> requestAuthorization() override {
        ++requests;
        co_return answer;
    }
    QCoro::Task<std::optional<QString>> post(QString identifier, QString title, QString body,
                                             QString soundName) override {
        posts.push_back({identifier, title, body, soundName});
        co_return postFailure;
    }

    std::deque<int> statuses{2};
    PermissionAnswer answer = Granted{true};
    std::optional<QString> postFailure;
    int requests = 0;
    std::vector<Post> posts;
};

struct Fixture {
    std::shared_ptr<FakeCenter> center = std::make_shared<FakeCenter>();
    std::shared_ptr<RecordingLog> log = std::make_shared<RecordingLog>();
    [[nodiscard]] Notifier::Context context() const { return {center, log}; }
};

struct AskCase {
    std::deque<int> statuses;
    NotificationCenter::PermissionAnswer answer;
    int expectedStatus;
    int expectedRequests;
    QStringList expectedLines;
};

class RequestAuthorizationTest : public testing::TestWithParam<AskCase> {};

// Only an undetermined status leads to a request; every call logs the status it ends with.
TEST_P(RequestAuthorizationTest, AsksOnlyWhileUndetermined) {
    Fixture fixture;
    fixture.center->statuses = GetParam().statuses;
    fixture.center->answer = GetParam().answer;
    EXPECT_EQ(QCoro::waitFor(Notifier::requestAuthorization(fixture.context())),
              GetParam().expectedStatus);
    EXPECT_EQ(fixture.center->requests, GetParam().expectedRequests);
    EXPECT_EQ(fixture.log->lines, GetParam().expectedLines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestAuthorizationTest,
    testing::Values(
        AskCase{{2}, NotificationCenter::Granted{true}, 2, 0, {"info Notification status: 2"}},
        AskCase{{1}, NotificationCenter::Granted{true}, 1, 0, {"info Notification status: 1"}},
        AskCase{{0, 2},
                NotificationCenter::Granted{true},
                2,
                1,
                {"info Authorization granted: true", "info Notification status: 2"}},
        AskCase{{0, 1},
                NotificationCenter::Granted{false},
                1,
                1,
                {"info Authorization granted: false", "info Notification status: 1"}},
        AskCase{
            {0, 0},
            NotificationCenter::Failed{"The service is gone."},
            0,
            1,
            {"error Authorization failed: The service is gone.", "info Notification status: 0"}}));

TEST(NotifierTest, StatusNeitherAsksNorLogs) {
    Fixture fixture;
    fixture.center->statuses = {0};
    EXPECT_EQ(QCoro::waitFor(Notifier::authorizationStatus(fixture.context())), 0);
    EXPECT_EQ(fixture.center->requests, 0);
    EXPECT_TRUE(fixture.log->lines.isEmpty());
}

struct BodyCase {
    std::int64_t freeBytes;
    std::int64_t sweepableBytes;
    QString body;
};

class LowSpaceBodyTest : public testing::TestWithParam<BodyCase> {};

TEST_P(LowSpaceBodyTest, MentionsSweepingOnlyWhenThereIsSomething) {
    EXPECT_EQ(Notifier::lowSpaceBody(GetParam().freeBytes, GetParam().sweepableBytes),
              GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LowSpaceBodyTest,
    testing::Values(BodyCase{4'200'000'000, 11'000'000'000,
                             "Only 4.2 GB left. I found 11 GB that's safe to sweep."},
                    BodyCase{4'200'000'000, 1,
                             "Only 4.2 GB left. I found 1 byte that's safe to sweep."},
                    BodyCase{4'200'000'000, 0, "Only 4.2 GB left."},
                    BodyCase{84'234'000'000, -5, "Only 84.23 GB left."},
                    BodyCase{0, 0, "Only Zero kB left."}));

TEST(NotifierTest, PostsTheLowSpaceAlertAndLogsTheOutcome) {
    Fixture fixture;
    Notifier::postLowSpace(fixture.context(), 4'200'000'000, 0);
    fixture.center->postFailure = QStringLiteral("Not allowed.");
    Notifier::postLowSpace(fixture.context(), 4'200'000'000, 0);

    ASSERT_EQ(fixture.center->posts.size(), 2U);
    const auto& post = fixture.center->posts.front();
    EXPECT_EQ(post.identifier, QStringLiteral("low-space"));
    EXPECT_EQ(post.title, QStringLiteral("Psst, your computer is getting full"));
    EXPECT_EQ(post.body, QStringLiteral("Only 4.2 GB left."));
    EXPECT_FALSE(post.soundName.isEmpty());
    EXPECT_EQ(fixture.log->lines, (QStringList{"info Posted low-space notification",
                                               "error Could not post notification: Not allowed."}));
}

} // namespace
