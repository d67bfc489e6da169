#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include "compress/ToolManager.h"
#include "platform/Resources.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using ToolManager::ToolError;

std::string toolNotFoundText(const char* name) {
    return std::string("CLI tool '") + name + "' not found. Place binaries in Resources/bin/.";
}

TEST(ToolError, DescriptionsAreTheUserVisibleTexts) {
    const struct {
        ToolError error;
        std::string text;
    } cases[] = {
        {ToolError::toolNotFound(QStringLiteral("cwebp")), toolNotFoundText("cwebp")},
        {ToolError::toolNotFound(QStringLiteral("../x")), toolNotFoundText("../x")},
        {ToolError::toolNotFound(QStringLiteral("a%1b")), toolNotFoundText("a%1b")},
        {ToolError::bundleResourceNotFound(), "App bundle resource path not found."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.description().toStdString(), c.text);
        EXPECT_STREQ(c.error.what(), c.text.c_str());
    }
    EXPECT_EQ(ToolError::toolNotFound(QStringLiteral("oxipng")).toolName(),
              QStringLiteral("oxipng"));
}

TEST(ToolManager, FindsAnExecutableInBin) {
    test::FakeResources resources;
    const QString script = resources.addScript(QStringLiteral("cwebp"), "exit 0");
    EXPECT_TRUE(ToolManager::isToolAvailable(QStringLiteral("cwebp")));
    EXPECT_EQ(ToolManager::toolPath(QStringLiteral("cwebp")), script);
    // Only the named file counts.
    EXPECT_FALSE(ToolManager::isToolAvailable(QStringLiteral("cjpeg")));
}

TEST(ToolManager, FollowsSymlinksAsTheBuildLaysThemOut) {
    test::FakeResources resources;
    const QString target =
        resources.scratch().writeFile(QStringLiteral("real/cjpeg"), "#!/bin/sh\n");
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(QFile::link(target, resources.binPath() + QStringLiteral("/cjpeg")));
    ASSERT_TRUE(QFile::link(resources.scratch().filePath(QStringLiteral("nowhere")),
                            resources.binPath() + QStringLiteral("/avifenc")));

    EXPECT_TRUE(ToolManager::isToolAvailable(QStringLiteral("cjpeg")));
    EXPECT_EQ(ToolManager::toolPath(QStringLiteral("cjpeg")),
              resources.binPath() + QStringLiteral("/cjpeg"));
    EXPECT_FALSE(ToolManager::isToolAvailable(QStringLiteral("avifenc")));
}

TEST(ToolManager, UnusableEntriesAreNotFound) {
    test::FakeResources resources;
    resources.addScript(QStringLiteral("plain"), "exit 0", /*executable=*/false);
    QDir().mkpath(resources.binPath() + QStringLiteral("/folder"));
    resources.addScript(QStringLiteral("cwebp"),
                        "exit 0"); // present, so "../bin/cwebp" would resolve

    const char* const names[] = {"plain",        "folder",    "missing",   "",
                                 "../bin/cwebp", "bin/cwebp", "..\\cwebp", "/usr/bin/cwebp"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const QString tool = QString::fromUtf8(name);
        EXPECT_FALSE(ToolManager::isToolAvailable(tool));
        try {
            (void)ToolManager::toolPath(tool);
            ADD_FAILURE() << "no error";
        } catch (const ToolError& error) {
            EXPECT_EQ(error, ToolError::toolNotFound(tool));
            EXPECT_EQ(error.description().toStdString(), toolNotFoundText(name));
        }
    }
}

// Runs in a copy of this executable placed where no resource folder can be found; the
// test below starts it.
TEST(ToolManagerWithoutResources, DISABLED_ReportsBundleResourceNotFound) {
    ASSERT_FALSE(Resources::resourceDirectory().has_value());
    EXPECT_FALSE(ToolManager::isToolAvailable(QStringLiteral("cwebp")));
    try {
        (void)ToolManager::toolPath(QStringLiteral("cwebp"));
        ADD_FAILURE() << "no error";
    } catch (const ToolError& error) {
        EXPECT_EQ(error, ToolError::bundleResourceNotFound());
    }
    // A bad name is rejected before the folder is looked for.
    try {
        (void)ToolManager::toolPath(QStringLiteral("a/b"));
        ADD_FAILURE() << "no error";
    } catch (const ToolError& error) {
        EXPECT_EQ(error, ToolError::toolNotFound(QStringLiteral("a/b")));
    }
}

TEST(ToolManager, WithoutAResourceFolder) {
    // The build tree always has Resources/ beside its executables, so the lookup can only
    // come up empty for a copy of the executable somewhere else.
    test::ScratchDir scratch;
    const QString folder = scratch.filePath(QStringLiteral("deep/er"));
    QDir().mkpath(folder);
    const QString copy = folder + QStringLiteral("/test_compress_copy");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/proc/self/exe"), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GLINTWORK_RESOURCES"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(copy, {QStringLiteral("--gtest_also_run_disabled_tests"),
                         QStringLiteral("--gtest_filter=ToolManagerWithoutResources.*")});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QByteArray output = process.readAll();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

} // namespace
} // namespace glintwork
