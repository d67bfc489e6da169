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

// Only an executable file of exactly that name in bin/ counts, followed through links as the
// build lays them out; a name can never reach outside bin/.
TEST(ToolManager, FindsOnlyExecutablesInBin) {
    test::FakeResources resources;
    const QString bin = resources.binPath();
    resources.addScript(QStringLiteral("cwebp"), "exit 0");
    resources.addScript(QStringLiteral("plain"), "exit 0", /*executable=*/false);
    QDir().mkpath(bin + QStringLiteral("/folder"));
    const QString target = resources.addScript(QStringLiteral("real-cjpeg"), "exit 0");
    ASSERT_TRUE(QFile::link(target, bin + QStringLiteral("/cjpeg")));
    ASSERT_TRUE(QFile::link(bin + QStringLiteral("/nowhere"), bin + QStringLiteral("/avifenc")));
    for (const char* name : {"cwebp", "cjpeg"}) {
        EXPECT_TRUE(ToolManager::isToolAvailable(QLatin1String(name))) << name;
        EXPECT_EQ(ToolManager::toolPath(QLatin1String(name)), bin + u'/' + QLatin1String(name));
    }
    for (const char* name : {"avifenc", "plain", "folder", "missing", "", "../bin/cwebp",
                             "bin/cwebp", "..\\cwebp", "/usr/bin/cwebp", "a%1b"}) {
        SCOPED_TRACE(name);
        const QString tool = QString::fromUtf8(name);
        EXPECT_FALSE(ToolManager::isToolAvailable(tool));
        try {
            (void)ToolManager::toolPath(tool);
            ADD_FAILURE() << "no error";
        } catch (const ToolError& error) {
            EXPECT_EQ(error.description(),
                      QStringLiteral("CLI tool '%1' not found. Place binaries in Resources/bin/.")
                          .arg(tool));
        }
    }
}

// Runs in a copy of this executable placed where no resource folder can be found; the test
// below starts it.
TEST(ToolManagerWithoutResources, DISABLED_ReportsBundleResourceNotFound) {
    ASSERT_FALSE(Resources::resourceDirectory().has_value());
    EXPECT_FALSE(ToolManager::isToolAvailable(QStringLiteral("cwebp")));
    // A bad name is rejected before the folder is looked for.
    for (const char* name : {"cwebp", "a/b"}) {
        try {
            (void)ToolManager::toolPath(QLatin1String(name));
            ADD_FAILURE() << "no error";
        } catch (const ToolError& error) {
            EXPECT_EQ(error.description().toStdString(),
                      *name == 'a' ? "CLI tool 'a/b' not found. Place binaries in Resources/bin/."
                                   : "App bundle resource path not found.");
        }
    }
}

// The build tree always has Resources/ beside its executables, so the lookup can only come up
// empty for a copy of the executable somewhere else.
TEST(ToolManager, WithoutAResourceFolder) {
    test::ScratchDir scratch;
    // Deep enough that no installed layout (../share/glintwork) lies beside it.
    QDir().mkpath(scratch.filePath(QStringLiteral("deep/er")));
    const QString copy = scratch.filePath(QStringLiteral("deep/er/test_compress_copy"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/proc/self/exe"), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GLINTWORK_RESOURCES"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(copy, {QStringLiteral("--gtest_also_run_disabled_tests"),
                         QStringLiteral("--gtest_filter=ToolManagerWithoutResources.*")});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QByteArray output = process.readAll();
    EXPECT_EQ(process.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

} // namespace
} // namespace glintwork
