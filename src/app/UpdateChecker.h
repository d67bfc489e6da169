#pragma once

#include <optional>

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVersionNumber>

class QNetworkAccessManager;
class QNetworkReply;

namespace glintwork {

// What a release feed offers: the newest release it lists.
struct FeedRelease {
    QVersionNumber version;
    QString displayVersion;
    QUrl page;
};

// The newest release in a release feed (RSS items whose enclosure, or the item itself,
// carries sparkle:version / sparkle:shortVersionString); absent when none is readable.
[[nodiscard]] std::optional<FeedRelease> newestRelease(const QByteArray& feed);

// Looks for a newer Glintwork in the release feed named by Resources/update.conf. Without a
// feed it can never check. One check at a time: while one runs it cannot check.
class UpdateChecker : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    enum class Outcome { upToDate, updateAvailable, failed };

    struct Result {
        Outcome outcome = Outcome::failed;
        FeedRelease release;
        QString error;
    };

    UpdateChecker(std::optional<QUrl> feed, QVersionNumber currentVersion,
                  QObject* parent = nullptr);
    ~UpdateChecker() override;

    // The feed named by "feed = URL" in Resources/update.conf, if any.
    [[nodiscard]] static std::optional<QUrl> configuredFeed();

    [[nodiscard]] bool canCheckForUpdates() const { return m_canCheck; }
    [[nodiscard]] const std::optional<QUrl>& feed() const { return m_feed; }
    void checkForUpdates();

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    void checkFinished(const glintwork::UpdateChecker::Result& result);

private:
    void setCanCheck(bool canCheck);
    void replyFinished(QNetworkReply* reply);

    std::optional<QUrl> m_feed;
    QVersionNumber m_currentVersion;
    QNetworkAccessManager* m_network = nullptr;
    bool m_canCheck = false;
};

} // namespace glintwork
