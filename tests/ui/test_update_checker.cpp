#include <QFile>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "app/UpdateChecker.h"
#include "support/TestSupport.h"

using namespace glintwork;

namespace {

// A one-page HTTP server on 127.0.0.1 answering every request with the same response.
class AppcastServer : public QObject {
public:
    explicit AppcastServer(QByteArray body, int status = 200) : m_body(std::move(body)), m_status(status) {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_request.contains("\r\n\r\n"))
                        return;
                    ++m_requests;
                    const QByteArray reason = m_status == 200 ? "OK" : "Not Found";
                    socket->write("HTTP/1.1 " + QByteArray::number(m_status) + " " + reason +
                                  "\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
                                  QByteArray::number(m_body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + m_body);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_listening = m_server.listen(QHostAddress::LocalHost, 0);
    }

    [[nodiscard]] bool isListening() const { return m_listening; }
    [[nodiscard]] QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(m_server.serverPort()));
    }
    [[nodiscard]] int requests() const { return m_requests; }

private:
    QTcpServer m_server;
    QByteArray m_body;
    int m_status;
    QByteArray m_request;
    bool m_listening = false;
    int m_requests = 0;
};

QByteArray appcast(const QByteArray& items) {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Glintwork</title>)" +
           items + "</channel></rss>";
}

QByteArray enclosureItem(const QByteArray& version, const QByteArray& link) {
    return "<item><title>Glintwork " + version + "</title><link>" + link +
           "</link><enclosure url=\"https://example.org/glintwork-" + version +
           ".tar.gz\" sparkle:version=\"" + version + "\" sparkle:shortVersionString=\"" +
           version + "\" length=\"1\" type=\"application/octet-stream\"/></item>";
}

struct FeedCase {
    const char* name;
    QByteArray feed;
    int status;
    UpdateChecker::Outcome outcome;
    QString version;
    QString page;
};

// The program checking is version 0.1.0.
const FeedCase kFeedCases[] = {
    {"same version", appcast(enclosureItem("0.1.0", "https://example.org/a")), 200,
     UpdateChecker::Outcome::upToDate, QStringLiteral("0.1.0"), QStringLiteral("https://example.org/a")},
    {"older only", appcast(enclosureItem("0.0.9", "https://example.org/b")), 200,
     UpdateChecker::Outcome::upToDate, QStringLiteral("0.0.9"), QStringLiteral("https://example.org/b")},
    // 0.10.0 is newer than 0.9.0: numbers, not text, are compared.
    {"newest among several",
     appcast(enclosureItem("0.9.0", "https://example.org/c") + enclosureItem("0.10.0", "https://example.org/e") +
             enclosureItem("0.1.0", "https://example.org/d")),
     200, UpdateChecker::Outcome::updateAvailable, QStringLiteral("0.10.0"), QStringLiteral("https://example.org/e")},
    {"versions in elements",
     appcast("<item><sparkle:version>12</sparkle:version><sparkle:shortVersionString>1.2.0"
             "</sparkle:shortVersionString><sparkle:releaseNotesLink>https://example.org/notes"
             "</sparkle:releaseNotesLink><enclosure url=\"https://example.org/x.tar.gz\"/></item>"),
     200, UpdateChecker::Outcome::updateAvailable, QStringLiteral("1.2.0"), QStringLiteral("https://example.org/notes")},
    {"not an appcast", "<html><body>hello</body>", 200, UpdateChecker::Outcome::failed, {}, {}},
    {"server error", "missing", 404, UpdateChecker::Outcome::failed, {}, {}},
};

} // namespace

class UpdateCheckerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void checksAgainstALocalAppcast_data() { test::addRows(kFeedCases); }
    void checksAgainstALocalAppcast();
    void withoutAFeedItCanNeverCheck();
    void theFeedComesFromUpdateConf();

private:
    QTemporaryDir m_config;
};

void UpdateCheckerTest::initTestCase() {
    QVERIFY(m_config.isValid());
    test::isolatePreferences(m_config);
    // The check must reach 127.0.0.1 directly, whatever proxy the machine sets.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void UpdateCheckerTest::checksAgainstALocalAppcast() {
    QFETCH(int, row);
    const FeedCase& c = kFeedCases[row];
    AppcastServer server(c.feed, c.status);
    QVERIFY(server.isListening());
    UpdateChecker checker(server.url(), QVersionNumber(0, 1, 0));
    QVERIFY(checker.canCheckForUpdates());
    QSignalSpy availability(&checker, &UpdateChecker::canCheckForUpdatesChanged);
    QSignalSpy finished(&checker, &UpdateChecker::checkFinished);
    checker.checkForUpdates();
    QVERIFY(!checker.canCheckForUpdates());
    // A second request while one runs is not sent.
    checker.checkForUpdates();
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(server.requests(), 1);
    QVERIFY(checker.canCheckForUpdates());
    QCOMPARE(availability.size(), 2);
    const auto result = finished.first().first().value<UpdateChecker::Result>();
    QCOMPARE(result.outcome, c.outcome);
    QCOMPARE(result.release.displayVersion, c.version);
    QCOMPARE(result.release.page, QUrl(c.page));
    QCOMPARE(result.error.isEmpty(), c.outcome != UpdateChecker::Outcome::failed);
}

void UpdateCheckerTest::withoutAFeedItCanNeverCheck() {
    UpdateChecker checker(std::nullopt, QVersionNumber(0, 1, 0));
    QVERIFY(!checker.canCheckForUpdates());
    QSignalSpy finished(&checker, &UpdateChecker::checkFinished);
    checker.checkForUpdates();
    QVERIFY(!checker.canCheckForUpdates());
    QCOMPARE(finished.size(), 0);
}

void UpdateCheckerTest::theFeedComesFromUpdateConf() {
    QTemporaryDir resources;
    const test::ResourceFolder current(resources.path());
    const QString conf = resources.filePath(QStringLiteral("update.conf"));
    const struct {
        QByteArray line;
        std::optional<QUrl> feed;
    } steps[] = {
        {{}, std::nullopt}, // no update.conf at all
        {"# feed = https://example.org/commented.xml\n", std::nullopt},
        {"feed = https://example.org/glintwork/appcast.xml\n",
         QUrl(QStringLiteral("https://example.org/glintwork/appcast.xml"))},
    };
    for (const auto& step : steps) {
        if (!step.line.isEmpty()) {
            QFile file(conf);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
            file.write(step.line);
        }
        QCOMPARE(UpdateChecker::configuredFeed(), step.feed);
    }
}

QTEST_MAIN(UpdateCheckerTest)
#include "test_update_checker.moc"
