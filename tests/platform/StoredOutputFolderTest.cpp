#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include "platform/PreferenceStore.h"
#include "platform/SharedOutputSettings.h"
#include "platform/StoredOutputFolder.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;

// The record earlier versions stored for a folder.
QByteArray earlierRecord(const QString& path) {
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << quint32(0x474C4246) << quint16(1) << path << quint64(64769) << quint64(1234);
    return data;
}

class StoredOutputFolderTest : public ::testing::Test {
protected:
    QUrl makeFolder(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        return QUrl::fromLocalFile(m_dir.filePath(name));
    }
    static std::optional<QUrl> restarted() { return SharedOutputSettings().outputDirectory(); }

    test::ScratchDir m_dir;
};

TEST_F(StoredOutputFolderTest, UseInputFolderForgetsTheChoice) {
    EXPECT_EQ(outputDirectoryDisplayPath(nullptr), u"(Same folder as input)"_s);
    PreferenceStore().setBytes(StoredOutputFolder::kKey, "not a folder");
    SharedOutputSettings settings;
    EXPECT_FALSE(settings.outputDirectory().has_value());
    EXPECT_EQ(outputDirectoryDisplayPath(&settings), u"(Same folder as input)"_s);

    QSignalSpy changed(&settings, &SharedOutputSettings::outputDirectoryChanged);
    const QUrl a = makeFolder(u"A"_s), b = makeFolder(u"B"_s);
    settings.setDirectory(a);
    settings.setDirectory(a);
    EXPECT_EQ(changed.count(), 1) << "re-choosing the same folder must not notify";
    settings.setDirectory(b);
    EXPECT_EQ(settings.outputDirectory(), b);
    EXPECT_EQ(restarted(), b);
    settings.setDirectory(std::nullopt);
    EXPECT_FALSE(settings.outputDirectory().has_value());
    EXPECT_FALSE(PreferenceStore().contains(StoredOutputFolder::kKey));
    EXPECT_FALSE(restarted().has_value());
}

TEST_F(StoredOutputFolderTest, AMissingFolderIsAbsentUntilItReturns) {
    const QUrl out = makeFolder(u"Out"_s);
    SharedOutputSettings().setDirectory(out);
    QDir(m_dir.path()).rename(u"Out"_s, u"Moved"_s);
    EXPECT_FALSE(restarted().has_value());
    EXPECT_EQ(StoredOutputFolder().storedPath(), out.toLocalFile()) << "kept for when it returns";
    makeFolder(u"Out"_s);
    EXPECT_EQ(restarted(), out);
}

// A folder that is missing, a file, empty, relative or not writable cannot be chosen: the
// previous choice stays, in this run and stored.
TEST_F(StoredOutputFolderTest, AnUnusableFolderKeepsThePreviousOne) {
    const QUrl first = makeFolder(u"First"_s);
    QList<QUrl> unusable{QUrl::fromLocalFile(m_dir.filePath(u"nope"_s)),
                         QUrl::fromLocalFile(m_dir.writeFile(u"plain.txt"_s, "x")), QUrl(),
                         QUrl::fromLocalFile(QString()), QUrl::fromLocalFile(u"."_s)};
    // Not writable: a read-only folder, or for root (who may write anywhere) a file system
    // mounted read-only.
    const test::SmallDisk disk(m_dir);
    if (::geteuid() != 0) {
        const QUrl readOnly = makeFolder(u"ReadOnly"_s);
        QFile::setPermissions(readOnly.toLocalFile(), QFile::ReadOwner | QFile::ExeOwner);
        unusable.append(readOnly);
    } else if (disk.isMounted() && ::mount(nullptr, QFile::encodeName(disk.path()).constData(),
                                           nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0) {
        unusable.append(QUrl::fromLocalFile(disk.path()));
    }
    for (const QUrl& folder : unusable) {
        SCOPED_TRACE(folder.toLocalFile().toStdString());
        SharedOutputSettings settings;
        settings.setDirectory(std::nullopt);
        settings.setDirectory(folder);
        EXPECT_FALSE(settings.outputDirectory().has_value()) << "no previous folder: none";
        settings.setDirectory(first);
        settings.setDirectory(folder);
        EXPECT_EQ(settings.outputDirectory(), first);
        EXPECT_EQ(restarted(), first) << "the stored folder is the previous one";
    }
}

// The folder stays chosen whichever way it was stored; what names no absolute folder (an
// empty path would put outputs into "/") reads as unset.
TEST_F(StoredOutputFolderTest, StoredFormsReadAsTheirFolderOrAsUnset) {
    const QUrl folder = makeFolder(u"Kept"_s);
    const struct {
        QByteArray record;
        QString path;
        bool kept;
    } cases[] = {
        {earlierRecord(folder.toLocalFile()), {}, true},
        {{}, folder.toLocalFile(), true},
        {earlierRecord(QString()), {}, false},
        {earlierRecord(u"."_s), {}, false},
        {{}, u"Kept"_s, false},
        {"GLBF", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record.toHex().toStdString() + " " + c.path.toStdString());
        if (c.path.isEmpty())
            PreferenceStore().setBytes(StoredOutputFolder::kKey, c.record);
        else
            PreferenceStore().setString(StoredOutputFolder::kKey, c.path);
        EXPECT_EQ(restarted(), c.kept ? std::optional(folder) : std::nullopt);
    }
}

// A sibling whose name merely starts with the home folder's is shown as it is.
TEST_F(StoredOutputFolderTest, DisplayPathAbbreviatesOnlyTheLeadingHomeFolder) {
    const test::ScratchDir scratch;
    const QByteArray home = QFile::encodeName(scratch.filePath(u"home"_s));
    const test::EnvironmentOverride homeHere("HOME", &home);
    SharedOutputSettings settings;
    for (const QString& end : {u"/Pictures/Out"_s, u"-other"_s}) {
        const QString folder = scratch.filePath(u"home"_s) + end;
        ASSERT_TRUE(QDir().mkpath(folder));
        settings.setDirectory(QUrl::fromLocalFile(folder));
        EXPECT_EQ(outputDirectoryDisplayPath(&settings), end[0] == u'/' ? u'~' + end : folder);
        settings.setDirectory(std::nullopt);
    }
}

} // namespace
} // namespace glintwork
