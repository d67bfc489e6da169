#include <gtest/gtest.h>

#include <utility>

#include <linux/capability.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "batch/FileService.h"
#include "batch/ImageItem.h"
#include "compress/ConversionSettings.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;

QUrl url(const QString& path) {
    return QUrl::fromLocalFile(path);
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

// What intake adds, in the order given, and what it reports instead: inside folders, hidden
// entries, other types and FIFOs are passed over (a FIFO is never opened); extensions match
// whatever their case.
TEST(CollectImageFiles, AddsRegularImagesAndReportsEverythingElse) {
    const QString notRegular = u"Not a regular file"_s;
    const QString denied = u"The folder could not be read: Permission denied"_s;
    const struct {
        QStringList named, files;
        QList<std::pair<QString, QString>> problems;
    } cases[] = {
        {{"z.png", "a.webp", "z.png"}, {"z.png", "a.webp", "z.png"}, {}},
        {{"gone.png", "a.webp"}, {"a.webp"}, {{"gone.png", "No such file or folder"}}},
        {{"dangling.png"}, {}, {{"dangling.png", "The link points to nothing"}}},
        {{"link.png"}, {"link.png"}, {}},
        {{"notes.txt"}, {}, {{"notes.txt", "Not a file type this tool takes"}}},
        {{"pipe.png"}, {}, {{"pipe.png", notRegular}}},
        {{"drop"},
         {"drop/album.png/in.png", "drop/b.png", "drop/sub/c.JPG"},
         {{"drop/pipe.png", notRegular}}},
        {{"drop/b.png", "drop/album.png"}, {"drop/b.png", "drop/album.png/in.png"}, {}},
        {{"locked", "outer"}, {"outer/a.png"}, {{"locked", denied}, {"outer/locked", denied}}},
        // A file in a folder that may not be searched is there, but cannot be reached.
        {{"locked/d.png"}, {}, {{"locked/d.png", "Permission denied"}}},
    };
    test::ScratchDir dir;
    const QString root = dir.path() + u'/';
    for (const char* name : {"z.png", "a.webp", "notes.txt", "drop/album.png/in.png", "drop/b.png",
                             "drop/notes.txt", "drop/.hidden.png", "drop/.cache/d.png",
                             "drop/sub/c.JPG", "outer/a.png", "outer/locked/c.png", "locked/d.png"})
        dir.writeFile(QString::fromUtf8(name), "x");
    for (const char* fifo : {"pipe.png", "drop/pipe.png"})
        ASSERT_EQ(::mkfifo(QFile::encodeName(root + QLatin1String(fifo)).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(root + u"nowhere.png"_s, root + u"dangling.png"_s));
    ASSERT_TRUE(QFile::link(root + u"z.png"_s, root + u"link.png"_s));
    for (const char* locked : {"locked", "outer/locked"})
        QFile::setPermissions(root + QLatin1String(locked), QFileDevice::Permissions());

    for (const auto& c : cases) {
        SCOPED_TRACE(c.named.join(u' ').toStdString());
        QList<QUrl> named;
        for (const QString& name : c.named)
            named << url(root + name);
        FileService::Intake intake;
        {
            const WithoutReadAnything asAnyUser;
            intake = FileService::collect(named, ConversionSettings::supportedExtensions());
        }
        QStringList files, expected = c.files;
        for (const QUrl& file : intake.files)
            files << QDir(root).relativeFilePath(file.toLocalFile());
        if (c.named.size() == 1) { // a folder's entries come in the file system's order
            files.sort();
            expected.sort();
        }
        EXPECT_EQ(files, expected);
        QList<std::pair<QString, QString>> problems;
        for (const IntakeProblem& p : intake.problems)
            problems.append({QDir(root).relativeFilePath(p.url.toLocalFile()), p.message});
        EXPECT_EQ(problems, c.problems);
    }
    for (const char* locked : {"locked", "outer/locked"})
        QFile::setPermissions(root + QLatin1String(locked), QFileDevice::ReadOwner |
                                                                QFileDevice::WriteOwner |
                                                                QFileDevice::ExeOwner);
}

// A name that is not valid UTF-8 cannot be opened through the text of its path: without a
// stand-in it is reported, never passed over; with one, the walk goes through it.
TEST(CollectImageFiles, NamesThatDoNotDecodeGoThroughAStandIn) {
    test::ScratchDir dir, links;
    const QByteArray root = QFile::encodeName(dir.path());
    ASSERT_EQ(::mkdir(root + "/d\xfe", 0700), 0);
    for (const QByteArray& name : {QByteArray("/x\xff.png"), QByteArray("/d\xfe/in.png")})
        ::close(::creat(root + name, 0600));
    const QList<QUrl> named{url(dir.path())};
    const auto& extensions = ConversionSettings::supportedExtensions();

    const FileService::Intake reported = FileService::collect(named, extensions);
    EXPECT_TRUE(reported.files.isEmpty());
    ASSERT_EQ(reported.problems.size(), 2);
    EXPECT_EQ(reported.problems[0].message, u"The name is not valid UTF-8"_s);

    int made = 0;
    const FileService::Intake taken = FileService::collect(
        named, extensions,
        [&](const QByteArray& rawPath, const QString& foundIn) -> std::optional<QString> {
            EXPECT_EQ(QFile::encodeName(foundIn), rawPath.left(rawPath.lastIndexOf('/')));
            const QString link = links.filePath(u"%1.png"_s.arg(made++));
            EXPECT_EQ(::symlink(rawPath.constData(), QFile::encodeName(link).constData()), 0);
            return link;
        });
    EXPECT_TRUE(taken.problems.isEmpty());
    ASSERT_EQ(taken.files.size(), 2);
    for (const QUrl& file : taken.files)
        EXPECT_TRUE(file.toLocalFile().startsWith(links.path()) &&
                    QFileInfo(file.toLocalFile()).isFile());
}

// The same file twice in one delivery is two items.
TEST(NewItems, SkipsListedButKeepsDuplicatesWithinOneDelivery) {
    const QUrl a = url(u"/nowhere/a.png"_s), b = url(u"/nowhere/b.png"_s);
    const auto added = FileService::newItems({a, b, b}, {std::make_shared<ImageItem>(a)});
    ASSERT_EQ(added.size(), 2);
    EXPECT_EQ(std::pair(added[0]->url(), added[1]->url()), std::pair(b, b));
    EXPECT_NE(added[0]->id(), added[1]->id());
}

} // namespace
} // namespace glintwork
