#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "batch/FileService.h"
#include "batch/ImageItem.h"
#include "compress/ConversionSettings.h"
#include "cutout/CutoutSettings.h"
#include "support/TestSupport.h"
#include "upscale/UpscaleSettings.h"

namespace glintwork {
namespace {

QUrl url(const QString& path) {
    return QUrl::fromLocalFile(path);
}

QStringList names(const QList<QUrl>& urls, const QString& root) {
    QStringList result;
    for (const QUrl& u : urls)
        result << QDir(root).relativeFilePath(u.toLocalFile());
    return result;
}

TEST(CollectImageFiles, FolderIsExpandedSkippingHiddenAndUnsupported) {
    test::ScratchDir dir;
    dir.writeFile(QStringLiteral("drop/a.png"), "x");
    dir.writeFile(QStringLiteral("drop/sub/b.JPG"), "x");
    dir.writeFile(QStringLiteral("drop/.hidden.png"), "x");
    dir.writeFile(QStringLiteral("drop/.cache/c.png"), "x");
    dir.writeFile(QStringLiteral("drop/notes.txt"), "x");
    const auto collected =
        FileService::collectImageFiles({url(dir.filePath(QStringLiteral("drop")))});
    QStringList got = names(collected, dir.path());
    got.sort();
    EXPECT_EQ(got, (QStringList{QStringLiteral("drop/a.png"), QStringLiteral("drop/sub/b.JPG")}));
}

TEST(CollectImageFiles, KeepsGivenOrderAndSkipsMissing) {
    test::ScratchDir dir;
    const QString z = dir.writeFile(QStringLiteral("z.png"), "x");
    const QString a = dir.writeFile(QStringLiteral("a.webp"), "x");
    const auto collected = FileService::collectImageFiles(
        {url(z), url(dir.filePath(QStringLiteral("gone.png"))), url(a), url(z)});
    EXPECT_EQ(collected, (QList<QUrl>{url(z), url(a), url(z)}));
}

TEST(CollectImageFiles, EachToolHasItsOwnExtensions) {
    test::ScratchDir dir;
    const struct {
        const char* name;
        bool compress, cutout, upscale;
    } cases[] = {
        {"x.avif", true, false, false}, {"x.gif", true, true, false},  {"X.HEIC", true, true, true},
        {"x.heif", true, true, true},   {"x.jp2", false, false, false}, {"x.tif", true, true, true},
        {"x.bmp", true, true, true},    {"x", false, false, false},
    };
    for (const auto& c : cases) {
        const QString path = dir.writeFile(QString::fromUtf8(c.name), "x");
        const QList<QUrl> in{url(path)};
        EXPECT_EQ(FileService::collectImageFiles(in).size(), c.compress ? 1 : 0) << c.name;
        EXPECT_EQ(FileService::collectImageFiles(in, CutoutSettings::supportedExtensions()).size(),
                  c.cutout ? 1 : 0)
            << c.name;
        EXPECT_EQ(FileService::collectImageFiles(in, UpscaleSettings::supportedExtensions()).size(),
                  c.upscale ? 1 : 0)
            << c.name;
    }
}

TEST(CollectImageFiles, FolderNamedLikeAnImageIsAcceptedInsideAFolder) {
    test::ScratchDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("drop/album.png"));
    const auto collected =
        FileService::collectImageFiles({url(dir.filePath(QStringLiteral("drop")))});
    EXPECT_EQ(names(collected, dir.path()), QStringList{QStringLiteral("drop/album.png")});
}

TEST(NewItems, SkipsListedButKeepsDuplicatesWithinOneDelivery) {
    test::ScratchDir dir;
    const QString a = dir.writeFile(QStringLiteral("a.png"), "x");
    const QString b = dir.writeFile(QStringLiteral("b.png"), "x");
    dir.writeFile(QStringLiteral("folder/c.png"), "x");
    const ItemList listed{std::make_shared<ImageItem>(url(a))};
    const auto added = FileService::newItems(
        {url(a), url(b), url(dir.filePath(QStringLiteral("folder"))), url(b)},
        ConversionSettings::supportedExtensions(), listed);
    QStringList got;
    for (const auto& item : added)
        got << QFileInfo(item->url().toLocalFile()).fileName();
    EXPECT_EQ(got, (QStringList{QStringLiteral("b.png"), QStringLiteral("c.png"),
                                QStringLiteral("b.png")}));
    EXPECT_NE(added[0]->id(), added[2]->id()) << "the same file twice is two items";
}

TEST(EnsureDirectory, CreatesMissingParentsAndLeavesExistingAlone) {
    test::ScratchDir dir;
    const QString deep = dir.filePath(QStringLiteral("a/b/c"));
    FileService::ensureDirectory(url(deep));
    EXPECT_TRUE(QFileInfo(deep).isDir());
    const QString file = dir.writeFile(QStringLiteral("plain"), "keep");
    EXPECT_NO_THROW(FileService::ensureDirectory(url(file)));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("keep"));
}

TEST(EnsureDirectory, ReportsFailure) {
    test::ScratchDir dir;
    const QString file = dir.writeFile(QStringLiteral("plain"), "x");
    // A folder cannot be created below a regular file, even as root.
    EXPECT_THROW(FileService::ensureDirectory(url(file + QStringLiteral("/sub"))), FileSystemError);
}

TEST(FormatByteCount, DecimalUnits) {
    EXPECT_EQ(FileService::formatByteCount(999), QStringLiteral("999 bytes"));
    EXPECT_EQ(FileService::formatByteCount(1500), QStringLiteral("1.5 kB"));
    EXPECT_EQ(FileService::formatByteCount(2'340'000), QStringLiteral("2.3 MB"));
}

} // namespace
} // namespace glintwork
