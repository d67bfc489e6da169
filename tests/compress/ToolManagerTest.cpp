#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "compress/ToolManager.h"
#include "platform/Error.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::StringLiterals;

// The tool's path, or the text of the error that looking it up gives.
std::string lookUp(const char* name) {
    try {
        const QString path = ToolManager::toolPath(QString::fromUtf8(name));
        EXPECT_TRUE(ToolManager::isToolAvailable(QString::fromUtf8(name))) << name;
        return path.toStdString();
    } catch (const Error& error) {
        EXPECT_FALSE(ToolManager::isToolAvailable(QString::fromUtf8(name))) << name;
        EXPECT_EQ(error.kind(), ErrorKind::toolNotFound) << name;
        return error.text().toStdString();
    }
}

std::string notFound(const char* name) {
    return "The helper program '" + std::string(name) +
           "' is missing from the installation (it belongs in Resources/bin).";
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

} // namespace
} // namespace glintwork
