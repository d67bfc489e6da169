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

QByteArray appcast(const QList<QByteArray>& items) {
    QByteArray xml = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Glintwork</title>)";
    for (const QByteArray& item : items)
        xml += item;
    xml += "</channel></rss>";
    return xml;
}

QByteArray enclosureItem(const QByteArray& version, const QByteArray& link) {
    return "<item><title>Glintwork " + version + "</title><link>" + link +
           "</link><enclosure url=\"https://example.org/glintwork-" + version +
           ".tar.gz\" sparkle:version=\"" + version + "\" sparkle:shortVersionString=\"" +
           version + "\" length=\"1\" type=\"application/octet-stream\"/></item>";
}

} // namespace

Q_DECLARE_METATYPE(glintwork::UpdateChecker::Outcome)

class UpdateCheckerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void checksAgainstALocalAppcast_data();
    void checksAgainstALocalAppcast();
    void withoutAFeedItCanNeverCheck();
    void theFeedComesFromUpdateConf();
    void newestReleaseReadsElementVersionsToo();

private:
    QTemporaryDir m_config;
};

void UpdateCheckerTest::initTestCase() {
    QVERIFY(m_config.isValid());
    test::isolatePreferences(m_config);
    // The check must reach 127.0.0.1 directly, whatever proxy the machine sets.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void UpdateCheckerTest::checksAgainstALocalAppcast_data() {
    QTest::addColumn<QByteArray>("feed");
    QTest::addColumn<UpdateChecker::Outcome>("outcome");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QUrl>("page");
    QTest::addColumn<int>("status");
    const QUrl page(QStringLiteral("https://example.org/glintwork/0.10.0"));
    QTest::newRow("same version") << appcast({enclosureItem("0.1.0", "https://example.org/a")})
                                  << UpdateChecker::Outcome::upToDate << "0.1.0"
                                  << QUrl(QStringLiteral("https://example.org/a")) << 200;
    QTest::newRow("older only") << appcast({enclosureItem("0.0.9", "https://example.org/b")})
                                << UpdateChecker::Outcome::upToDate << "0.0.9"
                                << QUrl(QStringLiteral("https://example.org/b")) << 200;
    // 0.10.0 is newer than 0.9.0: numbers, not text, are compared.
    QTest::newRow("newest among several")
        << appcast({enclosureItem("0.9.0", "https://example.org/c"),
                    enclosureItem("0.10.0", page.toEncoded()),
                    enclosureItem("0.1.0", "https://example.org/d")})
        << UpdateChecker::Outcome::updateAvailable << "0.10.0" << page << 200;
    QTest::newRow("not an appcast") << QByteArray("<html><body>hello</body>")
                                    << UpdateChecker::Outcome::failed << QString() << QUrl() << 200;
    QTest::newRow("server error") << QByteArray("missing") << UpdateChecker::Outcome::failed
                                  << QString() << QUrl() << 404;
}

void UpdateCheckerTest::checksAgainstALocalAppcast() {
    QFETCH(QByteArray, feed);
    QFETCH(UpdateChecker::Outcome, outcome);
    QFETCH(QString, version);
    QFETCH(QUrl, page);
    QFETCH(int, status);
    AppcastServer server(feed, status);
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
    QCOMPARE(result.outcome, outcome);
    QCOMPARE(result.release.displayVersion, version);
    QCOMPARE(result.release.page, page);
    QCOMPARE(result.error.isEmpty(), outcome != UpdateChecker::Outcome::failed);
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
    QCOMPARE(UpdateChecker::configuredFeed(), std::nullopt);

    QFile conf(resources.filePath(QStringLiteral("update.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("# feed = https://example.org/commented.xml\n");
    conf.close();
    QCOMPARE(UpdateChecker::configuredFeed(), std::nullopt);

    QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Append));
    conf.write("feed = https://example.org/glintwork/appcast.xml\n");
    conf.close();
    QCOMPARE(UpdateChecker::configuredFeed(),
             std::optional<QUrl>(QUrl(QStringLiteral("https://example.org/glintwork/appcast.xml"))));
}

void UpdateCheckerTest::newestReleaseReadsElementVersionsToo() {
    const QByteArray xml = appcast(
        {"<item><sparkle:version>12</sparkle:version><sparkle:shortVersionString>1.2.0"
         "</sparkle:shortVersionString><sparkle:releaseNotesLink>https://example.org/notes"
         "</sparkle:releaseNotesLink><enclosure url=\"https://example.org/x.tar.gz\"/></item>"});
    const auto release = newestRelease(xml);
    QVERIFY(release);
    QCOMPARE(release->version, QVersionNumber(1, 2, 0));
    QCOMPARE(release->page, QUrl(QStringLiteral("https://example.org/notes")));
}

QTEST_MAIN(UpdateCheckerTest)
#include "test_update_checker.moc"
