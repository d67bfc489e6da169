#include <gtest/gtest.h>

#include <string>

#include <QFile>
#include <QFileInfo>

#include "batch/FileService.h"
#include "batch/MoveWithoutReplacing.h"
#include "support/TestSupport.h"

// Every way of publishing a finished file keeps the same promise: the file moves to its
// name only when nothing is there, and otherwise both stay as they were.
namespace glintwork {
namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class MoveWithoutReplacingTest : public ::testing::TestWithParam<MoveMethod> {
protected:
    test::ScratchDir m_scratch;
};

TEST_P(MoveWithoutReplacingTest, MovesToAFreeName) {
    const QString source = m_scratch.writeFile(QStringLiteral(".part"), "finished");
    const QString destination = m_scratch.filePath(QStringLiteral("photo.webp"));
    EXPECT_TRUE(moveWithoutReplacing(source, destination, GetParam()));
    EXPECT_EQ(contents(destination), QByteArray("finished"));
    EXPECT_FALSE(QFileInfo::exists(source));
}

TEST_P(MoveWithoutReplacingTest, LeavesATakenNameAlone) {
    const QString source = m_scratch.writeFile(QStringLiteral(".part"), "finished");
    const QString file = m_scratch.writeFile(QStringLiteral("photo.webp"), "someone else's");
    const QString link = m_scratch.filePath(QStringLiteral("dangling.webp"));
    ASSERT_TRUE(QFile::link(m_scratch.filePath(QStringLiteral("nowhere")), link));

    EXPECT_FALSE(moveWithoutReplacing(source, file, GetParam()));
    EXPECT_EQ(contents(file), QByteArray("someone else's"));
    EXPECT_FALSE(moveWithoutReplacing(source, link, GetParam()));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(m_scratch.filePath(QStringLiteral("nowhere"))));
    EXPECT_EQ(contents(source), QByteArray("finished"));
}

TEST_P(MoveWithoutReplacingTest, OtherFailuresAreFileSystemErrors) {
    const QString source = m_scratch.writeFile(QStringLiteral(".part"), "finished");
    const QString destination = m_scratch.filePath(QStringLiteral("missing/photo.webp"));
    try {
        (void)moveWithoutReplacing(source, destination, GetParam());
        FAIL() << "expected FileSystemError";
    } catch (const FileSystemError& error) {
        EXPECT_TRUE(error.description().contains(destination)) << error.description().toStdString();
    }
    EXPECT_EQ(contents(source), QByteArray("finished"));
}

INSTANTIATE_TEST_SUITE_P(Methods, MoveWithoutReplacingTest,
                         ::testing::Values(MoveMethod::automatic, MoveMethod::linkThenUnlink,
                                           MoveMethod::exclusiveCopy),
                         [](const ::testing::TestParamInfo<MoveMethod>& info) {
                             switch (info.param) {
                             case MoveMethod::automatic:
                                 return std::string("automatic");
                             case MoveMethod::linkThenUnlink:
                                 return std::string("linkThenUnlink");
                             case MoveMethod::exclusiveCopy:
                                 return std::string("exclusiveCopy");
                             }
                             return std::string();
                         });

} // namespace
} // namespace glintwork
