#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QSignalSpy>

#include "platform/BookmarkService.h"
#include "platform/PreferenceStore.h"
#include "platform/SharedOutputSettings.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;

// The real layer, refusing access to chosen folders and counting the folders being accessed.
struct RecordingLayer final : BookmarkLayer {
    RecordingLayer(QSet<QString>* refused, int* open) : refused(refused), open(open) {}
    std::optional<QByteArray> createBookmark(const QUrl& f) override {
        return real.createBookmark(f);
    }
    std::optional<Resolved> resolveBookmark(const QByteArray& data) override {
        return real.resolveBookmark(data);
    }
    bool startAccessing(const QUrl& url) override {
        const bool started = !refused->contains(url.toLocalFile()) && real.startAccessing(url);
        *open += started;
        return started;
    }
    void stopAccessing(const QUrl&) override { --*open; }

    QSet<QString>* refused;
    int* open;
    LinuxBookmarkLayer real;
};

class BookmarkTest : public ::testing::Test {
protected:
    QUrl makeFolder(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        return QUrl::fromLocalFile(m_dir.filePath(name));
    }
    std::unique_ptr<SharedOutputSettings> start() {
        return std::make_unique<SharedOutputSettings>(
            std::make_unique<RecordingLayer>(&m_refused, &m_open));
    }

    test::ScratchDir m_dir;
    QSet<QString> m_refused;
    int m_open = 0;
};

TEST_F(BookmarkTest, UseInputFolderForgetsTheChoiceAndEndsAccess) {
    EXPECT_EQ(outputDirectoryDisplayPath(nullptr), u"(Same folder as input)"_s);
    PreferenceStore().setBytes(BookmarkService::kBookmarkKey, "not a bookmark");
    const auto settings = start();
    EXPECT_FALSE(settings->outputDirectory().has_value());
    EXPECT_EQ(outputDirectoryDisplayPath(settings.get()), u"(Same folder as input)"_s);

    QSignalSpy changed(settings.get(), &SharedOutputSettings::outputDirectoryChanged);
    const QUrl a = makeFolder(u"A"_s), b = makeFolder(u"B"_s);
    settings->setDirectory(a);
    settings->setDirectory(a);
    EXPECT_EQ(changed.count(), 1) << "re-choosing the same folder must not notify";
    settings->setDirectory(b);
    EXPECT_EQ(settings->outputDirectory(), b);
    settings->setDirectory(std::nullopt);
    EXPECT_FALSE(settings->outputDirectory().has_value());
    EXPECT_TRUE(settings->bookmarkService().bookmarkData().isEmpty());
    EXPECT_FALSE(settings->bookmarkService().accessingScopedURL().has_value());
    EXPECT_EQ(m_open, 0) << "every start of access is paired with a stop";
    EXPECT_FALSE(start()->outputDirectory().has_value());
}

TEST_F(BookmarkTest, DeletedFolderIsAbsentUntilItReturnsAndAStaleBookmarkIsRefreshed) {
    const QUrl out = makeFolder(u"Out"_s);
    start()->setDirectory(out);
    // Moved away, keeping its inode busy so that the new folder below cannot reuse it.
    QDir(m_dir.path()).rename(u"Out"_s, u"Moved"_s);
    const auto restarted = start();
    EXPECT_FALSE(restarted->outputDirectory().has_value());
    EXPECT_FALSE(restarted->bookmarkService().bookmarkData().isEmpty());

    const QByteArray original = PreferenceStore().bytes(BookmarkService::kBookmarkKey);
    makeFolder(u"Out"_s);
    EXPECT_EQ(start()->outputDirectory(), out);
    const QByteArray refreshed = PreferenceStore().bytes(BookmarkService::kBookmarkKey);
    EXPECT_NE(refreshed, original);
    EXPECT_FALSE(LinuxBookmarkLayer().resolveBookmark(refreshed)->isStale);
}

// A folder that is refused, missing, a file, empty or relative cannot be chosen: the
// previous choice stays, in this run and in the stored bookmark.
TEST_F(BookmarkTest, UnusableFolderKeepsThePreviousOne) {
    const QUrl refused = makeFolder(u"Refused"_s);
    m_refused.insert(refused.toLocalFile());
    const QUrl first = makeFolder(u"First"_s);
    for (const QUrl& folder : {refused, QUrl::fromLocalFile(m_dir.filePath(u"nope"_s)),
                               QUrl::fromLocalFile(m_dir.writeFile(u"plain.txt"_s, "x")), QUrl(),
                               QUrl::fromLocalFile(QString()), QUrl::fromLocalFile(u"."_s)}) {
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

// A stored empty or relative path (an empty one would put outputs into "/") reads as unset.
TEST_F(BookmarkTest, StoredEmptyOrRelativePathReadsAsUnset) {
    for (const QString& path : {QString(), u"."_s}) {
        QByteArray data;
        QDataStream out(&data, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << quint32(0x474C4246) << quint16(1) << path << quint64(0) << quint64(0);
        PreferenceStore().setBytes(BookmarkService::kBookmarkKey, data);
        EXPECT_FALSE(start()->outputDirectory().has_value()) << path.toStdString();
    }
}

// A sibling whose name merely starts with the home folder's is shown as it is.
TEST_F(BookmarkTest, DisplayPathAbbreviatesOnlyTheLeadingHomeFolder) {
    const test::ScratchDir scratch;
    const QByteArray home = QFile::encodeName(scratch.filePath(u"home"_s));
    const test::EnvironmentOverride homeHere("HOME", &home);
    const auto settings = start();
    for (const QString& end : {u"/Pictures/Out"_s, u"-other"_s}) {
        const QString folder = scratch.filePath(u"home"_s) + end;
        ASSERT_TRUE(QDir().mkpath(folder));
        settings->setDirectory(QUrl::fromLocalFile(folder));
        EXPECT_EQ(outputDirectoryDisplayPath(settings.get()), end[0] == u'/' ? u'~' + end : folder);
        settings->setDirectory(std::nullopt);
    }
}

} // namespace
} // namespace glintwork
