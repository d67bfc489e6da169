#include <gtest/gtest.h>

#include <utility>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

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

// Extensions are matched whatever their case.
TEST(CollectImageFiles, EachToolHasItsOwnExtensions) {
    test::ScratchDir dir;
    const struct {
        const char* name;
        bool compress, cutout, upscale;
    } cases[] = {
        {"x.avif", true, false, false}, {"x.gif", true, true, false},
        {"X.HEIC", true, true, true},   {"x.heif", true, true, true},
        {"x.jp2", false, false, false}, {"x.tif", true, true, true},
        {"x.bmp", true, true, true},    {"x", false, false, false},
    };
    for (const auto& c : cases) {
        const QList<QUrl> in{url(dir.writeFile(QString::fromUtf8(c.name), "x"))};
        const auto takes = [&](const QSet<QString>& extensions) {
            return !FileService::collectImageFiles(in, extensions).isEmpty();
        };
        EXPECT_EQ(takes(ConversionSettings::supportedExtensions()), c.compress) << c.name;
        EXPECT_EQ(takes(CutoutSettings::supportedExtensions()), c.cutout) << c.name;
        EXPECT_EQ(takes(UpscaleSettings::supportedExtensions()), c.upscale) << c.name;
    }
}

// Takes away, for this thread, the root privilege of reading any folder, so that a folder
// without permissions is unreadable here too.
class WithoutReadAnything {
public:
    WithoutReadAnything() {
        ::syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ::syscall(SYS_capset, &m_header, reduced);
    }
    ~WithoutReadAnything() { ::syscall(SYS_capset, &m_header, m_saved); }
    WithoutReadAnything(const WithoutReadAnything&) = delete;
    WithoutReadAnything& operator=(const WithoutReadAnything&) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
};

// What intake adds and what it reports instead, in the order given.
TEST(CollectImageFiles, AddsRegularImagesAndReportsEverythingElse) {
    const QString notRegular = QStringLiteral("Not a regular file");
    const struct {
        const char* name;
        QStringList named;
        QStringList files;
        QList<std::pair<QString, QString>> problems;
    } cases[] = {
        {"order kept, duplicates kept",
         {"z.png", "a.webp", "z.png"},
         {"z.png", "a.webp", "z.png"},
         {}},
        {"missing", {"gone.png", "a.webp"}, {"a.webp"}, {{"gone.png", "No such file or folder"}}},
        {"dangling link", {"dangling.png"}, {}, {{"dangling.png", "The link points to nothing"}}},
        {"link to an image", {"link.png"}, {"link.png"}, {}},
        {"named type the tool does not take",
         {"notes.txt"},
         {},
         {{"notes.txt", "Not a file type this tool takes"}}},
        {"FIFO named", {"pipe.png"}, {}, {{"pipe.png", notRegular}}},
        {"FIFO in a folder, hidden and other names passed over",
         {"drop"},
         {"drop/album.png/in.png", "drop/b.png", "drop/sub/c.JPG"},
         {{"drop/pipe.png", notRegular}}},
        {"folder and a file in it",
         {"drop/b.png", "drop/album.png"},
         {"drop/b.png", "drop/album.png/in.png"},
         {}},
        {"folder named y.png is searched", {"drop/album.png"}, {"drop/album.png/in.png"}, {}},
        {"unreadable folder, named and inside",
         {"locked", "outer"},
         {"outer/a.png"},
         {{"locked", "The folder could not be read: Permission denied"},
          {"outer/locked", "The folder could not be read: Permission denied"}}},
    };
    test::ScratchDir dir;
    const QString root = dir.path() + QLatin1Char('/');
    for (const char* name : {"z.png", "a.webp", "notes.txt", "drop/album.png/in.png", "drop/b.png",
                             "drop/notes.txt", "drop/.hidden.png", "drop/.cache/d.png",
                             "drop/sub/c.JPG", "outer/a.png", "outer/locked/c.png", "locked/d.png"})
        dir.writeFile(QString::fromUtf8(name), "x");
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + QStringLiteral("pipe.png")).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + QStringLiteral("drop/pipe.png")).constData(), 0600),
              0);
    ASSERT_TRUE(
        QFile::link(root + QStringLiteral("nowhere.png"), root + QStringLiteral("dangling.png")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("z.png"), root + QStringLiteral("link.png")));
    for (const char* locked : {"locked", "outer/locked"})
        QFile::setPermissions(root + QLatin1String(locked), QFileDevice::Permissions());

    for (const auto& c : cases) {
        QList<QUrl> named;
        for (const QString& n : c.named)
            named << url(root + n);
        FileService::Intake intake;
        {
            const WithoutReadAnything asAnyUser;
            intake = FileService::collect(named, ConversionSettings::supportedExtensions());
        }
        // A folder's entries come in the file system's order.
        QStringList files = names(intake.files, dir.path());
        QStringList expected = c.files;
        if (c.named.size() == 1) {
            files.sort();
            expected.sort();
        }
        EXPECT_EQ(files, expected) << c.name;
        QList<std::pair<QString, QString>> problems;
        for (const IntakeProblem& p : intake.problems)
            problems.append({QDir(dir.path()).relativeFilePath(p.url.toLocalFile()), p.message});
        EXPECT_EQ(problems, c.problems) << c.name;
    }
    for (const char* locked : {"locked", "outer/locked"})
        QFile::setPermissions(root + QLatin1String(locked), QFileDevice::ReadOwner |
                                                                QFileDevice::WriteOwner |
                                                                QFileDevice::ExeOwner);
}

TEST(NewItems, SkipsListedButKeepsDuplicatesWithinOneDelivery) {
    test::ScratchDir dir;
    const QString a = dir.writeFile(QStringLiteral("a.png"), "x");
    const QString b = dir.writeFile(QStringLiteral("b.png"), "x");
    dir.writeFile(QStringLiteral("folder/c.png"), "x");
    const ItemList listed{std::make_shared<ImageItem>(url(a))};
    const auto added = FileService::newItems(
        FileService::collectImageFiles(
            {url(a), url(b), url(dir.filePath(QStringLiteral("folder"))), url(b)},
            ConversionSettings::supportedExtensions()),
        listed);
    QStringList got;
    for (const auto& item : added)
        got << QFileInfo(item->url().toLocalFile()).fileName();
    EXPECT_EQ(got, (QStringList{QStringLiteral("b.png"), QStringLiteral("c.png"),
                                QStringLiteral("b.png")}));
    EXPECT_NE(added[0]->id(), added[2]->id()) << "the same file twice is two items";
}

// A folder cannot be created below a regular file, even as root.
TEST(EnsureDirectory, CreatesMissingParentsLeavesAFileAloneAndReportsFailure) {
    test::ScratchDir dir;
    FileService::ensureDirectory(url(dir.filePath(QStringLiteral("a/b/c"))));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("a/b/c"))).isDir());
    const QString file = dir.writeFile(QStringLiteral("plain"), "keep");
    EXPECT_NO_THROW(FileService::ensureDirectory(url(file)));
    EXPECT_TRUE(QFileInfo(file).isFile());
    EXPECT_THROW(FileService::ensureDirectory(url(file + QStringLiteral("/sub"))), FileSystemError);
}

TEST(FormatByteCount, DecimalUnits) {
    EXPECT_EQ(FileService::formatByteCount(999), QStringLiteral("999 bytes"));
    EXPECT_EQ(FileService::formatByteCount(1500), QStringLiteral("1.5 kB"));
    EXPECT_EQ(FileService::formatByteCount(2'340'000), QStringLiteral("2.3 MB"));
}

} // namespace
} // namespace glintwork
