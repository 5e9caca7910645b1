#include "Updater.h"
#include "platform/QtPrinting.h"

#include <QCoro/QCoroTask>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <vector>

namespace {

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
// The version inside an element the reader does not know is not the item's.
const QByteArray version100 =
    "<item><extra><sparkle:version>9</sparkle:version></extra>"
    "<sparkle:version>1.0</sparkle:version><link>https://example.org/1.0</link></item>";
const QByteArray version090 =
    "<item><enclosure url=\"https://example.org/0.9\" sparkle:version=\"0.9\"/></item>";
const QByteArray version110b2 =
    "<item><sparkle:version>1.1.0b2</sparkle:version>"
    "<sparkle:shortVersionString>1.1 beta 2</sparkle:shortVersionString>"
    "<link>https://example.org/1.1b2</link></item>";

const Updater::NewVersion newVersion110{"1.1", "https://example.org/notes/1.1",
                                        "https://example.org/pellwick-1.1.0.tar.gz"};

TEST(Updater, OutcomeIsTheNewestListedVersionIfNewer) {
    const std::tuple<const char*, QByteArray, QString, Updater::Outcome> feeds[] = {
        {"newest of several, any order, in enclosure attributes",
         feed(version090 + version110 + version100), "1.0", newVersion110},
        {"beta as elements", feed(version110b2), "1.0",
         Updater::NewVersion{"1.1 beta 2", "https://example.org/1.1b2",
                             "https://example.org/1.1b2"}},
        {"same version", feed(version100), "1.0.0", Updater::UpToDate{}},
        {"element version over the enclosure's",
         feed("<item><sparkle:version>0.9</sparkle:version><link>https://example.org/x</link>"
              "<enclosure url=\"https://example.org/x\" sparkle:version=\"2.0\"/></item>"),
         "1.0", Updater::UpToDate{}},
        {"truncated", feed(version110).left(200), "1.0",
         Updater::Error{QStringLiteral("The update feed could not be read.")}},
    };
    for (const auto& [name, document, currentVersion, expected] : feeds)
        EXPECT_EQ(Updater::outcomeFor(document, currentVersion), expected) << name;
}

// Checks end to end against a web server on 127.0.0.1: a check can start once the updater has
// started, not while one runs, and again after it ended. The server answers in HTTP/1.0, where
// the page ends with the connection.
TEST(Updater, ChecksOnlyOnceStartedAndOneAtATime) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            if (socket->peek(1 << 16).contains("\r\n\r\n")) {
                socket->write("HTTP/1.0 200 OK\r\n\r\n" + feed(version110));
                socket->disconnectFromHost();
            }
        });
    });
    Updater updater(
        QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(server.serverPort())),
        QStringLiteral("1.0"));
    EXPECT_FALSE(updater.canCheckForUpdates());
    QSignalSpy started(&updater, &Updater::canCheckForUpdatesChanged);
    ASSERT_TRUE(started.wait(20'000));

    std::vector<bool> seen;
    QObject::connect(&updater, &Updater::canCheckForUpdatesChanged, &updater,
                     [&] { seen.push_back(updater.canCheckForUpdates()); });
    EXPECT_EQ(QCoro::waitFor(updater.checkForUpdates()), Updater::Outcome(newVersion110));
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
}

} // namespace
