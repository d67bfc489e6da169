#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "batch/FileService.h"
#include "batch/MoveWithoutReplacing.h"
#include "support/TestSupport.h"

// Every way of publishing a finished file keeps the same promise: the file moves to its name
// only when nothing is there, and otherwise both stay as they were.
namespace glintwork {
namespace {

using test::contents;

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
    EXPECT_THAT(test::errorText([&] { (void)moveWithoutReplacing(source, below, GetParam()); }),
                ::testing::HasSubstr(below.toStdString()));
    EXPECT_EQ(contents(source), QByteArray("finished"));

    const QString free = scratch.filePath(QStringLiteral("free.webp"));
    EXPECT_TRUE(moveWithoutReplacing(source, free, GetParam()));
    EXPECT_EQ(contents(free), QByteArray("finished"));
    EXPECT_FALSE(QFileInfo::exists(source));
}

// When the wanted name is taken by the time the file is finished (another process racing
// for the same names), the next free name is numbered from the one the wanted name was
// itself numbered from: img-02-2, never img-02-1-1.
TEST(PublishPartFile, NumbersATakenNameFromItsBaseName) {
    const struct {
        QStringList taken, reserved;
        const char* wanted;
        const char* expected;
    } cases[] = {
        {{"img-02.webp", "img-02-1.webp"}, {}, "img-02-1.webp", "img-02-2.webp"},
        {{"img-02-1.webp"}, {"img-02.webp"}, "img-02-1.webp", "img-02-2.webp"},
        {{"img-02.webp"}, {}, "img-02.webp", "img-02-1.webp"},
        // Without an img-02.webp, or an img.webp, the number belongs to the name.
        {{"img-02-1.webp"}, {}, "img-02-1.webp", "img-02-1-1.webp"},
        {{"img-10.webp"}, {}, "img-10.webp", "img-10-1.webp"},
        {{"img-02.webp", "img-02-01.webp"}, {}, "img-02-01.webp", "img-02-01-1.webp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted);
        const test::ScratchDir scratch;
        for (const QString& name : c.taken)
            scratch.writeFile(name, "someone else's");
        QSet<QUrl> reserved;
        for (const QString& name : c.reserved)
            reserved.insert(QUrl::fromLocalFile(scratch.filePath(name)));
        PartFile part(scratch.path());
        const QUrl wanted = QUrl::fromLocalFile(scratch.filePath(QString::fromUtf8(c.wanted)));
        EXPECT_EQ(publishPartFile(part, wanted, reserved).fileName().toStdString(), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, MoveWithoutReplacingTest,
                         ::testing::Values(MoveMethod::automatic, MoveMethod::linkThenUnlink,
                                           MoveMethod::exclusiveCopy));

} // namespace
} // namespace glintwork
