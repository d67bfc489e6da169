#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include "batch/FileService.h"
#include "batch/MoveWithoutReplacing.h"
#include "support/TestSupport.h"

// Every way of publishing a finished file keeps the same promise: the file moves to its name
// only when nothing is there, and otherwise both stay as they were.
namespace glintwork {
namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class MoveWithoutReplacingTest : public ::testing::TestWithParam<MoveMethod> {};

TEST_P(MoveWithoutReplacingTest, MovesOnlyToAFreeName) {
    const test::ScratchDir scratch;
    const QString source = scratch.writeFile(QStringLiteral(".part"), "finished");
    const QString file = scratch.writeFile(QStringLiteral("photo.webp"), "someone else's");
    const QString link = scratch.filePath(QStringLiteral("dangling.webp"));
    ASSERT_TRUE(QFile::link(scratch.filePath(QStringLiteral("nowhere")), link));

    EXPECT_FALSE(moveWithoutReplacing(source, file, GetParam()));
    EXPECT_EQ(contents(file), QByteArray("someone else's"));
    EXPECT_FALSE(moveWithoutReplacing(source, link, GetParam()));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(scratch.filePath(QStringLiteral("nowhere"))));
    // Any other failure is a file system error naming the destination.
    const QString below = scratch.filePath(QStringLiteral("missing/photo.webp"));
    try {
        (void)moveWithoutReplacing(source, below, GetParam());
        ADD_FAILURE() << "expected FileSystemError";
    } catch (const FileSystemError& error) {
        EXPECT_TRUE(error.description().contains(below)) << error.description().toStdString();
    }
    EXPECT_EQ(contents(source), QByteArray("finished"));

    const QString free = scratch.filePath(QStringLiteral("free.webp"));
    EXPECT_TRUE(moveWithoutReplacing(source, free, GetParam()));
    EXPECT_EQ(contents(free), QByteArray("finished"));
    EXPECT_FALSE(QFileInfo::exists(source));
}

INSTANTIATE_TEST_SUITE_P(Methods, MoveWithoutReplacingTest,
                         ::testing::Values(MoveMethod::automatic, MoveMethod::linkThenUnlink,
                                           MoveMethod::exclusiveCopy));

// The wanted name when free; when something took it meanwhile, the next number not handed to
// another item of the run; a name longer than the file system takes is shortened in the
// middle, keeping its start and end.
TEST(PublishPartFile, TakesTheFirstFreeNameItMay) {
    const test::ScratchDir scratch;
    const QString taken = scratch.writeFile(QStringLiteral("photo.webp"), "taken");
    const QString stem = QString(200, u'a') + QString(30, u'b') + QStringLiteral("-small");
    const auto url = [&](const QString& name) {
        return QUrl::fromLocalFile(scratch.filePath(name));
    };
    const struct {
        QString wanted;
        QSet<QUrl> reserved;
        QString expectedEnd;
    } cases[] = {
        {QStringLiteral("free.webp"), {}, QStringLiteral("/free.webp")},
        {QStringLiteral("photo.webp"),
         {url(QStringLiteral("photo-1.webp"))},
         QStringLiteral("/photo-2.webp")},
        {stem + QStringLiteral(".png"), {}, QStringLiteral("b-small.png")},
        {stem + QStringLiteral(".png"), {}, QStringLiteral("b-small-1.png")},
    };
    for (const auto& c : cases) {
        PartFile part(scratch.path());
        QFile file(part.path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("finished") == 8);
        file.close();
        const QString published = publishPartFile(part, url(c.wanted), c.reserved).toLocalFile();
        EXPECT_TRUE(published.endsWith(c.expectedEnd)) << published.toStdString();
        EXPECT_TRUE(QFileInfo(published).fileName().startsWith(c.wanted.left(4)));
        EXPECT_LE(QFile::encodeName(QFileInfo(published).fileName()).size(), 255);
        EXPECT_EQ(contents(published), QByteArray("finished"));
    }
    EXPECT_EQ(contents(taken), QByteArray("taken"));
    EXPECT_EQ(QDir(scratch.path()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden),
              QStringList());
}

} // namespace
} // namespace glintwork
