#include "app/UpdateChecker.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QXmlStreamReader>

#include "platform/Resources.h"

namespace glintwork {

namespace {

const QString kSparkleNamespace = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

struct ItemFields {
    QString version;
    QString shortVersion;
    QUrl link;
    QUrl releaseNotes;
    QUrl enclosure;
};

bool isSparkle(const QXmlStreamReader& reader, QStringView name) {
    return reader.name() == name &&
           (reader.namespaceUri() == kSparkleNamespace || reader.prefix() == u"sparkle");
}

QString sparkleAttribute(const QXmlStreamAttributes& attributes, const QString& name) {
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.name() == name &&
            (attribute.namespaceUri() == kSparkleNamespace || attribute.prefix() == u"sparkle"))
            return attribute.value().toString();
    }
    return {};
}

std::optional<FeedRelease> releaseOf(const ItemFields& item) {
    // The marketing version is what users compare; the build version stands in for it.
    const QString text = !item.shortVersion.isEmpty() ? item.shortVersion : item.version;
    const QVersionNumber version = QVersionNumber::fromString(text.trimmed());
    if (version.isNull())
        return std::nullopt;
    FeedRelease release;
    release.version = version;
    release.displayVersion = text.trimmed();
    release.page = item.link.isValid() && !item.link.isEmpty()                 ? item.link
                   : item.releaseNotes.isValid() && !item.releaseNotes.isEmpty() ? item.releaseNotes
                                                                                 : item.enclosure;
    return release;
}

} // namespace

std::optional<FeedRelease> newestRelease(const QByteArray& feed) {
    QXmlStreamReader reader(feed);
    std::optional<FeedRelease> newest;
    std::optional<ItemFields> item;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            if (reader.name() == u"item") {
                item = ItemFields{};
            } else if (item) {
                if (reader.name() == u"enclosure") {
                    const QXmlStreamAttributes attributes = reader.attributes();
                    item->enclosure = QUrl(attributes.value(QStringLiteral("url")).toString());
                    if (const QString v = sparkleAttribute(attributes, QStringLiteral("version"));
                        !v.isEmpty())
                        item->version = v;
                    if (const QString v =
                            sparkleAttribute(attributes, QStringLiteral("shortVersionString"));
                        !v.isEmpty())
                        item->shortVersion = v;
                } else if (isSparkle(reader, u"version")) {
                    item->version = reader.readElementText();
                } else if (isSparkle(reader, u"shortVersionString")) {
                    item->shortVersion = reader.readElementText();
                } else if (isSparkle(reader, u"releaseNotesLink")) {
                    item->releaseNotes = QUrl(reader.readElementText().trimmed());
                } else if (reader.name() == u"link" && reader.namespaceUri().isEmpty()) {
                    item->link = QUrl(reader.readElementText().trimmed());
                }
            }
        } else if (reader.isEndElement() && reader.name() == u"item" && item) {
            if (const auto release = releaseOf(*item);
                release && (!newest || release->version > newest->version))
                newest = release;
            item.reset();
        }
    }
    if (reader.hasError())
        return std::nullopt;
    return newest;
}

UpdateChecker::UpdateChecker(std::optional<QUrl> feed, QVersionNumber currentVersion,
                             QObject* parent)
    : QObject(parent), m_feed(std::move(feed)), m_currentVersion(std::move(currentVersion)),
      m_network(new QNetworkAccessManager(this)) {
    setCanCheck(m_feed.has_value() && m_feed->isValid());
}

UpdateChecker::~UpdateChecker() = default;

std::optional<QUrl> UpdateChecker::configuredFeed() {
    const auto path = Resources::path(QStringLiteral("update.conf"));
    if (!path)
        return std::nullopt;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'#'))
            continue;
        const auto equals = line.indexOf(u'=');
        if (equals < 0 || line.left(equals).trimmed() != u"feed")
            continue;
        const QUrl url(line.mid(equals + 1).trimmed());
        if (url.isValid() && !url.isEmpty() && !url.isRelative())
            return url;
    }
    return std::nullopt;
}

void UpdateChecker::setCanCheck(bool canCheck) {
    if (m_canCheck == canCheck)
        return;
    m_canCheck = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}

void UpdateChecker::checkForUpdates() {
    if (!m_canCheck || !m_feed)
        return;
    setCanCheck(false);
    QNetworkRequest request(*m_feed);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(30000);
    QNetworkReply* reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { replyFinished(reply); });
}

void UpdateChecker::replyFinished(QNetworkReply* reply) {
    reply->deleteLater();
    Result result;
    if (reply->error() != QNetworkReply::NoError) {
        result.error = reply->errorString();
    } else if (const auto release = newestRelease(reply->readAll())) {
        result.release = *release;
        result.outcome = release->version > m_currentVersion ? Outcome::updateAvailable
                                                             : Outcome::upToDate;
    } else {
        result.error = tr("The update feed could not be read.");
    }
    setCanCheck(true);
    Q_EMIT checkFinished(result);
}

} // namespace glintwork
