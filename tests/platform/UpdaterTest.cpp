#include "Updater.h"
#include "platform/QtPrinting.h"

#include <QCoro/QCoroTask>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A one-page web server on 127.0.0.1 that answers every request with the same response, or
// never answers when it has none.
class FeedServer : public QObject {
public:
    explicit FeedServer(std::optional<QByteArray> response) : response_(std::move(response)) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, &FeedServer::answer);
    }

    [[nodiscard]] QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(server_.serverPort()));
    }

    static QByteArray http(const QByteArray& status, const QByteArray& body) {
        return "HTTP/1.1 " + status + "\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }

private:
    void answer() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            open_.emplace_back(socket);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                request_ += socket->readAll();
                if (response_ && request_.contains("\r\n\r\n")) {
                    socket->write(*response_);
                    socket->disconnectFromHost();
                }
            });
        }
    }

    std::optional<QByteArray> response_;
    QTcpServer server_;
    QByteArray request_;
    std::vector<std::unique_ptr<QTcpSocket>> open_;
};

QByteArray feed(const QByteArray& items) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
           "sparkle\"><channel><title>Pellwick</title>" +
           items + "</channel></rss>";
}

const QByteArray version110 =
    "<item><title>1.1.0</title>"
    "<sparkle:releaseNotesLink>https://example.org/notes/1.1</sparkle:releaseNotesLink>"
    "<enclosure url=\"https://example.org/pellwick-1.1.0.tar.gz\" sparkle:version=\"1.1.0\" "
    "sparkle:shortVersionString=\"1.1\" length=\"1\" type=\"application/octet-stream\"/></item>";
const QByteArray version100 =
    "<item><sparkle:version>1.0</sparkle:version><link>https://example.org/1.0</link></item>";
const QByteArray version090 =
    "<item><enclosure url=\"https://example.org/0.9\" sparkle:version=\"0.9\"/></item>";
const QByteArray version110b2 =
    "<item><sparkle:version>1.1.0b2</sparkle:version>"
    "<sparkle:shortVersionString>1.1 beta 2</sparkle:shortVersionString>"
    "<link>https://example.org/1.1b2</link></item>";

struct FeedCase {
    std::string name;
    QByteArray document;
    QString currentVersion;
    Updater::Outcome expected;
};

void PrintTo(const FeedCase& feedCase, std::ostream* out) {
    *out << feedCase.name;
}

class OutcomeTest : public testing::TestWithParam<FeedCase> {};

TEST_P(OutcomeTest, PicksTheNewestListedVersion) {
    const auto outcome = Updater::outcomeFor(GetParam().document, GetParam().currentVersion);
    if (std::holds_alternative<Updater::Error>(GetParam().expected))
        EXPECT_TRUE(std::holds_alternative<Updater::Error>(outcome));
    else
        EXPECT_EQ(outcome, GetParam().expected);
}

const Updater::NewVersion newVersion110{
    QStringLiteral("1.1"), QStringLiteral("https://example.org/notes/1.1"),
    QStringLiteral("https://example.org/pellwick-1.1.0.tar.gz")};

INSTANTIATE_TEST_SUITE_P(
    Feeds, OutcomeTest,
    testing::Values(
        FeedCase{"newer in enclosure attributes", feed(version110), "1.0", newVersion110},
        FeedCase{"newest of several, any order", feed(version090 + version110 + version100), "1.0",
                 newVersion110},
        FeedCase{"a beta after its release is older", feed(version110 + version110b2), "1.0",
                 newVersion110},
        FeedCase{"beta as elements", feed(version110b2), "1.0",
                 Updater::NewVersion{"1.1 beta 2", "https://example.org/1.1b2",
                                     "https://example.org/1.1b2"}},
        FeedCase{"same version", feed(version100), "1.0.0", Updater::UpToDate{}},
        FeedCase{"older only", feed(version090), "1.0", Updater::UpToDate{}},
        FeedCase{"no items", feed(""), "1.0", Updater::UpToDate{}},
        FeedCase{"item without a version", feed("<item><title>x</title></item>"), "1.0",
                 Updater::UpToDate{}},
        FeedCase{"unknown elements skipped",
                 feed("<item><extra><sparkle:version>9</sparkle:version></extra>"
                      "<sparkle:version>1.0</sparkle:version><link>https://example.org/1.0</link>"
                      "</item>"),
                 "0.1",
                 Updater::NewVersion{"1.0", "https://example.org/1.0", "https://example.org/1.0"}},
        FeedCase{"truncated", feed(version110).left(200), "1.0", Updater::Error{}},
        FeedCase{"not xml", "<html><body>Sign in to the network", "1.0", Updater::Error{}},
        FeedCase{"not rss", "<feed><entry/></feed>", "1.0", Updater::Error{}},
        FeedCase{"undeclared prefix",
                 "<rss><channel><item><sparkle:version>2</sparkle:version>"
                 "</item></channel></rss>",
                 "1.0", Updater::Error{}},
        FeedCase{"empty", "", "1.0", Updater::Error{}}),
    [](const testing::TestParamInfo<FeedCase>& info) {
        return "case" + std::to_string(info.index);
    });

