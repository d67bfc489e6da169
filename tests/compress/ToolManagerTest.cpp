#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include "compress/ToolManager.h"
#include "platform/Resources.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::StringLiterals;
using ToolManager::ToolError;

// The tool's path, or the text of the error that looking it up gives.
std::string lookUp(const char* name) {
    try {
        const QString path = ToolManager::toolPath(QString::fromUtf8(name));
        EXPECT_TRUE(ToolManager::isToolAvailable(QString::fromUtf8(name))) << name;
        return path.toStdString();
    } catch (const ToolError& error) {
        EXPECT_FALSE(ToolManager::isToolAvailable(QString::fromUtf8(name))) << name;
        return error.description().toStdString();
    }
}

std::string notFound(const char* name) {
    return "CLI tool '" + std::string(name) + "' not found. Place binaries in Resources/bin/.";
}

// Only an executable file of exactly that name in bin/ counts, followed through links as the
// build lays them out; a name can never reach outside bin/.
TEST(ToolManager, FindsOnlyExecutablesInBin) {
    test::FakeResources resources;
    const QString bin = resources.binPath();
    resources.addScript(u"cwebp"_s, "exit 0");
    resources.addScript(u"plain"_s, "exit 0", /*executable=*/false);
    QDir().mkpath(bin + u"/folder"_s);
    ASSERT_TRUE(QFile::link(resources.addScript(u"real-cjpeg"_s, "exit 0"), bin + u"/cjpeg"_s));
    ASSERT_TRUE(QFile::link(bin + u"/nowhere"_s, bin + u"/avifenc"_s));
    for (const char* name : {"cwebp", "cjpeg"})
        EXPECT_EQ(lookUp(name), (bin + u'/' + QLatin1String(name)).toStdString());
    for (const char* name : {"avifenc", "plain", "folder", "missing", "", "../bin/cwebp",
                             "bin/cwebp", "..\\cwebp", "/usr/bin/cwebp", "a%1b"})
        EXPECT_EQ(lookUp(name), notFound(name));
}

// Runs in a copy of this executable placed where no resource folder can be found; the test
// below starts it. A bad name is rejected before the folder is looked for.
TEST(ToolManagerWithoutResources, DISABLED_ReportsBundleResourceNotFound) {
    ASSERT_FALSE(Resources::resourceDirectory().has_value());
    EXPECT_EQ(lookUp("cwebp"), "App bundle resource path not found.");
    EXPECT_EQ(lookUp("a/b"), notFound("a/b"));
}

// The build tree always has Resources/ beside its executables, so the lookup can only come up
// empty for a copy of the executable somewhere else: deep enough that no installed layout
// (../share/glintwork) lies beside it.
TEST(ToolManager, WithoutAResourceFolder) {
    test::ScratchDir scratch;
    QDir().mkpath(scratch.filePath(u"deep/er"_s));
    const QString copy = scratch.filePath(u"deep/er/test_compress_copy"_s);
    ASSERT_TRUE(QFile::copy(u"/proc/self/exe"_s, copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);
    const test::EnvironmentOverride noResources("GLINTWORK_RESOURCES", nullptr);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(copy, {u"--gtest_also_run_disabled_tests"_s,
                         u"--gtest_filter=ToolManagerWithoutResources.*"_s});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QByteArray output = process.readAll();
    EXPECT_EQ(process.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

} // namespace
} // namespace glintwork
