#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QUrl>

namespace glintwork {

class PreferenceStore;

// The four operations the bookmark store needs from the system. On Linux a bookmark is a
// small versioned record of the folder's absolute path with its device and inode numbers.
class BookmarkLayer {
public:
    struct Resolved {
        QUrl url;
        bool isStale = false;
    };

    virtual ~BookmarkLayer() = default;
    [[nodiscard]] virtual std::optional<QByteArray> createBookmark(const QUrl& folder) = 0;
    [[nodiscard]] virtual std::optional<Resolved> resolveBookmark(const QByteArray& data) = 0;
    [[nodiscard]] virtual bool startAccessing(const QUrl& url) = 0;
    virtual void stopAccessing(const QUrl& url) = 0;
};

class LinuxBookmarkLayer final : public BookmarkLayer {
public:
    std::optional<QByteArray> createBookmark(const QUrl& folder) override;
    std::optional<Resolved> resolveBookmark(const QByteArray& data) override;
    // Granted when the folder exists and this user may create files in it.
    bool startAccessing(const QUrl& url) override;
    // Nothing is held on Linux, but every start is still paired with a stop.
    void stopAccessing(const QUrl& url) override;
};

// Keeps the chosen output folder as a bookmark in the preference store
// ("outputDirectoryBookmark") and holds access to at most one folder at a time.
class BookmarkService {
public:
    static inline const QString kBookmarkKey = QStringLiteral("outputDirectoryBookmark");

    explicit BookmarkService(std::unique_ptr<BookmarkLayer> layer = nullptr);
    ~BookmarkService();
    BookmarkService(const BookmarkService&) = delete;
    BookmarkService& operator=(const BookmarkService&) = delete;

    // Re-establishes access to the stored folder; refreshes a stale bookmark.
    std::optional<QUrl> activate();
    // Makes folder the stored one and returns the folder active afterwards (the previous
    // one when the new folder cannot be used).
    std::optional<QUrl> setDirectory(const QUrl& folder);
    void clear();

    [[nodiscard]] QByteArray bookmarkData() const;
    [[nodiscard]] std::optional<QUrl> accessingScopedURL() const { return m_accessingScopedURL; }

private:
    void setBookmarkData(const QByteArray& data);
    void endAccess();

    std::unique_ptr<BookmarkLayer> m_layer;
    std::unique_ptr<PreferenceStore> m_store;
    std::optional<QUrl> m_accessingScopedURL;
};

} // namespace glintwork