// Runs a check to the end.
Updater::Outcome check(Updater& updater) {
    return QCoro::waitFor(updater.checkForUpdates());
}

TEST(UpdaterTest, CanCheckOnlyOnceStartedAndNotWhileChecking) {
    FeedServer server(FeedServer::http("200 OK", feed(version110)));
    Updater updater(server.url(), QStringLiteral("1.0"));
    EXPECT_FALSE(updater.canCheckForUpdates());
    QSignalSpy changes(&updater, &Updater::canCheckForUpdatesChanged);
    ASSERT_TRUE(changes.wait(5'000));
    EXPECT_TRUE(updater.canCheckForUpdates());

    std::vector<bool> seen;
    QObject::connect(&updater, &Updater::canCheckForUpdatesChanged, &updater,
                     [&] { seen.push_back(updater.canCheckForUpdates()); });
    EXPECT_EQ(check(updater), Updater::Outcome(newVersion110));
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
    EXPECT_TRUE(updater.canCheckForUpdates());
}

TEST(UpdaterTest, WithoutAFeedNoCheckCanStart) {
    Updater updater(QUrl(), QStringLiteral("1.0"));
    QSignalSpy changes(&updater, &Updater::canCheckForUpdatesChanged);
    QCoreApplication::processEvents();
    EXPECT_FALSE(updater.canCheckForUpdates());
    EXPECT_TRUE(std::holds_alternative<Updater::Error>(check(updater)));
    EXPECT_EQ(changes.count(), 0);
}

struct ServerCase {
    std::string name;
    std::optional<QByteArray> response;
    QString currentVersion;
    Updater::Outcome expected;
};

class UpdaterServerTest : public testing::TestWithParam<ServerCase> {};

TEST_P(UpdaterServerTest, DownloadsAndJudgesTheFeed) {
    FeedServer server(GetParam().response);
    Updater updater(server.url(), GetParam().currentVersion);
    updater.setTransferTimeout(300ms);
    QSignalSpy started(&updater, &Updater::canCheckForUpdatesChanged);
    ASSERT_TRUE(started.wait(5'000));

    const auto outcome = check(updater);
    if (std::holds_alternative<Updater::Error>(GetParam().expected))
        EXPECT_TRUE(std::holds_alternative<Updater::Error>(outcome)) << GetParam().name;
    else
        EXPECT_EQ(outcome, GetParam().expected) << GetParam().name;
    EXPECT_TRUE(updater.canCheckForUpdates());
}

INSTANTIATE_TEST_SUITE_P(
    Servers, UpdaterServerTest,
    testing::Values(
        ServerCase{"newer", FeedServer::http("200 OK", feed(version110)), "1.0", newVersion110},
        ServerCase{"same", FeedServer::http("200 OK", feed(version110)), "1.1.0",
                   Updater::UpToDate{}},
        ServerCase{"older", FeedServer::http("200 OK", feed(version090)), "1.0",
                   Updater::UpToDate{}},
        ServerCase{"missing", FeedServer::http("404 Not Found", "gone"), "1.0", Updater::Error{}},
        ServerCase{"malformed", FeedServer::http("200 OK", "<rss><channel><item>"), "1.0",
                   Updater::Error{}},
        ServerCase{"silent", std::nullopt, "1.0", Updater::Error{}}),
    [](const testing::TestParamInfo<ServerCase>& info) { return info.param.name; });

TEST(UpdaterTest, ASilentServerIsReportedAsNotAnswering) {
    FeedServer server(std::nullopt);
    Updater updater(server.url(), QStringLiteral("1.0"));
    updater.setTransferTimeout(300ms);
    QSignalSpy started(&updater, &Updater::canCheckForUpdatesChanged);
    ASSERT_TRUE(started.wait(5'000));
    EXPECT_EQ(check(updater), Updater::Outcome(Updater::Error{
                                  QStringLiteral("The update server did not answer in time.")}));
}

} // namespace
