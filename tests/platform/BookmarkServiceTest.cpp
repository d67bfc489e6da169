#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>

#include "platform/BookmarkService.h"
#include "platform/PreferenceStore.h"
#include "platform/SharedOutputSettings.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

// Records every call and can refuse access to chosen folders; otherwise behaves like
// the real layer.
struct LayerLog {
    QSet<QString> refused;
    int starts = 0;
    int stops = 0;
};

class RecordingLayer final : public BookmarkLayer {
public:
    explicit RecordingLayer(LayerLog& log) : m_log(log) {}
    std::optional<QByteArray> createBookmark(const QUrl& folder) override {
        return m_real.createBookmark(folder);
    }
    std::optional<Resolved> resolveBookmark(const QByteArray& data) override {
        return m_real.resolveBookmark(data);
    }
    bool startAccessing(const QUrl& url) override {
        if (m_log.refused.contains(url.toLocalFile()))
            return false;
        ++m_log.starts;
        return m_real.startAccessing(url);
    }
    void stopAccessing(const QUrl&) override { ++m_log.stops; }

private:
    LayerLog& m_log;
    LinuxBookmarkLayer m_real;
};

class BookmarkTest : public ::testing::Test {
protected:
    QUrl makeFolder(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        return QUrl::fromLocalFile(m_dir.filePath(name));
    }
    std::unique_ptr<SharedOutputSettings> start() {
        return std::make_unique<SharedOutputSettings>(std::make_unique<RecordingLayer>(m_log));
    }

    test::ScratchDir m_dir;
    LayerLog m_log;
};

TEST_F(BookmarkTest, FirstStartOrAGarbageBookmarkHasNoFolder) {
    const auto settings = start();
    EXPECT_FALSE(settings->outputDirectory().has_value());
    EXPECT_EQ(outputDirectoryDisplayPath(settings.get()), QStringLiteral("(Same folder as input)"));
    EXPECT_EQ(outputDirectoryDisplayPath(nullptr), QStringLiteral("(Same folder as input)"));
    PreferenceStore().setBytes(BookmarkService::kBookmarkKey, QByteArray("not a bookmark"));
    EXPECT_FALSE(start()->outputDirectory().has_value());
}

TEST_F(BookmarkTest, ChosenFolderIsActiveAgainAfterRestart) {
    const QUrl out = makeFolder(QStringLiteral("Out"));
    {
        const auto settings = start();
        QSignalSpy changed(settings.get(), &SharedOutputSettings::outputDirectoryChanged);
        settings->setDirectory(out);
        EXPECT_EQ(settings->outputDirectory(), out);
        EXPECT_EQ(changed.count(), 1);
        settings->setDirectory(out);
        EXPECT_EQ(changed.count(), 1) << "re-choosing the same folder must not notify";
    }
    const auto restarted = start();
    EXPECT_EQ(restarted->outputDirectory(), out);
}

TEST_F(BookmarkTest, DeletedFolderGivesNoFolderButKeepsBookmark) {
    const QUrl out = makeFolder(QStringLiteral("Out"));
    start()->setDirectory(out);
    QDir(out.toLocalFile()).removeRecursively();
    const auto restarted = start();
    EXPECT_FALSE(restarted->outputDirectory().has_value());
    EXPECT_FALSE(restarted->bookmarkService().bookmarkData().isEmpty());
    // The folder comes back: the next start finds it again.
    makeFolder(QStringLiteral("Out"));
    EXPECT_EQ(start()->outputDirectory(), out);
}

TEST_F(BookmarkTest, StaleBookmarkIsRefreshedAtStart) {
    const QUrl out = makeFolder(QStringLiteral("Out"));
    start()->setDirectory(out);
    const QByteArray original = PreferenceStore().bytes(BookmarkService::kBookmarkKey);
    // Move the folder away (keeping its inode busy) and make a new one in its place.
    QDir(m_dir.path()).rename(QStringLiteral("Out"), QStringLiteral("Moved"));
    makeFolder(QStringLiteral("Out"));
    const auto restarted = start();
    EXPECT_EQ(restarted->outputDirectory(), out);
    const QByteArray refreshed = PreferenceStore().bytes(BookmarkService::kBookmarkKey);
    EXPECT_NE(refreshed, original);
    EXPECT_FALSE(LinuxBookmarkLayer().resolveBookmark(refreshed)->isStale);
}

// A folder that is refused, missing or a file cannot be chosen: the previous choice stays,
// in this run and in the stored bookmark.
TEST_F(BookmarkTest, UnusableFolderKeepsThePreviousOne) {
    const QUrl refused = makeFolder(QStringLiteral("Refused"));
    m_log.refused.insert(refused.toLocalFile());
    const QUrl unusable[] = {refused, QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("nope"))),
                             QUrl::fromLocalFile(m_dir.writeFile(QStringLiteral("plain.txt"), "x"))};
    const QUrl first = makeFolder(QStringLiteral("First"));
    for (const QUrl& folder : unusable) {
        SCOPED_TRACE(folder.toLocalFile().toStdString());
        const auto settings = start();
        settings->setDirectory(std::nullopt);
        settings->setDirectory(folder);
        EXPECT_FALSE(settings->outputDirectory().has_value()) << "no previous folder: none";
        settings->setDirectory(first);
        settings->setDirectory(folder);
        EXPECT_EQ(settings->outputDirectory(), first);
        EXPECT_EQ(start()->outputDirectory(), first) << "the stored bookmark is the previous one";
    }
}

TEST_F(BookmarkTest, UseInputFolderErasesBookmarkAndEveryStartIsPairedWithAStop) {
    const QUrl a = makeFolder(QStringLiteral("A"));
    const QUrl b = makeFolder(QStringLiteral("B"));
    const auto settings = start();
    settings->setDirectory(a);
    settings->setDirectory(b);
    settings->setDirectory(std::nullopt);
    EXPECT_FALSE(settings->outputDirectory().has_value());
    EXPECT_TRUE(settings->bookmarkService().bookmarkData().isEmpty());
    EXPECT_EQ(m_log.starts, 2);
    EXPECT_EQ(m_log.stops, 2);
    EXPECT_FALSE(settings->bookmarkService().accessingScopedURL().has_value());
    EXPECT_FALSE(start()->outputDirectory().has_value());
}

TEST_F(BookmarkTest, DisplayPathAbbreviatesOnlyTheLeadingHomeFolder) {
    const QString home = QDir::homePath();
    const QString pictures = home + QStringLiteral("/Pictures/Out");
    QDir().mkpath(pictures);
    const auto settings = start();
    settings->setDirectory(QUrl::fromLocalFile(pictures));
    ASSERT_TRUE(settings->outputDirectory().has_value());
    EXPECT_EQ(outputDirectoryDisplayPath(settings.get()), QStringLiteral("~/Pictures/Out"));
    settings->setDirectory(std::nullopt);
    QDir(pictures).removeRecursively();

    // A sibling whose name merely starts with the home folder's is shown as it is.
    const QString sibling = home + QStringLiteral("-other-") + QString::number(QCoreApplication::applicationPid());
    if (QDir().mkpath(sibling)) {
        settings->setDirectory(QUrl::fromLocalFile(sibling));
        EXPECT_EQ(outputDirectoryDisplayPath(settings.get()), sibling);
        settings->setDirectory(std::nullopt);
        QDir(sibling).removeRecursively();
    }
}

} // namespace
} // namespace glintwork
